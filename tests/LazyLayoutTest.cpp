// Lazy layout: what it lays out in pieces and in idle slices ends as the eager
// layout of the same text; estimates corrected above the view never move what
// shows; block positions stay right through random edits.
#include "document/CodeBlockLayoutManager.h"
#include "editor/MarkdownTextView.h"
#include "markdown/MarkdownStyler.h"
#include "markdown/TableGrid.h"
#include "platform/DataPaths.h"
#include "platform/text/Lines.h"
#include "platform/text/Utf.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace velkin {
namespace {

// The samples and help pages one after another, repeated to about `length` characters:
// headings, lists, code cards, tables, quotations and pictures of every size.
U16String longDocument(size_t length)
{
    std::string pages;
    for (const char* folder : {"Samples", "Help"})
        for (const auto& entry : std::filesystem::directory_iterator(DataPaths::sourceRoot() / folder))
            if (entry.path().extension() == ".md") {
                std::ifstream in(entry.path(), std::ios::binary);
                std::ostringstream s;
                s << in.rdbuf();
                pages += s.str() + "\n";
            }
    const U16String one = u16(pages);
    U16String text;
    while (!one.empty() && text.size() < length)
        text += one;
    return text;
}

TextStorage styledStorage(const U16String& text)
{
    TextStorage storage = TableGrid::render(text, 14);
    MarkdownStyler{14, MarkdownFontFamily::sansSerif}.apply(storage);
    return storage;
}

// The first line that differs between two layouts of the same text, or empty.
std::string difference(LayoutManager& a, LayoutManager& b, const U16String& text)
{
    const LineIndex lines(text);
    for (const LineRange& line : lines.lines()) {
        const int at = line.content.location;
        if (at >= int(text.size()))
            break;
        Range ra, rb;
        const QRectF fa = a.lineFragmentRect(at, &ra), fb = b.lineFragmentRect(at, &rb);
        if (ra != rb || std::abs(fa.top() - fb.top()) > 0.01 || std::abs(fa.height() - fb.height()) > 0.01
            || std::abs(fa.left() - fb.left()) > 0.01 || std::abs(a.location(at).x() - b.location(at).x()) > 0.01)
            return "line at " + std::to_string(at) + ": y " + std::to_string(fa.top()) + " instead of "
                + std::to_string(fb.top());
    }
    if (a.blockStarts() != b.blockStarts())
        return "the blocks are cut otherwise";
    if (std::abs(a.usedRect().height() - b.usedRect().height()) > 0.01
        || std::abs(a.usedRect().width() - b.usedRect().width()) > 0.01)
        return "used rectangles differ";
    return {};
}

// A band 300 high of a layout `width` wide drawn from `top` down.
QImage drawnBand(LayoutManager& layout, double top, int width)
{
    QImage image(width, 300, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    layout.draw(painter, QRectF(0, top, width, 300), QPointF(0, -top));
    return image;
}

TEST(LazyLayout, PiecesAndIdleSlicesEndAsTheEagerLayout)
{
    const U16String text = longDocument(120'000);
    TextStorage storage = styledStorage(text);
    CodeBlockLayoutManager eager(&storage);
    eager.setTextContainer({600, 1e12, 4});
    eager.ensureLayout();

    CodeBlockLayoutManager lazy(&storage);
    lazy.setLaysOutLazily(true);
    lazy.setTextContainer({600, 1e12, 4});
    // A screen in the middle, then a caret far down: only what they meet is laid out.
    lazy.ensureLayout(QRectF(0, eager.usedRect().height() / 2, 600, 800));
    const int deep = int(text.size()) * 3 / 4;
    const QRectF caret = lazy.caretRect(deep), exact = eager.caretRect(deep);
    EXPECT_FALSE(lazy.isLayoutComplete());
    // Inside its own paragraph the geometry is exact; only the top holds estimates above it.
    EXPECT_NEAR(caret.x(), exact.x(), 0.01);
    EXPECT_NEAR(caret.height(), exact.height(), 0.01);
    EXPECT_GT(lazy.usedHeight(), 0);

    // Held back before a place (text about to be restyled), it stops there unfinished.
    const int held = int(text.size()) / 2;
    for (int guard = 0; lazy.layoutSome(2, held) && guard < 100000; ++guard) {
    }
    EXPECT_FALSE(lazy.layoutSome(2, held));
    EXPECT_FALSE(lazy.isLayoutComplete());

    int slices = 0;
    while (lazy.layoutSome(2))
        ++slices;
    EXPECT_GT(slices, 1);  // the rest took more than one slice
    EXPECT_TRUE(lazy.isLayoutComplete());
    EXPECT_EQ(difference(lazy, eager, text), "");
    EXPECT_NEAR(lazy.caretRect(deep).top(), exact.top(), 0.01);

    // A new width throws every layout away: estimates again, until laid out anew.
    lazy.setTextContainer({420, 1e12, 4});
    eager.setTextContainer({420, 1e12, 4});
    EXPECT_FALSE(lazy.isLayoutComplete());
    lazy.ensureLayout();
    EXPECT_EQ(difference(lazy, eager, text), "");
}

// Off screen, paragraphs keep their lines and heights but not their glyph
// layouts: what the idle layout reaches lets them go at once, what is drawn or
// asked lays out again, and every band draws as the eager layout draws it.
TEST(LazyLayout, ParagraphsOffScreenLetTheirLayoutsGoAndDrawTheSame)
{
    const U16String text = longDocument(120'000);
    TextStorage storage = styledStorage(text);
    CodeBlockLayoutManager eager(&storage);
    eager.setTextContainer({600, 1e12, 4});
    eager.ensureLayout();
    CodeBlockLayoutManager lazy(&storage);
    lazy.setLaysOutLazily(true);
    lazy.layoutCacheCharacters = 6000;
    lazy.setTextContainer({600, 1e12, 4});
    while (lazy.layoutSome(2)) {
    }
    EXPECT_LE(lazy.layoutCacheCharactersHeld(), lazy.layoutCacheCharacters);

    auto band = [](LayoutManager& layout, double top) { return drawnBand(layout, top, 600); };
    const double height = eager.usedRect().height();
    for (double top : {0.0, height * 0.8, height * 0.3, height * 0.8, height * 0.55, 0.0}) {
        EXPECT_TRUE(band(lazy, top) == band(eager, top)) << "band at " << top;
        EXPECT_LE(lazy.layoutCacheCharactersHeld(), lazy.layoutCacheCharacters + size_t(lazy.glyphRange(QRectF(0, top, 600, 300)).length));
    }
    EXPECT_EQ(difference(lazy, eager, text), "");
    // An eager manager again holds every layout it answers from.
    lazy.setLaysOutLazily(false);
    lazy.ensureLayout();
    EXPECT_EQ(lazy.layoutCacheCharactersHeld(), size_t(storage.length()));
    EXPECT_TRUE(band(lazy, height / 2) == band(eager, height / 2));
}

// A long table laid out, then made narrower and wider: rows whose cells still fit
// keep their lines, the others are laid out anew, and each width ends as a fresh
// layout at it, to the line, the caret and the pixel: cells that wrap at one width
// and not another, right-aligned and centred columns, right-to-left text, a tab,
// slanted text, an empty cell, a trailing space.
TEST(LazyLayout, ATableAtANewWidthEndsAsAFreshLayoutAtIt)
{
    const char16_t* const notes[] = {u"short", u"some words that wrap once the table is narrow", u"\u05E9\u05DC\u05D5\u05DD",
                                     u"a\tb", u"*fluff of italic f*", u"", u"**bold words**", u"a cell of middling length",
                                     u"twelve chars"};
    U16String text = u"Intro.\n\n| Name | Notes |\n| --- | --- |\n";
    for (int i = 0; i < 700; ++i)
        text += u"| row" + u16(std::to_string(i)) + u" | " + notes[i % 9] + u" |\n";
    text += u"\n| Name | Value | Notes | Mid |\n| --- | ---: | --- | :---: |\n";
    for (int i = 0; i < 60; ++i)
        text += u"| row" + u16(std::to_string(i)) + u" | " + u16(std::to_string(i * 7)) + u" | " + notes[i % 9]
            + u" | m |\n";
    text += u"\nAfter.\n";
    TextStorage storage = styledStorage(text);
    // A trailing space kept inside one cell, as a typed one is.
    const int space = int(storage.string().find(u"short"));
    storage.replaceCharacters({space + 5, 0}, u" ");
    const U16String shown = storage.string();
    CodeBlockLayoutManager lazy(&storage);
    lazy.setLaysOutLazily(true);
    lazy.layoutCacheCharacters = 6000;
    lazy.setTextContainer({900, 1e12, 4});
    while (lazy.layoutSome(5)) {
    }
    auto band = [](LayoutManager& layout, double top) { return drawnBand(layout, top, 900); };
    // Down by steps, so that cells of many lengths cross where they start to wrap.
    for (const double width : {700.0, 420.0, 900.0, 300.0, 701.5, 380.0, 370.0, 360.0, 350.0, 340.0, 330.0, 320.0}) {
        lazy.setTextContainer({width, 1e12, 4});
        CodeBlockLayoutManager fresh(&storage);
        fresh.setTextContainer({width, 1e12, 4});
        fresh.ensureLayout();
        // Part drawn before the idle layout reaches it, the rest after.
        EXPECT_TRUE(band(lazy, 0) == band(fresh, 0)) << width;
        while (lazy.layoutSome(5)) {
        }
        EXPECT_EQ(difference(lazy, fresh, shown), "") << width;
        const double height = fresh.usedRect().height();
        for (double top : {height * 0.4, height * 0.9})
            EXPECT_TRUE(band(lazy, top) == band(fresh, top)) << width << " at " << top;
        for (int at = 0; at < int(shown.size()); at += 97) {
            ASSERT_EQ(lazy.caretRect(at), fresh.caretRect(at)) << width << " at " << at;
            ASSERT_EQ(lazy.lineFragmentUsedRect(at), fresh.lineFragmentUsedRect(at)) << width << " at " << at;
        }
    }
}

TEST(LazyLayout, HitTestingAndDrawingLayOutWhatTheyMeet)
{
    const U16String text = longDocument(80'000);
    TextStorage storage = styledStorage(text);
    CodeBlockLayoutManager lazy(&storage);
    lazy.setLaysOutLazily(true);
    lazy.setTextContainer({500, 1e12, 4});
    const double middle = lazy.usedHeight() / 2;
    // The glyph at a point and the caret before it agree, wherever estimates put the point.
    const int glyph = lazy.characterIndex(QPointF(40, middle));
    const QRectF caret = lazy.caretRect(glyph);
    EXPECT_NEAR(lazy.characterIndex(caret.center()), glyph, 1);
    // Drawing a band lays out the band's paragraphs and draws them where they lie.
    QImage image(500, 400, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    const QRectF band(0, middle, 500, 400);
    lazy.draw(painter, band, QPointF(0, -middle));
    const Range drawn = lazy.glyphRange(band);
    ASSERT_GT(drawn.length, 0);
    EXPECT_LE(lazy.lineFragmentRect(drawn.location).top(), band.bottom());
    EXPECT_FALSE(lazy.isLayoutComplete());
}

// A code card or an alert panel that runs far past the screen (a fence nobody
// closed, a long pasted log) is drawn from the lines on screen: a band lays out
// only what it shows, and looks as the same place in a taller drawing looks.
TEST(LazyLayout, ABandOfALongCardOrPanelLaysOutOnlyWhatItShows)
{
    for (const char* opening : {"```\n", "> [!NOTE]\n"}) {
        const bool quoted = opening[0] == '>';
        U16String text = u16(opening);
        for (int i = 0; i < 12'000; ++i)
            text += u16((quoted ? "> line " : "line ") + std::to_string(i) + " of a long log\n");
        TextStorage storage = styledStorage(text);
        CodeBlockLayoutManager lazy(&storage);
        lazy.setLaysOutLazily(true);
        lazy.setTextContainer({500, 1e12, 4});
        QImage image(500, 300, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        const double middle = lazy.usedHeight() / 2;
        lazy.draw(painter, QRectF(0, middle, 500, 300), QPointF(0, -middle));
        EXPECT_FALSE(lazy.isLayoutComplete()) << opening;

        CodeBlockLayoutManager eager(&storage);
        eager.setTextContainer({500, 1e12, 4});
        eager.ensureLayout();
        auto draw = [&](double top, double height) {
            QImage band(500, int(height), QImage::Format_ARGB32_Premultiplied);
            band.fill(Qt::white);
            QPainter p(&band);
            eager.draw(p, QRectF(0, top, 500, height), QPointF(0, -top));
            return band;
        };
        // Bands at the card's top, in its middle and at its foot, each against a
        // drawing three times as tall around it.
        const double height = std::floor(eager.usedRect().height());
        for (double top : {0.0, std::floor(height / 2), height - 300}) {
            const double above = std::min(top, 300.0);
            EXPECT_TRUE(draw(top, 300) == draw(top - above, 900).copy(0, int(above), 500, 300))
                << opening << " band at " << top;
        }
    }
}

TEST(LazyLayout, CorrectedEstimatesLeaveTheFirstLineShownInPlace)
{
    MarkdownTextView view;
    view.resize(520, 400);
    view.setLaysOutLazily(true);
    view.setAttributedString(styledStorage(longDocument(150'000)));
    LayoutManager& layout = *view.layoutManager();
    ASSERT_TRUE(view.laysOutLazily());
    ASSERT_FALSE(layout.isLayoutComplete());
    EXPECT_LT(view.characterIndexForPoint(QPointF(30, 10)), 100);  // a new text shows from its start

    // Scrolled far down before the idle layout got there: the paragraphs above hold estimates.
    QScrollBar& bar = *view.verticalScrollBar();
    bar.setValue(bar.maximum() * 2 / 3);
    view.layoutDocument();
    const double estimatedHeight = layout.usedHeight();
    const QPointF probe(30, 50);
    const int shown = view.characterIndexForPoint(probe);
    const double shownAt = view.viewportPoint(layout.caretRect(shown).topLeft()).y();

    // The idle slices lay out the rest while the event loop runs.
    for (int turn = 0; turn < 100000 && !layout.isLayoutComplete(); ++turn)
        QApplication::processEvents();
    ASSERT_TRUE(layout.isLayoutComplete());
    EXPECT_NE(layout.usedHeight(), estimatedHeight);  // the estimates were corrected
    EXPECT_EQ(view.characterIndexForPoint(probe), shown);
    EXPECT_NEAR(view.viewportPoint(layout.caretRect(shown).topLeft()).y(), shownAt, 1.0);
    // The scroll bar follows the corrected height.
    EXPECT_EQ(bar.maximum(), int(std::ceil(layout.usedHeight() + 2 * view.textContainerInset().height())) - 400);
}

TEST(LazyLayout, ShortTextsAreLaidOutWhole)
{
    MarkdownTextView view;
    view.resize(520, 400);
    view.setLaysOutLazily(true);
    view.setAttributedString(styledStorage(u"# Title\n\nA short text.\n"));
    EXPECT_FALSE(view.laysOutLazily());
    EXPECT_TRUE(view.layoutManager()->isLayoutComplete());

    // A text that turns long in one edit (the undo of deleting everything, a long
    // paste) is laid out lazily before anything asks, which then lays out only
    // what it needs; and a text that turns short is laid out whole again.
    view.textStorage()->replaceCharacters({0, view.textStorage()->length()}, styledStorage(longDocument(150'000)));
    const int shown = view.characterIndexForPoint(QPointF(30, 10));
    EXPECT_GE(shown, 0);
    EXPECT_FALSE(view.layoutManager()->isLayoutComplete());
    view.textStorage()->replaceCharacters({0, view.textStorage()->length()}, u"short again\n");
    EXPECT_LT(view.characterIndexForPoint(QPointF(30, 10)), 12);
    EXPECT_TRUE(view.layoutManager()->isLayoutComplete());
}

// Typing over all of a long text and undoing it brings the text back selected
// and shown from its top, laying out only what shows.
TEST(LazyLayout, UndoingAReplacementOfEverythingLaysOutOnlyWhatShows)
{
    MarkdownTextView view;
    view.resize(520, 400);
    view.setLaysOutLazily(true);
    view.setAllowsUndo(true);
    const TextStorage text = styledStorage(longDocument(150'000));
    view.setAttributedString(text);
    view.selectAll();
    view.insertText(u"x");
    ASSERT_EQ(view.string(), u"x");
    view.undo();
    ASSERT_EQ(view.string(), text.string());
    EXPECT_EQ(view.selectedRange(), (Range{0, text.length()}));
    EXPECT_EQ(view.verticalScrollBar()->value(), 0);
    EXPECT_FALSE(view.layoutManager()->isLayoutComplete());
}

// Random edits (paragraphs joined, split, typed into, tables and headings made and
// unmade), some with a partial lazy layout between them: the kept layout always
// equals one made from scratch, so the tree of heights and the blocks agree.
TEST(LazyLayout, PositionsStayRightThroughRandomEdits)
{
    const U16String base = longDocument(40'000);
    for (const bool lazyBetween : {false, true}) {
        TextStorage storage = styledStorage(base);
        // Its tables cut into blocks of two rows, as long ones are.
        LayoutManager kept;
        kept.tableBlockRows = 2;
        kept.setTextStorage(&storage);
        kept.setLaysOutLazily(lazyBetween);
        kept.setTextContainer({480, 1e12, 4});
        kept.ensureLayout();
        std::mt19937 random(7);
        const std::vector<U16String> pieces{u"x", u"\n", u"\n\n", u"word ", u"# ", u"| a | b |\n| - | - |\n| 1 | 2 |\n", u""};
        for (int step = 0; step < 120; ++step) {
            const int n = storage.length();
            const int at = std::uniform_int_distribution<int>(0, n)(random);
            const int length = std::min(n - at, std::uniform_int_distribution<int>(0, 3)(random) == 0 ? 40 : 0);
            const U16String& piece = pieces[size_t(std::uniform_int_distribution<int>(0, int(pieces.size()) - 1)(random))];
            storage.replaceCharacters({at, length}, piece);
            if (step % 10 == 0)
                MarkdownStyler{14, MarkdownFontFamily::sansSerif}.apply(storage);
            if (lazyBetween) {
                const double y = kept.caretRect(std::min(at, storage.length())).top();
                kept.ensureLayout(QRectF(0, y - 300, 480, 600));
            } else {
                kept.ensureLayout();
            }
            if (step % 20 == 19) {
                kept.ensureLayout();
                LayoutManager fresh;
                fresh.tableBlockRows = 2;
                fresh.setTextStorage(&storage);
                fresh.setTextContainer({480, 1e12, 4});
                ASSERT_EQ(difference(kept, fresh, storage.string()), "") << "after step " << step;
            }
        }
    }
}

} // namespace
} // namespace velkin
