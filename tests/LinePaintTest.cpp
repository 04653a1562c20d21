// What drawing keeps of the lines it drew: drawing from it gives exactly the
// pixels of a first drawing, and whatever an edit, a restyle, a new width or a
// new appearance changes is drawn anew. Each screen is compared, pixel for
// pixel, with the same storage drawn by a layout manager that has kept nothing.
#include "EditorHarness.h"

#include "document/CodeBlockLayoutManager.h"
#include "markdown/MarkdownStyler.h"
#include "markdown/TableGrid.h"
#include "platform/text/Utf.h"

#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace velkin {
namespace {

using namespace testing_editor;

// Headings, emphasis, inline code, a link, raised and underlined text, emoji as
// characters and as shortcodes, task boxes, a grid, a code card and an alert.
const U16String kDocument =
    u"# A heading with *emphasis*\n\n"
    u"Plain text with **strong**, `inline code`, ~~struck~~, a [link](https://example.com), "
    u"H<sub>2</sub>O and <u>underlined</u> words, emoji \U0001F389\U0001F680 and a :rocket: shortcode.\n\n"
    u"- [ ] an open task\n- [x] a done task\n\n"
    u"| Name | Value |\n| --- | --- |\n| tablecell | **1** |\n| other | `two` |\n\n"
    u"```js\nconst answer = 42;\n```\n\n"
    u"> [!NOTE]\n> An alert with :tada: inside.\n\n"
    u"## Second heading\n\nA last line with a hard break  \nand what follows it.\n";

// The whole laid-out text as `layout` draws it now, on white.
QImage drawn(LayoutManager& layout)
{
    layout.ensureLayout();
    const QRectF rect(0, 0, layout.textContainer().width, layout.usedRect().height());
    QImage image(rect.size().toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    layout.draw(painter, rect, QPointF());
    return image;
}

// The same text drawn by a manager that has drawn nothing before, set as `kept` is.
QImage drawnAfresh(const LayoutManager& kept, TextStorage& storage)
{
    CodeBlockLayoutManager fresh(&storage);
    fresh.setTextContainer(kept.textContainer());
    fresh.appearance = kept.appearance;
    fresh.selectedRanges = kept.selectedRanges;
    fresh.highlightedRanges = kept.highlightedRanges;
    return drawn(fresh);
}

// The same manager drawing with nothing kept: what it kept is let go of first.
// (A manager of its own would do, but for positions summed in another order:
// an edited view's tops can differ from a fresh layout's in the last bits,
// which moves antialiased edges.)
QImage drawnCold(LayoutManager& layout)
{
    const size_t budget = layout.paintCacheBudget;
    layout.paintCacheBudget = 0;
    drawn(layout);
    EXPECT_EQ(layout.paintCacheBytes(), 0u);
    QImage image = drawn(layout);
    layout.paintCacheBudget = budget;
    return image;
}

// An editor over the document, laid out at its width, and its layout manager.
struct Page {
    Editor editor{kDocument};
    LayoutManager& layout = *editor.view().layoutManager();
    Page()
    {
        editor.host->coordinator().restyle(editor.view());
        editor.view().layoutDocument();
    }
    TextStorage& storage() { return editor.storage(); }
    // Draws with what the lines kept from before (a stale line shows here), then
    // with nothing kept, then with what that drawing kept, for the next step.
    QImage check(const char* step)
    {
        editor.view().layoutDocument();
        const QImage kept = drawn(layout);
        const QImage cold = drawnCold(layout);
        drawn(layout);
        const QImage keptAgain = drawn(layout);
        EXPECT_TRUE(kept == cold) << step;
        EXPECT_TRUE(keptAgain == cold) << step;
        return kept;
    }
};

} // namespace

TEST(LinePaint, KeptDrawingGivesTheFirstDrawingsPixels)
{
    Page page;
    const QImage first = drawn(page.layout);
    EXPECT_GT(page.layout.paintCacheBytes(), 0u);
    EXPECT_TRUE(drawn(page.layout) == first);
    EXPECT_TRUE(drawnCold(page.layout) == first);
    EXPECT_TRUE(drawnAfresh(page.layout, page.storage()) == first);

    // Selection and find matches are drawn over the kept backgrounds, wherever they fall.
    const int code = page.editor.find(u"inline code");
    page.layout.selectedRanges = {{code - 3, 40}};
    page.layout.highlightedRanges = {{page.editor.find(u"tablecell"), 5}, {page.editor.find(u"answer"), 6}};
    const QImage selected = page.check("with a selection and matches");
    EXPECT_FALSE(selected == first);
    page.layout.selectedRanges.clear();
    page.layout.highlightedRanges.clear();
    EXPECT_TRUE(page.check("the selection gone") == first);

    // Another appearance resolves every colour anew, and back again.
    page.layout.appearance = Appearance::Dark;
    EXPECT_FALSE(page.check("dark") == first);
    page.layout.appearance = Appearance::Light;
    EXPECT_TRUE(page.check("light again") == first);
}

TEST(LinePaint, EditsAndRestylesAreDrawnAnew)
{
    Page page;
    page.check("first");
    MarkdownTextView& view = page.editor.view();
    // Typing in a heading, a code block, a grid cell and a list item, and deleting.
    for (const char16_t* place : {u"A heading", u"const answer", u"tablecell", u"an open task"}) {
        page.editor.caretAt(place, 2);
        type(view, "xy");
        page.check("typed");
        key(view, Qt::Key_Backspace);
        page.check("deleted");
    }
    // A new paragraph above everything moves every kept line down.
    page.editor.caretAt(u"A heading", -2);
    key(view, Qt::Key_Home);
    type(view, "New first line\n\n");
    page.check("lines moved down");

    // The caret on a shortcode shows its text, and leaving it collapses it again:
    // only attributes change, and the line must show each state.
    const QImage collapsed = page.check("collapsed");
    page.editor.caretAt(u":rocket:", 2);
    const QImage expanded = page.check("expanded");
    EXPECT_FALSE(expanded == collapsed);
    page.editor.caretAt(u"Plain text");
    EXPECT_TRUE(page.check("collapsed again") == collapsed);

    // A colour set on a word, with nothing else changed.
    page.storage().addAttribute(AttributeKey::ForegroundColor, Color::srgb(1, 0, 0),
                                {page.editor.find(u"Plain text"), 5});
    EXPECT_FALSE(page.check("recoloured") == collapsed);
    // Ticking a task box changes the text of its line.
    page.editor.caretAt(u"Plain text");
    page.storage().replaceCharacters({page.editor.find(u"[ ] an open"), 3}, u"[x]");
    page.editor.host->coordinator().restyle(view);
    page.check("ticked");
}

TEST(LinePaint, RelayoutAtAnotherWidthDrawsAnew)
{
    Page page;
    const QImage wide = page.check("wide");
    page.editor.view().resize(300, 400);
    const QImage narrow = page.check("narrow");
    EXPECT_NE(narrow.size(), wide.size());
    page.editor.view().resize(500, 400);
    EXPECT_TRUE(page.check("wide again") == wide);
    page.layout.invalidateLayout({0, page.storage().length()});
    page.check("laid out anew");
}

// The window's pixels as the last paints left them (a change draws only what it needs).
QImage onScreen(MarkdownTextView& view)
{
    for (int i = 0; i < 4; ++i)
        QApplication::processEvents();
    QWidget* window = view.window();
    const QPoint at = view.viewport()->mapTo(window, QPoint());
    return window->screen()
        ->grabWindow(window->winId(), at.x(), at.y(), view.viewport()->width(), view.viewport()->height())
        .toImage();
}

TEST(LinePaint, WhatAKeyRepaintsMatchesAWholeRepaint)
{
    U16String longLine;
    while (longLine.size() < 40'000)
        longLine += u"words that wrap along one long line ";
    // The same words as one long list item, quotation, numbered item and task.
    std::vector<U16String> leaders;
    for (const char16_t* leader : {u"- ", u"> ", u"1. ", u"- [ ] "})
        leaders.push_back(u"Above.\n\n" + U16String(leader) + longLine + u"\n\nBelow.\n");
    longLine = u"Above.\n\n" + longLine + u"\n\nBelow.\n";
    struct Row {
        const char* name;
        const U16String* document;
        const char16_t* place;
        int offset;
        int selected;  // characters selected from the place before the keys
        const char* keys;  // typed; a tab stands for Backspace, a newline for Return, < and v for the arrows
    };
    const Row rows[] = {
        {"a long line", &longLine, u"wrap along", 2000, 0, "xy z\t\t\tW"},
        // Return and Backspace in turn, the item's marker and its line break taken back one by one.
        {"a long list item", &leaders[0], u"wrap along", 9000, 0, "\n\t\t\t\n\t\n\t\t"},
        {"a long quotation", &leaders[1], u"wrap along", 9000, 0, "\n\t\t\t"},
        {"a long numbered item", &leaders[2], u"wrap along", 9000, 0, "\n\t\t\t\t"},
        {"a long task", &leaders[3], u"wrap along", 9000, 0, "\n\t\t\t\t\t\t\t"},
        {"a long item split at its start", &leaders[0], u"words that", 0, 0, "\n\t\t\t"},
        {"a long item split at its end", &leaders[0], u"\n\nBelow", 0, 0, "\n\t\t\t"},
        {"a word pushed to the next line", &longLine, u"wrap along", 4000, 0, "longerwordthanbefore\t\t\t"},
        {"a heading", &kDocument, u"A heading", 2, 0, "xy\t"},
        {"a code block", &kDocument, u"const answer", 2, 0, "xy\t\n"},
        {"a table cell", &kDocument, u"tablecell", 4, 0, "longer cell text\t"},
        {"an alert", &kDocument, u"An alert", 3, 0, "xy\t\n"},
        {"a list item", &kDocument, u"an open task", 2, 0, "xy\n"},
        {"a selection", &kDocument, u"Plain text", 2, 30, "q"},
        {"caret moves", &kDocument, u"Plain text", 2, 0, "<<vv<"},
        {"a new paragraph", &kDocument, u"Second heading", 0, 0, "\n\nz"},
        {"the last line", &kDocument, u"what follows it.", 16, 0, "\nEnd\t\t\t"},
    };
    QApplication::setCursorFlashTime(0);  // the caret stays on
    for (const Row& row : rows) {
        Editor editor(*row.document);
        editor.activate();
        MarkdownTextView& view = editor.view();
        view.setSelectedRange({editor.find(row.place) + row.offset, row.selected});
        view.scrollRangeToVisible(view.selectedRange());
        onScreen(view);
        int step = 0;
        for (const char* k = row.keys; *k; ++k, ++step) {
            if (*k == '\t')
                key(view, Qt::Key_Backspace);
            else if (*k == '\n')
                key(view, Qt::Key_Return, QStringLiteral("\r"));
            else if (*k == '<')
                key(view, Qt::Key_Left);
            else if (*k == 'v')
                key(view, Qt::Key_Down);
            else
                type(view, QString(QChar(*k)));
            const QImage partly = onScreen(view);
            view.viewport()->repaint();
            EXPECT_TRUE(partly == onScreen(view)) << row.name << ", key " << step;
            // The lines kept through the key are where a fresh layout puts them.
            LayoutManager& kept = *view.layoutManager();
            CodeBlockLayoutManager fresh(&editor.storage());
            fresh.setTextContainer(kept.textContainer());
            kept.ensureLayout();
            for (int at = 0; at < editor.storage().length();) {
                Range ka, fa;
                const QRectF k = kept.lineFragmentRect(at, &ka), f = fresh.lineFragmentRect(at, &fa);
                ASSERT_TRUE(ka == fa && std::abs(k.top() - f.top()) < 0.01 && std::abs(k.height() - f.height()) < 0.01
                            && std::abs(kept.location(at).x() - fresh.location(at).x()) < 0.01)
                    << row.name << ", key " << step << ", line at " << at;
                at = std::max(ka.end(), at + 1);
            }
        }
    }
    QApplication::setCursorFlashTime(1000);
}

TEST(LinePaint, KeptDrawingStaysWithinItsBudget)
{
    U16String text;
    while (text.size() < 60'000)
        text += kDocument;
    TextStorage storage = TableGrid::render(text, 14);
    MarkdownStyler{14, MarkdownFontFamily::sansSerif}.apply(storage);
    CodeBlockLayoutManager layout(&storage);
    layout.setTextContainer({500, 1e9, 5});
    layout.paintCacheBudget = 64 * 1024;
    layout.ensureLayout();
    const double height = layout.usedRect().height();
    QImage image(500, 400, QImage::Format_ARGB32_Premultiplied);
    size_t most = 0;
    for (double top = 0; top < height; top += 400) {
        image.fill(Qt::white);
        QPainter painter(&image);
        layout.draw(painter, QRectF(0, top, 500, 400), QPointF(0, -top));
        most = std::max(most, layout.paintCacheBytes());
    }
    EXPECT_GT(most, 0u);
    EXPECT_LE(most, layout.paintCacheBudget);
    // What was let go of is drawn again from the layout, the same as ever.
    EXPECT_TRUE(drawn(layout) == drawnAfresh(layout, storage));
}

} // namespace velkin
