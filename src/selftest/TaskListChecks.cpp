#include "markdown/TableGrid.h"
#include "markdown/TaskList.h"
#include "platform/pasteboard/Pasteboard.h"
#include "platform/text/Utf.h"
#include "selftest/CheckUtilities.h"
#include "selftest/OffscreenEditor.h"
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

// Collapses every task line the way the page renderings do.
void collapseTasks(TextStorage& storage, double size)
{
    TaskList::enumerateTaskLines(storage, [&](Range, Range, const TaskList::Item& item) {
        TaskList::collapse(storage, item.hiddenLeader, item.box, item.checked, size);
    });
}

// An editor holding rendered Markdown, the caret at the first occurrence of a text, restyled.
std::unique_ptr<OffscreenEditor> makeEditor(U16View markdown, U16View caretNear,
                                            TextBinding binding = TextBinding::constant(U16String()))
{
    auto editor = std::make_unique<OffscreenEditor>(std::move(binding));
    editor->load(markdown);
    editor->caretAt(caretNear);
    editor->restyle();
    return editor;
}

std::shared_ptr<const TaskMark> mark(const OffscreenEditor& editor, U16View text)
{
    const int at = editor.find(text);
    return at < 0 ? nullptr : editor.storage().marker<TaskMark>(AttributeKey::TaskCheckbox, at);
}

const Color* colour(const OffscreenEditor& editor, U16View text)
{
    const int at = editor.find(text);
    return at < 0 ? nullptr : editor.storage().attributes(at).color(AttributeKey::ForegroundColor);
}

void editorTaskChecks(SelfTestContext& t)
{
    {
        auto editor = makeEditor(u"- [ ] task\nmore", u"more");
        auto markAtBox = [&] { return editor->storage().marker<TaskMark>(AttributeKey::TaskCheckbox, 2); };
        const auto rendered = markAtBox();
        t.check("task renders as a checkbox when the caret is elsewhere", rendered && !rendered->checked);
        editor->view->setSelectedRange({0, 0});
        editor->restyle();
        t.check("task shows raw source when the caret is on its line", markAtBox() == nullptr);
        editor->caretAt(u"more");
        editor->restyle();
        editor->storage().replaceCharacters({editor->find(u"[ ]"), 3}, TaskList::toggledBox(u"[ ]"));
        editor->restyle();
        t.check("toggling checks the task and keeps it Markdown", editor->serialized() == u"- [x] task\nmore");
        const auto toggled = markAtBox();
        t.check("the toggled box now renders checked", toggled && toggled->checked);
    }
    {
        auto unordered = makeEditor(u"- [ ] open\n- [x] shut\ntail", u"tail");
        const auto open = mark(*unordered, u"[ ]");
        t.check("a loaded unchecked box renders unchecked", open && !open->checked);
        const auto shut = mark(*unordered, u"[x]");
        t.check("a loaded checked box renders checked", shut && shut->checked);
        auto ordered = makeEditor(u"1. [ ] one\n2. [x] two\ntail", u"tail");
        const auto one = mark(*ordered, u"[ ]");
        t.check("an ordered unchecked item renders a box", one && !one->checked);
        const auto two = mark(*ordered, u"[x]");
        t.check("an ordered checked item renders a checked box", two && two->checked);
        const Color* number = colour(*ordered, u"1.");
        t.check("an ordered item keeps its number visible", number && !(*number == Color::clear()));
        const Color* bullet = colour(*unordered, u"- [ ]");
        t.check("an unordered item hides its bullet", bullet && *bullet == Color::clear());
        t.check("ordered task items stay lossless Markdown", ordered->serialized() == u"1. [ ] one\n2. [x] two\ntail");
    }
    {
        auto document = std::make_shared<TextBox>();
        auto editor = makeEditor(u"- [ ] task\ntail", u"tail", OffscreenEditor::bound(document));
        editor->layOut();
        LayoutManager& layout = *editor->view->layoutManager();
        // The centre of the drawn box of the task whose box text is given.
        auto boxCentre = [&](U16View box) {
            const Range glyphs = layout.glyphRange(Range{std::max(editor->find(box), 0), int(box.size())});
            const QRectF fragment = layout.lineFragmentRect(glyphs.location);
            const QRectF bounds = layout.boundingRect(glyphs);
            const auto drawn = editor->storage().marker<TaskMark>(AttributeKey::TaskCheckbox, glyphs.location);
            const double size = drawn ? drawn->size : 13;
            return QPointF(bounds.left() + size / 2, fragment.top() + fragment.height() / 2);
        };
        const Range openBox{editor->find(u"[ ]"), 3};
        const std::optional<Range> hit = editor->view->taskCheckboxRange(boxCentre(u"[ ]"));
        t.check("a click on the box resolves the checkbox range", hit == openBox);
        t.check("a click far from any box resolves nothing", !editor->view->taskCheckboxRange(QPointF(380, 8)));
        if (hit) {
            editor->view->toggleTaskCheckbox(*hit);
            t.check("checking the box updates the storage Markdown", editor->serialized() == u"- [x] task\ntail");
            t.check("checking the box updates the generated (bound) Markdown", document->value == u"- [x] task\ntail");
            const auto checked = mark(*editor, u"[x]");
            t.check("the box now renders checked", checked && checked->checked);
            editor->view->toggleTaskCheckbox({editor->find(u"[x]"), 3});
            t.check("unchecking the box reverts the storage Markdown", editor->serialized() == u"- [ ] task\ntail");
            t.check("unchecking the box reverts the generated (bound) Markdown",
                    document->value == u"- [ ] task\ntail");
            const auto unchecked = mark(*editor, u"[ ]");
            t.check("the box now renders unchecked again", unchecked && !unchecked->checked);
        }
    }
}

// Moving the caret next to a box reveals it for editing; leaving renders it again.
void caretBesideBoxChecks(SelfTestContext& t)
{
    {
        auto editor = makeEditor(u"- [ ] task\ntail", u"tail");
        const auto before = mark(*editor, u"[ ]");
        t.check("box renders when the caret is off the line", before && !before->checked);
        auto selectionChanged = [&] { editor->coordinator->textViewDidChangeSelection(*editor->view); };
        editor->view->setSelectedRange({2, 0});
        selectionChanged();
        t.check("moving the caret next to the box reveals the raw source for editing", mark(*editor, u"[ ]") == nullptr);
        editor->storage().replaceCharacters({editor->find(u"[ ]"), 3}, u"[x]");
        editor->caretAt(u"tail");
        selectionChanged();
        const auto after = mark(*editor, u"[x]");
        t.check("editing the revealed source and leaving re-renders the box checked", after && after->checked);
    }
}

// An optional text as the failure note prints it: Optional("...") or nil.
std::string describe(const std::optional<U16String>& text)
{
    if (!text)
        return "nil";
    return "Optional(\"" + u8(TextOps::replacingAll(*text, u"\n", u"\\n")) + "\")";
}

// What the view copies of its whole text, as plain text on a private pasteboard.
std::optional<U16String> copied(OffscreenEditor& editor)
{
    editor.view->selectAll();
    Pasteboard& board = Pasteboard::named("VelkinTaskCopy");
    board.clearContents();
    editor.view->writeSelection(board, Pasteboard::stringType);
    return board.string();
}

void taskCopyChecks(SelfTestContext& t)
{
    const U16String markdown = u"- [x] done\n- [ ] todo";
    TextStorage collapsed = TableGrid::render(markdown, kBaseSize);
    collapseTasks(collapsed, 13);
    {
        OffscreenEditor editor(std::nullopt);
        editor.storage().replaceCharacters({0, editor.storage().length()}, collapsed);
        t.check("a selection spanning rendered checkboxes holds the exact Markdown source",
                copied(editor) == markdown);
        t.check("rendered checkboxes add no attachment character to a copy",
                editor.storage().string().find(u'\uFFFC') == U16String::npos);
    }
    {
        AttributedString mixed = collapsed.attributedSubstring({0, int(U16View(u"- [x] done\n").size())});
        const auto table = PipeTable::parse(std::vector<U16View>{u"| A |", u"| - |", u"| 1 |"});
        if (table)
            mixed.append(TableGrid::attributed(*table, kBaseSize));
        OffscreenEditor editor(std::nullopt);
        editor.storage().replaceCharacters({0, editor.storage().length()}, mixed);
        const std::optional<U16String> text = copied(editor);
        t.check("copying a checkbox alongside a table yields Markdown for both",
                text == U16String(u"- [x] done\n| A |\n| --- |\n| 1 |"), "got " + describe(text));
    }
}

} // namespace

void taskListChecks(SelfTestContext& t)
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

    t.check("toggle checks an empty box", TaskList::toggledBox(u"[ ]") == u"[x]");
    t.check("toggle unchecks a done box", TaskList::toggledBox(u"[x]") == u"[ ]");
    t.check("toggle unchecks a capital-X box", TaskList::toggledBox(u"[X]") == u"[ ]");

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

    editorTaskChecks(t);
    taskCopyChecks(t);
    caretBesideBoxChecks(t);
}

} // namespace velkin
