// The line ends the editor writes: Return, list continuation, inserted blocks,
// table commands and pasted text all end lines as the document already does.
#include "EditorHarness.h"

#include "app/MarkdownDocument.h"
#include "export/MarkdownHTML.h"
#include "platform/pasteboard/Pasteboard.h"
#include "platform/text/Utf.h"

#include <QClipboard>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>

#include <gtest/gtest.h>

#include <random>

using namespace velkin;
using namespace velkin::testing_editor;

namespace {

// The text with every line end spelled out, for failure messages.
std::string shown(U16View text)
{
    std::string out;
    for (char c : u8(text))
        out += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
    return out;
}

// Whether every CRLF, lone CR and lone LF of the text is `eol`.
bool endsAllLinesWith(U16View text, U16View eol)
{
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'\r' && text[i] != u'\n')
            continue;
        const bool crlf = text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n';
        if (text.substr(i, crlf ? 2 : 1) != eol)
            return false;
        i += crlf ? 1 : 0;
    }
    return true;
}

U16String withEol(U16View text, U16View eol)
{
    return TextOps::replacingAll(text, u"\n", eol);
}

void setClipboard(QMimeData* mime)
{
    QGuiApplication::clipboard()->setMimeData(mime);
}

void setClipboardText(const U16String& text)
{
    auto* mime = new QMimeData;
    mime->setText(QString::fromStdU16String(text));
    setClipboard(mime);
}

const U16String endings[] = {u"\r\n", u"\r", u"\n"};

// Ctrl+Z in the editor's own window, whichever window an earlier test left active.
void pressUndo(Editor& e)
{
    e.activate();
    key(e.view(), Qt::Key_Z, {}, Qt::ControlModifier);
}

} // namespace

TEST(LineEnds, ReturnAndListContinuationWriteTheDocumentsLineEnd)
{
    for (const U16String& eol : endings) {
        SCOPED_TRACE(shown(eol));
        Editor e(withEol(u"X\nY\n", eol));
        e.caretAt(u"X", 1);
        key(e.view(), Qt::Key_Return);
        type(e.view(), QStringLiteral("New line"));
        EXPECT_EQ(*e.document, withEol(u"X\nNew line\nY\n", eol)) << shown(*e.document);

        Editor list(withEol(u"- one\n", eol));
        list.caretAt(u"one", 3);
        key(list.view(), Qt::Key_Return);
        type(list.view(), QStringLiteral("two"));
        EXPECT_EQ(*list.document, withEol(u"- one\n- two\n", eol)) << shown(*list.document);
    }
}

TEST(LineEnds, InsertedBlocksAndTablesUseTheDocumentsLineEnd)
{
    // The document starts with a table: the first line break of the editor's
    // text is a grid's own, yet what is inserted ends lines as the file does.
    for (const U16String& eol : {U16String(u"\r\n"), U16String(u"\n")}) {
        SCOPED_TRACE(shown(eol));
        Editor e(withEol(u"| a | b |\n|---|---|\n| 1 | 2 |\n\nText\n", eol));
        e.caretAt(u"Text", 4);
        e.view().mdInsertHorizontalRule(nullptr);
        e.view().mdInsertTable(nullptr);
        type(e.view(), QStringLiteral("cell"));
        e.view().mdTableAddRow(nullptr);
        e.view().mdTableInsertColumnRight(nullptr);
        EXPECT_TRUE(endsAllLinesWith(*e.document, eol)) << shown(*e.document);
        EXPECT_NE(e.document->find(u"cell"), U16String::npos);
    }
    // Rows parted by CR alone make no grid: the new table is text with CR line ends.
    Editor cr(u"Text\r");
    cr.view().setSelectedRange({5, 0});
    cr.view().mdInsertHorizontalRule(nullptr);
    cr.view().mdInsertTable(nullptr);
    EXPECT_TRUE(endsAllLinesWith(*cr.document, u"\r")) << shown(*cr.document);
    EXPECT_NE(cr.document->find(u"| Column 1"), U16String::npos) << shown(*cr.document);
}

TEST(LineEnds, PastedLineEndsBecomeTheDocuments)
{
    const U16String pasted = u"CR1\r\nCR2\tTAB\rLONE_CR\r\n";
    for (const U16String& eol : endings) {
        SCOPED_TRACE(shown(eol));
        Editor e(withEol(u"A\nB", eol));
        e.caretAt(u"B");
        setClipboardText(pasted);
        e.view().paste();
        EXPECT_EQ(*e.document, withEol(u"A\nCR1\nCR2\tTAB\nLONE_CR\nB", eol)) << shown(*e.document);
    }
}

TEST(LineEnds, ATablePastedMidLineStaysATableApartFromTheTextAfterIt)
{
    for (const U16String& eol : {U16String(u"\r\n"), U16String(u"\n")}) {
        SCOPED_TRACE(shown(eol));
        const U16String original = withEol(u"Hello world | more\nNext", eol);
        Editor e(original);
        e.caretAt(u"world");
        setClipboardText(u"| a | b |\n| --- | --- |\n| 1 | 2 |");
        e.view().paste();
        EXPECT_EQ(*e.document, withEol(u"Hello \n\n| a | b |\n| --- | --- |\n| 1 | 2 |\n\nworld | more\nNext", eol))
            << shown(*e.document);
        EXPECT_EQ(e.view().selectedRange(), (Range{e.find(u"world"), 0}));
        const std::string html = u8(MarkdownHTML::body(*e.document));
        EXPECT_NE(html.find("<td>1</td><td>2</td></tr>\n</tbody>"), std::string::npos) << html;
        EXPECT_NE(html.find("<p>world | more"), std::string::npos) << html;
        pressUndo(e);
        EXPECT_EQ(*e.document, original) << shown(*e.document);
    }
}

// In a code block, fenced or indented, table text pasted mid-line is code like any other.
TEST(LineEnds, ATablePastedMidLineInCodeGoesInAsItIs)
{
    const U16String table = u"| a | b |\n| --- | --- |\n| 1 | 2 |";
    for (const U16String& eol : {U16String(u"\r\n"), U16String(u"\n")}) {
        for (const U16String& doc : {U16String(u"Text\n\n```\nHello world\n```\n"), U16String(u"Text\n\n    Hello world\n")}) {
            SCOPED_TRACE(shown(eol) + shown(doc));
            const U16String original = withEol(doc, eol);
            Editor e(original);
            e.caretAt(u"world");
            setClipboardText(table);
            e.view().paste();
            const size_t at = original.find(u"world");
            EXPECT_EQ(*e.document, original.substr(0, at) + withEol(table, eol) + original.substr(at)) << shown(*e.document);
        }
    }
}

// A table dragged in from another program, or its lines moved out of a code block,
// take the same road as one pasted.
TEST(LineEnds, ATableDroppedOrMovedMidLineStaysATableApartFromTheTextAfterIt)
{
    const U16String table = u"| a | b |\n| --- | --- |\n| 1 | 2 |";
    for (const U16String& eol : {U16String(u"\r\n"), U16String(u"\n")}) {
        SCOPED_TRACE(shown(eol));
        const U16String original = withEol(u"Hello world | more\nNext", eol);
        Editor e(original);
        e.view().layoutDocument();
        QMimeData mime;
        mime.setText(QString::fromStdU16String(table));
        const QRectF caret = e.view().layoutManager()->caretRect(e.find(u"world"));
        const QPointF at = e.inViewport(QPointF(caret.left() + 0.5, caret.center().y()));
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(e.view().viewport(), &enter);
        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(e.view().viewport(), &drop);
        EXPECT_TRUE(drop.isAccepted());
        EXPECT_EQ(MarkdownDocument{*e.document}.data(),
                  u8(withEol(u"Hello \n\n| a | b |\n| --- | --- |\n| 1 | 2 |\n\nworld | more\nNext", eol)))
            << shown(*e.document);
        EXPECT_EQ(e.view().selectedRange(), (Range{e.find(u"world"), 0}));
        pressUndo(e);
        EXPECT_EQ(MarkdownDocument{*e.document}.data(), u8(original)) << shown(*e.document);

        const U16String fenced = withEol(u"Hello world\n\n```\n" + table + u"\nx = 1\n```\nNext", eol);
        Editor moving(fenced);
        const Range rows{moving.find(u"| a |"), int(withEol(table, eol).size())};
        moving.view().moveText(rows, moving.find(u"world"));
        EXPECT_EQ(MarkdownDocument{*moving.document}.data(),
                  u8(withEol(u"Hello \n\n" + table + u"\n\nworld\n\n```\n\nx = 1\n```\nNext", eol)))
            << shown(*moving.document);
        pressUndo(moving);
        EXPECT_EQ(MarkdownDocument{*moving.document}.data(), u8(fenced)) << shown(*moving.document);
        // Within the code block the lines move as they are: no table forms there.
        moving.view().moveText(rows, moving.find(u"= 1"));
        EXPECT_EQ(MarkdownDocument{*moving.document}.data(),
                  u8(withEol(u"Hello world\n\n```\n\nx " + table + u"= 1\n```\nNext", eol)))
            << shown(*moving.document);
    }
}

TEST(LineEnds, ClipboardOfHtmlAlonePastesItsText)
{
    Editor e(u"A\r\nB");
    e.caretAt(u"B");
    auto* mime = new QMimeData;
    mime->setHtml(QStringLiteral("<p>Hello <b>bold</b> &amp; <i>more</i></p><p>Next</p>"));
    setClipboard(mime);
    ASSERT_FALSE(QGuiApplication::clipboard()->mimeData()->hasText());
    e.view().paste();
    EXPECT_EQ(*e.document, u"A\r\nHello bold & more\r\nNextB") << shown(*e.document);

    // An HTML board with nothing to read pastes nothing and changes nothing.
    auto* empty = new QMimeData;
    empty->setHtml(QStringLiteral("<img src=\"x.png\">"));
    setClipboard(empty);
    e.view().paste();
    EXPECT_EQ(*e.document, u"A\r\nHello bold & more\r\nNextB");
}

// Random typing, Return, deletions, pastes with every kind of line end, block
// insertions and table commands, at random places: the text the window saves
// never holds a line end other than the document's.
TEST(LineEnds, RandomEditsKeepEveryLineEndTheDocuments)
{
    const U16String pieces[] = {u"a\r\nb", u"c\rd", u"e\nf", u"\r\n", u"\r", u"\n", u"- item\r\n- next", u"word"};
    for (const U16String& eol : endings) {
        for (unsigned seed = 1; seed <= 12; ++seed) {
            SCOPED_TRACE(shown(eol) + " seed " + std::to_string(seed));
            std::mt19937 random(seed);
            auto pick = [&](int n) { return int(random() % unsigned(n)); };
            Editor e(withEol(u"# Title\n\n- one\n- two\n\n| h | i |\n|---|---|\n| 1 | 2 |\n\nEnd\n", eol));
            MarkdownTextView& view = e.view();
            for (int step = 0; step < 50; ++step) {
                const int n = view.textStorage()->length();
                view.setSelectedRange({pick(n + 1), pick(3)});
                const Range place = view.selectedRange();
                // Text typed or pasted at a grid's edge can join a cell, a matter of
                // grids rather than of line ends: there only the table commands run.
                const bool atGrid = view.selectionSpansGrid(
                    Range::fromTo(std::max(0, place.location - 1), std::min(n, place.end() + 1)));
                std::string op;
                switch (atGrid ? 4 + pick(5) : pick(9)) {
                case 0: op = "type"; type(view, QStringLiteral("xy")); break;
                case 1: op = "return"; key(view, Qt::Key_Return); break;
                case 2: op = "backspace"; key(view, Qt::Key_Backspace); break;
                case 3:
                    op = "paste";
                    setClipboardText(pieces[pick(8)]);
                    view.paste();
                    break;
                case 4: op = "rule"; view.mdInsertHorizontalRule(nullptr); break;
                case 5: op = "table"; view.mdInsertTable(nullptr); break;
                case 6: op = "row"; view.mdTableAddRow(nullptr); break;
                case 7: op = "column"; view.mdTableInsertColumnLeft(nullptr); break;
                default: op = "delete row"; view.mdTableDeleteRow(nullptr); break;
                }
                const std::string saved = MarkdownDocument{*e.document}.data();
                ASSERT_TRUE(endsAllLinesWith(u16(saved), eol)) << "after " << op << " at step " << step << ": "
                                                                << shown(u16(saved));
            }
        }
    }
}
