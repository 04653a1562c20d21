#include "editor/ListContinuation.h"
#include "platform/text/TextOps.h"
#include "selftest/CheckUtilities.h"
#include "selftest/OffscreenEditor.h"
#include "selftest/SelfTestContext.h"

namespace velkin {

namespace {

// The text after Return at `caret`: the continuation's edit, or a plain line feed.
U16String returnKey(U16View text, int caret)
{
    if (const auto edit = ListContinuation::newline(text, {caret, 0}))
        return applyEdit(text, edit);
    return applyEdit(text, TextEdit{{caret, 0}, u"\n", {caret + 1, 0}});
}

int returnCaret(U16View text, int caret)
{
    const auto edit = ListContinuation::newline(text, {caret, 0});
    return edit ? edit->selection.location : caret + 1;
}

} // namespace

void listContinuationChecks(SelfTestContext& t)
{
    t.check("Return in a quote opens another quoted line", returnKey(u"> quoted", 8) == u"> quoted\n> ");
    t.check("the caret lands after the new quote marker", returnCaret(u"> quoted", 8) == 11);
    t.check("Return on an empty quoted line drops out of the quote", returnKey(u"> quoted\n> ", 11) == u"> quoted\n");
    t.check("a nested quote repeats every level", returnKey(u">> deep", 7) == u">> deep\n>> ");
    t.check("a quote written without a space still opens a usable one", returnKey(u">tight", 6) == u">tight\n> ");
    t.check("Return in a bullet list opens the next bullet", returnKey(u"- one", 5) == u"- one\n- ");
    t.check("the bullet character is kept", returnKey(u"* one", 5) == u"* one\n* ");
    t.check("indentation is carried down", returnKey(u"    - deep", 10) == u"    - deep\n    - ");
    t.check("Return on an empty bullet leaves the list", returnKey(u"- one\n- ", 8) == u"- one\n");
    t.check("an ordered item counts on", returnKey(u"1. one", 6) == u"1. one\n2. ");
    t.check("a paren-delimited number counts on", returnKey(u"9) nine", 7) == u"9) nine\n10) ");
    t.check("Return on an empty numbered item leaves the list", returnKey(u"1. one\n2. ", 10) == u"1. one\n");
    t.check("a task item opens the next one unticked", returnKey(u"- [x] done", 10) == u"- [x] done\n- [ ] ");
    t.check("an unticked task item opens another", returnKey(u"- [ ] todo", 10) == u"- [ ] todo\n- [ ] ");
    t.check("Return on an empty task item leaves the list",
            returnKey(u"- [ ] todo\n- [ ] ", 17) == u"- [ ] todo\n");
    t.check("a quoted list repeats both leaders", returnKey(u"> - one", 7) == u"> - one\n> - ");
    t.check("an empty quoted item drops to the bare quote", returnKey(u"> - one\n> - ", 12) == u"> - one\n> ");
    t.check("and the next Return leaves the quote", returnKey(u"> - one\n> ", 10) == u"> - one\n");
    t.check("Return mid-quote prefixes the remainder", returnKey(u"> onetwo", 5) == u"> one\n> two");
    t.check("text that follows the item stays with it", returnKey(u"- one two", 5) == u"- one\n-  two");

    t.check("Return in a paragraph inserts a plain newline", !ListContinuation::newline(u"plain text", {5, 0}));
    t.check("Return before the marker just splits the line", !ListContinuation::newline(u"- one", {1, 0}));
    t.check("a fenced code line is left alone", !ListContinuation::newline(u"```\n- code\n```", {10, 0}));
    t.check("a thematic break is not a list item", !ListContinuation::newline(u"- - -", {5, 0}));
    t.check("an empty document is left alone", !ListContinuation::newline(u"", {0, 0}));

    // Return pressed in text views.
    OffscreenEditor w(std::nullopt);
    auto pressReturn = [&](U16View text, int caret) {
        w.view->setString(text);
        w.view->setSelectedRange({caret, 0});
        w.view->insertNewline();
    };
    pressReturn(u"> quoted", 8);
    t.check("the text view's Return continues a quote", w.view->string() == u"> quoted\n> ");
    w.view->insertNewline();
    t.check("a second Return drops out of it", w.view->string() == u"> quoted\n");
    pressReturn(u"- [ ] todo", 10);
    t.check("the text view's Return opens a fresh task item", w.view->string() == u"- [ ] todo\n- [ ] ");
    t.check("the caret sits after the new item's box", w.view->selectedRange().location == 17);

    {
        OffscreenEditor u(std::nullopt);
        UndoProvider provider;
        u.view->setDelegate(&provider);
        u.view->setAllowsUndo(true);
        u.view->setString(u"- one");
        u.view->setSelectedRange({5, 0});
        provider.manager.beginUndoGrouping();
        u.view->insertNewline();
        provider.manager.endUndoGrouping();
        t.check("the undoable Return continued the list", u.view->string() == u"- one\n- ");
        provider.manager.undo();
        t.check("undo takes the whole continuation back", u.view->string() == u"- one");
        u.view->setDelegate(nullptr);
    }

    w.load(u"| A | B |\n| --- | --- |\n| 1 | 2 |");
    w.view->setSelectedRange({w.find(u"1") + 1, 0});
    w.view->insertNewline();
    t.check("Return in a grid cell writes no Markdown leader", !TextOps::contains(w.serialized(), u"| 1\n- "));
}

} // namespace velkin
