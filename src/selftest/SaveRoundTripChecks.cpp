#include "markdown/TableGrid.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"
#include "selftest/OffscreenEditor.h"
#include "selftest/SelfTestContext.h"

namespace velkin {

namespace {

// Opening and saving as the editor does: rendered at 13 points, serialised back.
U16String roundTrip(U16View markdown)
{
    return TableGrid::serialize(TableGrid::render(markdown, 13));
}

// The text in double quotes with every line feed written as backslash and n.
std::string debug(U16View text)
{
    return "\"" + u8(TextOps::replacingAll(text, u"\n", u"\\n")) + "\"";
}

std::string note(U16View expected, U16View actual)
{
    return "expected " + debug(expected) + ", got " + debug(actual);
}

// The first line (numbered from 1) where the texts differ, or nothing when they are equal.
std::optional<std::string> firstDifference(U16View expected, U16View actual)
{
    if (expected == actual)
        return std::nullopt;
    const std::vector<U16View> e = splitAt(expected, u'\n');
    const std::vector<U16View> a = splitAt(actual, u'\n');
    size_t i = 0;
    while (i < std::min(e.size(), a.size()) && e[i] == a[i])
        ++i;
    const std::string expectedPart = i < e.size() ? debug(e[i]) : "(end of file)";
    const std::string actualPart = i < a.size() ? debug(a[i]) : "(end of file)";
    return "line " + std::to_string(i + 1) + ": expected " + expectedPart + ", got " + actualPart;
}

void keepsText(SelfTestContext& t, const std::string& name, U16View sample)
{
    const U16String back = roundTrip(sample);
    t.check(name, back == sample, note(sample, back));
}

const char16_t* const handAligned = u"| Feature        | Shortcut  | Where       |\n"
                                    u"| -------------- | :-------: | ----------- |\n"
                                    u"| Find           | \u2318F        | Edit menu   |";

void unchangedTableChecks(SelfTestContext& t)
{
    keepsText(t, "a hand-aligned table is not reflowed on save", handAligned);
    for (const char16_t* sample : {u"|A|B|\n|-|-|\n|1|2|", u"| a | b | c |\n| --- | --- | --- |\n| 1 |",
                                   u"intro\n\n| A  | B  |\n| -- | -- |\n| 1  | 2  |\n\nafter"})
        keepsText(t, "table formatting survives a save", sample);
    for (const char16_t* sample : {u"text\n", u"| A |\n| - |\n| 1 |\n", u"| A |\n| - |\n| 1 |\n\n"})
        keepsText(t, "a trailing newline survives a save", sample);
    for (const char16_t* sample : {u"text", u"| A |\n| - |\n| 1 |"})
        keepsText(t, "a blank last line is not invented", sample);
}

void editedTableChecks(SelfTestContext& t)
{
    TextStorage storage = TableGrid::render(handAligned, 13);
    const int find = TextOps::find(storage.string(), u"Find");
    if (find >= 0)
        storage.replaceCharacters(Range{find, 4}, u"Locate");
    const U16String written = TableGrid::serialize(storage);
    t.check("an edited table is rewritten in canonical form",
            written == u"| Feature | Shortcut | Where |\n| --- | :---: | --- |\n| Locate | \u2318F | Edit menu |",
            debug(written));
}

void rowAtEndChecks(SelfTestContext& t)
{
    OffscreenEditor editor(std::nullopt);
    editor.load(u"| A |\n| - |\n| 1 |\n");
    editor.caretAt(u"1");
    editor.view->mdTableInsertRowBelow(nullptr);
    const U16String written = editor.serialized();
    t.check("adding a row to a table at the end of the file adds one row", written == u"| A |\n| --- |\n| 1 |\n|  |\n",
            debug(written));
}

void demoChecks(SelfTestContext& t)
{
    if (!t.demo)
        return;
    const U16String back = roundTrip(*t.demo);
    t.check("demo.md is unchanged by an open-and-save round trip", back == *t.demo,
            firstDifference(*t.demo, back));
}

} // namespace

void saveRoundTripChecks(SelfTestContext& t)
{
    unchangedTableChecks(t);
    rowAtEndChecks(t);
    editedTableChecks(t);
    demoChecks(t);
}

} // namespace velkin
