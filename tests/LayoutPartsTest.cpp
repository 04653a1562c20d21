// A very long paragraph laid out in parts gives the lines, rectangles, hit
// tests and pixels of one layout of the whole paragraph, before and after
// edits anywhere in it, and the caret moves over its lines as over any others.
#include "platform/layout/LayoutManager.h"
#include "platform/view/TextView.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <string>

namespace velkin {
namespace {

constexpr int kPart = 700;  // far below the usual length, so a test text has many parts

// Words of several fonts, a kern, a raised run, an emoji and a long unbreakable
// stretch, repeated on one line after a short paragraph, with list-like indents
// and spacing around the long one.
TextStorage longLine(int entries = 60)
{
    U16String text = u"Intro.\n";
    const int start = int(text.size());
    for (int i = 0; i < entries; ++i)
        text += u"entry " + U16String(1, char16_t(u'a' + i % 26)) + u" GET /api/items?id=42 took 12ms bold mono 🙂 ok, ";
    text += U16String(900, u'x') + u" tail of the line\nAfter.\n";
    TextStorage s(text, Attributes{{AttributeKey::Font, Font::system(14)}});
    for (size_t at = text.find(u"bold"); at != U16String::npos; at = text.find(u"bold", at + 1))
        s.addAttribute(AttributeKey::Font, Font::boldSystem(14), {int(at), 4});
    for (size_t at = text.find(u"mono"); at != U16String::npos; at = text.find(u"mono", at + 1))
        s.addAttribute(AttributeKey::Font, Font::monospacedSystem(13), {int(at), 4});
    for (size_t at = text.find(u"took"); at != U16String::npos; at = text.find(u"took", at + 1)) {
        s.addAttribute(AttributeKey::Kern, 6.0, {int(at), 1});
        s.addAttribute(AttributeKey::BaselineOffset, 3.0, {int(at) + 1, 2});
    }
    auto style = std::make_shared<ParagraphStyle>();
    style->firstLineHeadIndent = 12;
    style->headIndent = 24;
    style->paragraphSpacingBefore = 5;
    style->paragraphSpacing = 9;
    style->lineSpacing = 2;
    const int end = int(text.find(u"\nAfter"));
    s.addAttribute(AttributeKey::ParagraphStyle, ParagraphStylePtr(style), Range::fromTo(start, end + 1));
    return s;
}

struct Pair {
    TextStorage storage;
    LayoutManager parts{&storage};
    LayoutManager whole{&storage};
    explicit Pair(int entries = 60) : storage(longLine(entries))
    {
        parts.partLength = kPart;
        whole.partLength = 1 << 30;
        parts.setTextContainer({420, 1e9, 4});
        whole.setTextContainer({420, 1e9, 4});
        parts.selectedRanges = whole.selectedRanges = {{kPart - 30, 90}};
    }
};

QImage drawn(LayoutManager& lm)
{
    QImage image(440, int(std::ceil(lm.usedRect().height())) + 10, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    lm.draw(painter, QRectF(0, 0, 440, image.height()), {});
    return image;
}

// The first way the two managers differ, or empty.
std::string difference(LayoutManager& a, LayoutManager& b)
{
    const int n = a.textStorage()->length();
    auto near = [](const QRectF& x, const QRectF& y) {
        return std::abs(x.left() - y.left()) < 0.01 && std::abs(x.top() - y.top()) < 0.01
            && std::abs(x.width() - y.width()) < 0.01 && std::abs(x.height() - y.height()) < 0.01;
    };
    for (int at = 0; at < n;) {
        Range ra, rb;
        const QRectF fa = a.lineFragmentRect(at, &ra), fb = b.lineFragmentRect(at, &rb);
        if (ra != rb || !near(fa, fb) || !near(a.lineFragmentUsedRect(at), b.lineFragmentUsedRect(at)))
            return "line at " + std::to_string(at) + ": " + std::to_string(ra.location) + "+" + std::to_string(ra.length)
                + " at y " + std::to_string(fa.top()) + " instead of " + std::to_string(rb.location) + "+"
                + std::to_string(rb.length) + " at y " + std::to_string(fb.top());
        for (int i = ra.location; i < ra.end(); i += 37)
            if (!near(a.caretRect(i), b.caretRect(i)))
                return "caret at " + std::to_string(i);
        const QPointF middle = fa.center();
        if (a.characterIndex(middle) != b.characterIndex(middle) || a.glyphIndex(middle) != b.glyphIndex(middle))
            return "hit test in the line at " + std::to_string(at);
        at = ra.end();
    }
    if (!near(a.usedRect(), b.usedRect()))
        return "used rectangles";
    if (!near(a.boundingRect({50, 3 * kPart}), b.boundingRect({50, 3 * kPart})))
        return "bounding rectangles";
    if (drawn(a) != drawn(b))
        return "drawings";
    return {};
}

TEST(LayoutParts, LinesHitTestsAndPixelsAreThoseOfOneLayout)
{
    Pair pair;
    EXPECT_EQ(difference(pair.parts, pair.whole), "");
    // The paragraph's spacing and first-line indent come once, around the whole of it.
    const int start = int(pair.storage.string().find(u"entry"));
    const QRectF first = pair.parts.lineFragmentRect(start);
    const QRectF second = pair.parts.lineFragmentRect(int(pair.storage.string().find(u"\nAfter")) - 1);
    EXPECT_NEAR(pair.parts.location(start).x(), 4 + 12, 0.01);
    EXPECT_GT(first.height(), pair.parts.lineFragmentRect(start + 3 * kPart).height());
    EXPECT_GT(second.height(), pair.parts.lineFragmentRect(start + 3 * kPart).height());
}

TEST(LayoutParts, EditsAnywhereKeepTheLinesOfOneLayout)
{
    Pair pair;
    TextStorage& s = pair.storage;
    const int start = int(s.string().find(u"entry"));
    auto check = [&](const std::string& what) { EXPECT_EQ(difference(pair.parts, pair.whole), "") << what; };
    check("before");
    s.replaceCharacters({start, 0}, u"new words at the start ");
    check("typed at the start");
    // Typed and deleted at every line start and end around the first part's edge:
    // the lines before may take in a shorter first word, or give one up.
    for (int at = start + kPart - 150; at < start + kPart + 250;) {
        Range line;
        pair.whole.lineFragmentRect(at, &line);
        s.replaceCharacters({line.location, 0}, u"wide words ");
        check("typed at the line start " + std::to_string(line.location));
        s.replaceCharacters({line.location, 3}, u"");
        check("deleted at the line start " + std::to_string(line.location));
        s.replaceCharacters({line.end() - 1, 1}, u"");
        check("deleted at the line end " + std::to_string(line.end()));
        at = line.end();
    }
    s.replaceCharacters({start + 2 * kPart, 3 * kPart}, u"");
    check("deleted over several parts");
    s.replaceCharacters({start + 4 * kPart, 0}, U16String(2000, u'y'));
    check("pasted a long word");
    // Split in two and joined again: at a part's edge, inside parts, and where the
    // second half is as long as a paragraph laid out whole and a little longer.
    const int last = int(s.string().find(u"\nAfter"));
    for (const int at : {start + 3 * kPart, start + 6 * kPart + 1, start + 9 * kPart - 40, last - 2 * kPart - 1,
                         last - 2 * kPart - 3}) {
        s.replaceCharacters({at, 0}, u"\n");
        check("split at " + std::to_string(at));
        s.replaceCharacters({at + 1, 0}, u"new words ");
        check("typed after the split at " + std::to_string(at));
        s.replaceCharacters({at, 1}, u"");
        check("joined at " + std::to_string(at));
    }
    const int end = int(s.string().find(u"\nAfter"));
    s.replaceCharacters({end, 0}, u" and more at the end");
    check("typed at the end");
    // Fonts changed in one part, then the whole paragraph's style.
    s.addAttribute(AttributeKey::Font, Font::boldSystem(18), {start + 5 * kPart, 40});
    check("a bigger font in one part");
    // Styles that move only the first line or the last (an item's first line, spacing
    // around it), also right after a split in two long halves, then one that moves every line.
    Pair wide(240);
    auto checkWide = [&](const std::string& what) { EXPECT_EQ(difference(wide.parts, wide.whole), "") << what; };
    struct Ends {
        double firstIndent, before, after;
        bool split;
    };
    for (const Ends& ends : {Ends{30, 5, 9, false}, Ends{30, 14, 9, false}, Ends{30, 14, 1, false}, Ends{0, 0, 0, false},
                             Ends{24, 5, 9, true}, Ends{12, 5, 3, true}}) {
        const std::string what = "first line indent " + std::to_string(ends.firstIndent) + ", spacing "
            + std::to_string(ends.before) + " and " + std::to_string(ends.after) + (ends.split ? " after a split" : "");
        TextStorage& w = wide.storage;
        const int wideStart = int(w.string().find(u"entry"));
        const int at = wideStart + 12 * kPart;
        if (ends.split)
            w.replaceCharacters({at, 0}, u"\n");
        const int paragraph = ends.split ? at + 1 : wideStart;
        auto style = std::make_shared<ParagraphStyle>();
        style->headIndent = 24;
        style->lineSpacing = 2;
        style->firstLineHeadIndent = ends.firstIndent;
        style->paragraphSpacingBefore = ends.before;
        style->paragraphSpacing = ends.after;
        w.addAttribute(AttributeKey::ParagraphStyle, ParagraphStylePtr(style),
                       Range::fromTo(paragraph, int(w.string().find(u"\nAfter")) + 1));
        checkWide(what);
        if (ends.split) {
            w.replaceCharacters({at, 1}, u"");
            checkWide(what + ", joined again");
        }
    }
    auto style = std::make_shared<ParagraphStyle>();
    style->headIndent = 40;
    s.addAttribute(AttributeKey::ParagraphStyle, ParagraphStylePtr(style), Range::fromTo(start, end + 20));
    check("a new paragraph style");
}

TEST(LayoutParts, LazyLayoutLetsPartsGoAndDrawsThemTheSame)
{
    Pair pair(240);
    pair.parts.setLaysOutLazily(true);
    pair.parts.layoutCacheCharacters = 3 * kPart;
    const QImage expected = drawn(pair.whole);
    const double height = pair.whole.usedRect().height();
    // One screen at a time down the paragraph (of about 20 parts): the parts drawn before let their layouts go.
    for (int top = 0; top + 200 < height; top += 200) {
        QImage image(440, 200, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        pair.parts.draw(painter, QRectF(0, top, 440, 200), QPointF(0, -top));
        painter.end();
        EXPECT_EQ(image, expected.copy(0, top, 440, 200)) << "at " << top;
        EXPECT_LT(pair.parts.layoutCacheCharactersHeld(), size_t(10 * kPart)) << "at " << top;
    }
    // What let go lays out again, with the lines it had, when asked.
    EXPECT_EQ(difference(pair.parts, pair.whole), "");
}

TEST(LayoutParts, LazyLayoutGoesAsFarAsAskedAndTheRestInIdleSlices)
{
    Pair pair(240);
    pair.parts.setLaysOutLazily(true);
    auto drawTop = [&] {
        QImage image(440, 300, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        pair.parts.draw(painter, QRectF(0, 0, 440, 300), {});
    };
    drawTop();
    EXPECT_FALSE(pair.parts.isLayoutComplete());
    // An edit near the top while the rest waits, and one in the part that waits next.
    TextStorage& s = pair.storage;
    const int start = int(s.string().find(u"entry"));
    s.replaceCharacters({start + 5, 0}, u"wider words ");
    drawTop();
    s.replaceCharacters({start + 20 * kPart, 0}, u"far below ");
    int slices = 0;
    while (pair.parts.layoutSome(0.01))
        ++slices;
    EXPECT_GT(slices, 3);
    EXPECT_TRUE(pair.parts.isLayoutComplete());
    EXPECT_EQ(difference(pair.parts, pair.whole), "");
    // Split in two long paragraphs (the first keeps its parts before the split), and joined again.
    const int split = start + 15 * kPart;
    s.replaceCharacters({split, 0}, u"\n");
    EXPECT_EQ(difference(pair.parts, pair.whole), "") << "split";
    s.replaceCharacters({split, 1}, u"");
    EXPECT_EQ(difference(pair.parts, pair.whole), "") << "joined";
    // A font changed far after a split, then the split, before either is laid out.
    s.addAttribute(AttributeKey::Font, Font::boldSystem(18), {split + 8 * kPart, 30});
    s.replaceCharacters({split, 0}, u"\n");
    EXPECT_EQ(difference(pair.parts, pair.whole), "") << "a font changed, then a split before it";
    s.addAttribute(AttributeKey::Font, Font::system(14), {split + 8 * kPart + 1, 30});
    s.replaceCharacters({split, 1}, u"");
    EXPECT_EQ(difference(pair.parts, pair.whole), "") << "the font changed back, then joined";
}

TEST(LayoutParts, CaretMovesByVisualLineOverPartEdges)
{
    TextStorage storage = longLine();
    std::vector<std::vector<int>> visited;
    for (int partLength : {kPart, 1 << 30}) {
        TextView view(QRectF(0, 0, 420, 300));
        view.layoutManager()->partLength = partLength;
        view.setAttributedString(storage);
        view.setSelectedRange({int(storage.string().find(u"entry")) + 3, 0});
        std::vector<int>& places = visited.emplace_back();
        for (auto kind : {TextCommand::moveDown, TextCommand::moveUp}) {
            for (int i = 0; i < 40; ++i) {
                view.doCommand({kind, false});
                places.push_back(view.selectedRange().location);
            }
            view.doCommand({TextCommand::moveToEndOfLine, false});
            places.push_back(view.selectedRange().location);
            view.doCommand({TextCommand::moveToBeginningOfLine, false});
            places.push_back(view.selectedRange().location);
        }
    }
    EXPECT_EQ(visited[0], visited[1]);
    // Forty lines down is well past the first part's edge.
    EXPECT_GT(visited[0][39] - visited[0][0], 2 * kPart);
}

} // namespace
} // namespace velkin
