#include "markdown/TableGrid.h"
#include "markdown/TaskCheckbox.h"
#include "selftest/CheckUtilities.h"
#include "selftest/SelfTestContext.h"

#include "platform/text/TextOps.h"

namespace velkin {

namespace {

constexpr double kBaseSize = 13;

bool parsed(U16View line, std::optional<bool> checked = std::nullopt)
{
    const auto item = TaskList::parse(line);
    return item && (!checked || item->checked == *checked);
}

// What a click on a box writes: a done box opens, anything else is ticked.
U16String toggledBox(U16View box)
{
    return TextOps::lowercased(box) == u"[x]" ? U16String(u"[ ]") : U16String(u"[x]");
}

// Collapses every task line the way the page renderings do.
void collapseTasks(TextStorage& storage, double size)
{
    TaskList::enumerateTaskLines(storage, [&](Range, Range, const TaskList::Item& item) {
        TaskList::collapse(storage, item.hiddenLeader, item.box, item.checked, size);
    });
}

} // namespace

void group21TaskLists(SelfTestContext& t)
{
    // One line.
    t.check("parse detects an unchecked task", parsed(u"- [ ] todo", false));
    t.check("parse detects a checked task", parsed(u"- [x] done", true));
    t.check("parse accepts a capital X", parsed(u"* [X] done", true));
    t.check("parse accepts +/* bullets and indentation", parsed(u"  + [ ] nested"));
    t.check("parse ignores a plain list item", !parsed(u"- just an item"));
    t.check("parse ignores a link that starts a list item", !parsed(u"- [ ](url) x"));
    t.check("parse ignores a bare checkbox with no bullet", !parsed(u"[ ] todo"));
    t.check("parse detects an ordered task item", parsed(u"1. [ ] todo", false));
    t.check("parse detects a checked ordered task item", parsed(u"2. [x] done", true));
    t.check("parse accepts a `1)` ordered marker", parsed(u"1) [ ] todo"));
    t.check("parse accepts a multi-digit ordered marker", parsed(u"42. [ ] todo"));
    t.check("parse ignores an ordered item with no box", !parsed(u"1. just an item"));

    {
        const U16String line = u"- [x] done";
        if (const auto item = TaskList::parse(line)) {
            t.check("box range covers exactly [x]", substring(line, item->box) == u"[x]");
            t.check("an unordered bullet is hidden by the box", substring(line, item->hiddenLeader) == u"- ");
        } else {
            t.check("parse returns ranges for a task item", false);
        }
    }
    {
        const U16String line = u"1. [x] done";
        if (const auto item = TaskList::parse(line)) {
            t.check("ordered box range covers exactly [x]", substring(line, item->box) == u"[x]");
            t.check("an ordered number is kept visible (nothing hidden)", item->hiddenLeader.length == 0);
        } else {
            t.check("parse returns ranges for an ordered task item", false);
        }
    }

    t.check("toggle checks an empty box", toggledBox(u"[ ]") == u"[x]");
    t.check("toggle unchecks a done box", toggledBox(u"[x]") == u"[ ]");
    t.check("toggle unchecks a capital-X box", toggledBox(u"[X]") == u"[ ]");

    // The walker.
    {
        std::vector<bool> states;
        TaskList::enumerateTaskLines(TableGrid::render(u"- [ ] a\ntext\n- [x] b", kBaseSize),
                                     [&](Range, Range, const TaskList::Item& item) { states.push_back(item.checked); });
        t.check("enumerateTaskLines finds each task in order", states == std::vector<bool>{false, true});
        int fenced = 0;
        TaskList::enumerateTaskLines(TableGrid::render(u"```\n- [ ] a\n```", kBaseSize),
                                     [&](Range, Range, const TaskList::Item&) { ++fenced; });
        t.check("enumerateTaskLines skips tasks in code fences", fenced == 0);
    }

    for (U16View sample : {U16View(u"- [ ] a\n- [x] b"), U16View(u"# T\n\n- [ ] one\n- [x] two\n\nafter"),
                           U16View(u"  - [ ] nested"), U16View(u"1. [ ] one\n2. [x] two")})
        t.check("task render → serialize is lossless",
                TableGrid::serialize(TableGrid::render(sample, kBaseSize)) == sample);

    // Collapsing.
    {
        const U16String markdown = u"intro\n\n- [x] done\n\nout";
        TextStorage storage = TableGrid::render(markdown, kBaseSize);
        collapseTasks(storage, 14);
        const size_t box = storage.string().find(u"[x]");
        const auto mark = box == U16String::npos ? nullptr : storage.marker<TaskMark>(AttributeKey::TaskCheckbox, int(box));
        t.check("collapsed task carries a checked .taskCheckbox mark", mark && mark->checked);
        t.check("collapsing leaves the Markdown characters untouched", TableGrid::serialize(storage) == markdown);
        const size_t intro = storage.string().find(u"intro");
        t.check("non-task lines are not collapsed",
                intro != U16String::npos && !storage.attribute(AttributeKey::TaskCheckbox, int(intro)));
    }
}

} // namespace velkin
