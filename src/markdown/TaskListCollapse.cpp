// Task lines of a whole text, shown as drawn checkboxes over their unchanged source.
#include "markdown/TaskList.h"

#include "markdown/MarkdownSyntax.h"
#include "platform/text/Lines.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include <cmath>

namespace velkin::TaskList {

void enumerateTaskLines(const AttributedString& text, const TaskLineVisitor& body)
{
    if (text.string().find(u'[') == U16String::npos)
        return;
    enumerateTaskLines(ProseLines(text), body);
}

void enumerateTaskLines(const ProseLines& lines, const TaskLineVisitor& body)
{
    if (lines.text.find(u'[') == U16View::npos)
        return;
    for (size_t i = 0; i < lines.count(); ++i) {
        // A cell holds no list, so no task box either.
        if (lines.isCode(i) || lines.cell[i])
            continue;
        std::optional<Item> item = parse(lines.texts[i]);
        if (!item)
            continue;
        const int start = lines.lines[i].content.location;
        item->hiddenLeader.location += start;
        item->box.location += start;
        body(lines.lines[i].content, lines.lines[i].enclosing, *item);
    }
}

bool showsSource(Range line, Range enclosing, Range selection)
{
    if (selection.length == 0)
        return line.location <= selection.location && selection.location <= line.end();
    return overlaps(enclosing, selection);
}

void collapse(TextStorage& storage, Range hiddenLeader, Range box, bool checked, double size)
{
    const int length = storage.length();
    if (box.location < 0 || hiddenLeader.location < 0 || box.length <= 0 || box.end() > length ||
        hiddenLeader.end() > length)
        return;
    const Attributes hidden{{AttributeKey::Font, Font::system(0.1)}, {AttributeKey::ForegroundColor, Color::clear()}};
    storage.beginEditing();
    if (!hiddenLeader.empty())
        storage.addAttributes(hidden, hiddenLeader);
    storage.addAttributes(hidden, box);
    storage.addAttribute(AttributeKey::Kern, size, {box.end() - 1, 1});
    storage.addAttribute(AttributeKey::TaskCheckbox, MarkerPtr(std::make_shared<TaskMark>(checked, size)), box);
    raiseMinimumLineHeight(storage, lineRange(storage.string(), box), size + 2);
    storage.endEditing();
}

double checkboxSize(double baseSize)
{
    return std::max(11.0, std::round(0.95 * baseSize));
}

void drawCheckbox(QPainter& painter, const QRectF& rect, bool checked, Appearance appearance)
{
    const double w = rect.width(), h = rect.height();
    if (!(w > 1) || !(h > 1))
        return;
    const double r = 0.28 * w;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    if (checked) {
        QPainterPath box;
        box.addRoundedRect(rect, r, r);
        painter.fillPath(box, Color::controlAccent().toQColor(appearance));
        QPainterPath tick;
        tick.moveTo(rect.left() + 0.24 * w, rect.top() + 0.52 * h);
        tick.lineTo(rect.left() + 0.42 * w, rect.top() + 0.70 * h);
        tick.lineTo(rect.left() + 0.76 * w, rect.top() + 0.32 * h);
        QPen pen(Color::white().toQColor(appearance));
        pen.setWidthF(std::max(0.13 * w, 1.0));
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        painter.strokePath(tick, pen);
    } else {
        const double t = std::max(0.08 * w, 1.0);
        QPainterPath box;
        box.addRoundedRect(rect.adjusted(t / 2, t / 2, -t / 2, -t / 2), r, r);
        painter.fillPath(box, Color::text().withAlpha(0.04).toQColor(appearance));
        QPen pen(Color::tertiaryLabel().toQColor(appearance));
        pen.setWidthF(t);
        painter.strokePath(box, pen);
    }
    painter.restore();
}

} // namespace velkin::TaskList
