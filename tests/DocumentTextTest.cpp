// The window's text with its edits gathered before they are made: whatever the
// order of edits and reads, it reads as the same edits made at once.
#include "app/DocumentText.h"
#include "platform/attributed/TextStorage.h"
#include "platform/text/Utf.h"

#include <gtest/gtest.h>

#include <random>

using namespace velkin;

TEST(DocumentText, GatheredEditsReadAsEditsMadeAtOnce)
{
    std::mt19937 random(18);
    auto number = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    for (int round = 0; round < 30; ++round) {
        U16String expected;
        for (int i = number(0, 300); i > 0; --i)
            expected += char16_t(u'a' + i % 26);
        DocumentText text(expected);
        for (int step = 0; step < 400; ++step) {
            const int n = int(expected.size());
            // Mostly next to the caret, as typing goes; sometimes anywhere, or out of range.
            const int at = number(0, 9) < 7 ? std::clamp(n / 2 + number(-3, 3), 0, n) : number(-2, n + 2);
            const int length = number(-1, 4);
            U16String by(size_t(number(0, 3)), char16_t(u'A' + step % 26));
            const size_t from = std::min(size_t(std::max(at, 0)), size_t(n));
            expected.replace(from, size_t(std::max(length, 0)), by);
            const uint64_t before = text.revision();
            text.replace({at, length}, by);
            EXPECT_GT(text.revision(), before);
            ASSERT_EQ(text.size(), expected.size()) << "round " << round << " step " << step;
            if (number(0, 9) == 0) {
                ASSERT_EQ(text.string(), expected) << "round " << round << " step " << step;
            }
        }
        EXPECT_EQ(text.string(), expected);
        const uint64_t before = text.revision();
        text.assign(u"new");
        EXPECT_GT(text.revision(), before);
        EXPECT_EQ(text.string(), u"new");
        EXPECT_EQ(text.size(), 3u);
    }
}

TEST(DocumentText, ALongRunOfTypingIsMadeBeforeItGrowsPastTheLimit)
{
    DocumentText text(u"start end");
    U16String expected = u"start end";
    const U16String chunk(1000, u'x');
    size_t caret = 6;
    for (size_t typed = 0; typed <= DocumentText::pendingLimit + chunk.size(); typed += chunk.size()) {
        text.replace({int(caret), 0}, chunk);
        expected.insert(caret, chunk);
        caret += chunk.size();
    }
    // Deleting back over the made part and into the gathered one.
    text.replace({int(caret) - 2500, 2500}, u"");
    expected.erase(caret - 2500, 2500);
    EXPECT_EQ(text.size(), expected.size());
    EXPECT_EQ(text.string(), expected);
    // Reading twice, and reading an unedited text, change nothing.
    EXPECT_EQ(text.string(), expected);
    EXPECT_EQ(DocumentText(u"same").string(), u"same");
}

// A keystroke in a long text grows its string by a small share, not to twice its
// size: the storage's text and the window's copy alike.
TEST(DocumentText, AKeystrokeInALongTextGrowsItByASmallShare)
{
    const U16String text(4'000'000, u'a');
    TextStorage storage{U16String(text)};
    DocumentText document{U16String(text)};
    for (int key = 0; key < 3; ++key) {
        storage.replaceCharacters({2'000'000, 0}, u"x");
        document.replace({2'000'000, 0}, u"x");
        EXPECT_EQ(document.string().size(), text.size() + size_t(key) + 1);
        EXPECT_EQ(storage.string()[2'000'000], u'x');
    }
    EXPECT_LT(storage.string().capacity(), text.size() + text.size() / 16);
    EXPECT_LT(document.string().capacity(), text.size() + text.size() / 16);
}

TEST(DocumentText, ATextWrittenBackWholeReplacesOnlyTheStretchThatDiffers)
{
    struct Case {
        U16String before, after;
        std::optional<Range> replaced;
    };
    const Case cases[] = {
        {u"one two three", u"one two three", std::nullopt},
        {u"one two three", u"one too three", Range{5, 1}},
        {u"aaa", u"aa", Range{2, 1}},          // what the ends share never overlaps
        {u"aa", u"aaaa", Range{2, 0}},
        {u"abc", u"xabcx", Range{0, 3}},        // at both ends: the whole text between them
        {u"abc", u"", Range{0, 3}},
        {u"", u"\U0001F600", Range{0, 0}},
        {u"a\U0001F600b", u"a\U0001F601b", Range{2, 1}},  // only the differing half of a pair
    };
    for (const Case& c : cases) {
        DocumentText text(c.before);
        // With a gathered edit still to make, and one more made on top.
        text.replace({0, 0}, u"#");
        text.replace({0, 1}, u"");
        const uint64_t revision = text.revision();
        EXPECT_EQ(text.replaceDiffering(c.after), c.replaced) << u8(c.before) << " to " << u8(c.after);
        EXPECT_EQ(text.string(), c.after);
        EXPECT_EQ(text.size(), c.after.size());
        EXPECT_EQ(text.revision() == revision, !c.replaced);
    }
}
