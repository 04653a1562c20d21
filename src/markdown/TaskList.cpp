#include "markdown/TaskList.h"

namespace velkin {

namespace TaskList {

const Regex& markerRegex()
{
    static const Regex r("^([ \\t]*)([-*+]|\\d{1,9}[.)])([ \\t]+)(\\[[ xX]\\])(?=\\s|$)");
    return r;
}

U16String toggledBox(U16View box)
{
    const bool done = box.size() == 3 && box[0] == u'[' && (box[1] == u'x' || box[1] == u'X') && box[2] == u']';
    return done ? U16String(u"[ ]") : U16String(u"[x]");
}

std::optional<Item> parse(U16View line)
{
    if (line.find(u'[') == U16View::npos)
        return std::nullopt;
    const auto m = markerRegex().firstMatch(line);
    if (!m)
        return std::nullopt;
    const Range bullet = m->range(2);
    const char16_t first = line[size_t(bullet.location)];
    Item item;
    // A number stays visible; a bullet and its blanks hide behind the box.
    if (first == u'-' || first == u'*' || first == u'+')
        item.hiddenLeader = Range::fromTo(bullet.location, m->range(3).end());
    else
        item.hiddenLeader = Range{bullet.location, 0};
    item.box = m->range(4);
    const char16_t mark = line[size_t(item.box.location + 1)];
    item.checked = mark == u'x' || mark == u'X';
    return item;
}

} // namespace TaskList

} // namespace velkin
