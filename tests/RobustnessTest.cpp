// Hostile documents and the machine's own Markdown files through every stage a
// document meets: scan, restyle with collapses, layout and drawing, the editor's
// restyle after typing, the HTML page and the grid round trip. Each must finish
// with a sound result; this suite is meant for the sanitizer build, where any
// memory fault or undefined behaviour on the way fails it.
#include "document/CodeBlockLayoutManager.h"
#include "editor/MarkdownEditor.h"
#include "editor/MarkdownTextView.h"
#include "export/MarkdownHTML.h"
#include "export/PreviewRendererPage.h"
#include "markdown/MarkdownStyler.h"
#include "markdown/MarkdownSyntax.h"
#include "markdown/ProseLines.h"
#include "markdown/TableGrid.h"
#include "platform/text/Utf.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace velkin {
namespace {

namespace fs = std::filesystem;

U16String repeated(U16View piece, size_t times)
{
    U16String out;
    out.reserve(piece.size() * times);
    for (size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

size_t count(U16View text, U16View piece)
{
    size_t n = 0;
    for (size_t at = text.find(piece); at != U16View::npos; at = text.find(piece, at + piece.size()))
        ++n;
    return n;
}

void scan(const U16String& text)
{
    const int n = int(text.size());
    for (const MarkdownSpan& s : MarkdownSyntax::spans(text))
        ASSERT_TRUE(s.range.location >= 0 && s.range.length >= 0 && s.range.end() <= n);
}

// Styled and collapsed as a page shows it (pictures without a base address, so
// nothing is read from disk), then laid out and drawn; an insertion that moves the
// storage's string must leave every paragraph drawable.
void styleLayOutAndDraw(const U16String& text)
{
    TextStorage storage(text);
    MarkdownStyler().apply(storage);
    {
        const ProseLines lines(storage.string());
        PreviewRenderer::collapseAllImages(storage, std::nullopt, 690, &lines);
        PreviewRenderer::collapseAllTasks(storage, 13, &lines);
        PreviewRenderer::collapseAllShortcodes(storage, &lines);
    }
    ASSERT_EQ(storage.string(), text) << "styling and collapsing changed characters";

    CodeBlockLayoutManager layout(&storage);
    layout.setTextContainer({700, 1e9, 5});
    layout.ensureLayout();
    const QRectF used = layout.usedRect();
    ASSERT_TRUE(std::isfinite(used.height()) && std::isfinite(used.width()));
    if (!text.empty()) {
        EXPECT_GT(used.height(), 0);
    }

    storage.replaceCharacters({storage.length(), 0}, repeated(u"tail ", 4000));
    QImage image(720, 600, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    layout.draw(painter, QRectF(0, 0, 720, 600), QPointF(0, 0));
    layout.draw(painter, QRectF(0, std::max(0.0, used.height() - 600), 720, 600), QPointF(0, 0));
}

bool isBlankLine(U16View text, size_t start, size_t end)
{
    return std::all_of(text.begin() + start, text.begin() + end, [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r'; });
}

// The block an edit at `at` may rewrite: the run of non-blank lines around it
// (a table the edit lands in is rewritten whole, and a table has no blank line).
std::pair<size_t, size_t> blockAround(U16View text, size_t at)
{
    const auto lineStart = [&](size_t i) {
        const size_t nl = i == 0 ? U16View::npos : text.rfind(u'\n', i - 1);
        return nl == U16View::npos ? 0 : nl + 1;
    };
    const auto lineEnd = [&](size_t i) {
        const size_t nl = text.find(u'\n', i);
        return nl == U16View::npos ? text.size() : nl;
    };
    size_t start = lineStart(at), end = lineEnd(at);
    while (start > 0) {
        const size_t previous = lineStart(start - 1);
        if (isBlankLine(text, previous, start - 1))
            break;
        start = previous;
    }
    while (end < text.size()) {
        const size_t next = lineEnd(end + 1);
        if (isBlankLine(text, end + 1, next))
            break;
        end = next;
    }
    return {start, end};
}

// The editor window's own cycle: typing restyles the whole text with collapses
// and writes the document back. What holds for every document: the typed
// characters are in it, it is what the view shows, and the text outside the
// edited block is unchanged (a table the typing lands in may be rewritten
// without its alignment padding, so the document may even get shorter).
void typeInEditor(const U16String& text)
{
    auto document = std::make_shared<U16String>(text);
    MarkdownEditor editor{{[document] { return *document; }, [document](const U16String& t) { *document = t; }}};
    MarkdownEditorView host(editor);
    host.resize(700, 500);
    host.textView()->resize(700, 500);
    host.show();
    QApplication::processEvents();
    MarkdownTextView& view = *host.textView();
    // The middle of what the view shows (a table shows as a grid, shorter than its Markdown).
    const int middle = view.textStorage()->length() / 2;
    const U16View typedLine = u"- [ ] :smile: ![](x.png)";
    view.setSelectedRange({middle, 0});
    view.insertText(u"z");
    view.insertText(u"\n" + U16String(typedLine));
    QApplication::processEvents();
    (void)view.grab();

    EXPECT_EQ(TableGrid::serialize(*view.textStorage()), *document) << "the document holds what the view shows";
    // Every change lies in the block where the document first differs.
    const U16View now = *document;
    const size_t firstChange = size_t(std::mismatch(text.begin(), text.end(), now.begin(), now.end()).first - text.begin());
    const auto [start, end] = blockAround(text, firstChange);
    const U16View before = U16View(text).substr(0, start), after = U16View(text).substr(end);
    ASSERT_GE(now.size(), before.size() + after.size());
    EXPECT_EQ(now.substr(0, before.size()), before) << "the text before the edited block is unchanged";
    EXPECT_EQ(now.substr(now.size() - after.size()), after) << "the text after the edited block is unchanged";
    const U16View block = U16View(text).substr(start, end - start);
    const U16View edited = now.substr(before.size(), now.size() - before.size() - after.size());
    EXPECT_NE(edited.find(typedLine), U16View::npos) << "the typed line is in the edited block";
    EXPECT_GT(std::count(edited.begin(), edited.end(), u'z'), std::count(block.begin(), block.end(), u'z'))
        << "the typed letter is in the edited block";
}

void exportHTML(const U16String& text)
{
    MarkdownHTML::Options options;
    options.embedsImages = false;
    const U16String page = MarkdownHTML::document(text, options);
    static const U16String end = u"</article>\n</body>\n</html>";
    ASSERT_GE(page.size(), end.size());
    EXPECT_EQ(page.substr(page.size() - end.size()), end);
}

void gridRoundTrip(const U16String& text)
{
    const U16String back = TableGrid::serialize(TableGrid::render(text, 14));
    if (back != text) {
        size_t at = 0;
        while (at < std::min(back.size(), text.size()) && back[at] == text[at])
            ++at;
        FAIL() << "the grid round trip changed the text at " << at << " of " << text.size() << ": \""
               << u8(U16View(text).substr(at, 40)) << "\" became \"" << u8(U16View(back).substr(at, 40)) << "\"";
    }
}

void throughEverything(const U16String& text, bool withEditor = true)
{
    scan(text);
    styleLayOutAndDraw(text);
    if (withEditor)
        typeInEditor(text);
    exportHTML(text);
    gridRoundTrip(text);
}

// ---- Hostile documents, each small enough to finish in a few seconds on the
// sanitizer build even where a stage is still slower than linear (a line of
// thousands of style runs costs the text layout a font look-up per run) ----

struct Hostile {
    const char* name;
    U16String text;
};

void PrintTo(const Hostile& hostile, std::ostream* out)
{
    *out << hostile.name;
}

std::vector<Hostile> hostileDocuments()
{
    std::vector<Hostile> all;
    all.push_back({"StarUnderscore", repeated(u"*_", 1500)});
    all.push_back({"BracketColons", u"x" + repeated(u"]:", 5000)});
    all.push_back({"ImageOpeners", repeated(repeated(u"![", 1000) + u"\n", 3)});
    all.push_back({"BlankParagraphs", u"x\n\n" + repeated(U16String(4000, u' ') + u"\n\n", 3)});
    all.push_back({"QuotesAcrossLineSeparators", repeated(u">\u2028", 1000)});
    all.push_back({"QuotesAcrossCarriageReturns", repeated(u">\r", 1000)});
    all.push_back({"DashTableRows", u"| a | b |\n|---|---|\n" + repeated(u"| - | - |\n", 2000)});
    all.push_back({"StarLetter", repeated(u"*a", 1200)});
    all.push_back({"CodeSpanTicks", repeated(u"`a``b ", 1500)});
    all.push_back({"NarrowTableRows", u"|-|\n|-|\n" + repeated(u"|-|\n", 2000)});
    {
        U16String header = u"|", rule = u"|", row = u"|";
        for (int i = 0; i < 200; ++i) {
            header += u" h |";
            rule += u"---|";
            row += u" c |";
        }
        all.push_back({"WideTable", header + u"\n" + rule + u"\n" + repeated(row + u"\n", 10)});
    }
    // Typing in a table rewrites its grid without the alignment padding: shorter than before.
    all.push_back({"PaddedTable", u"# Errors\n\nSome text.\n\n| Name" + U16String(30, u' ') + u"| Code" + U16String(30, u' ')
                                      + u"|\n| " + U16String(33, u'-') + u" | " + U16String(33, u'-') + u" |\n"
                                      + repeated(u"| `one`" + U16String(28, u' ') + u"| `ONE`" + U16String(28, u' ') + u"|\n", 6)
                                      + u"\nAfter.\n"});
    all.push_back({"Shortcodes", repeated(u":smile: ", 400)});
    all.push_back({"LongOrderedNumber", u"1\U0001D7CE\U0001D7CF\U0001D7D0\U0001D7D1\U0001D7D2\U0001D7D3\U0001D7D4\U0001D7D5. item\n"});
    all.push_back({"BlankRunBeforeBlocks",
                   repeated(u"\n", 3000) + u"\u2028\n![pic](a.png)\n\nline  \nnext\\\nlast\n\n# Heading\n\n- item\n"});
    all.push_back({"UnclosedFences", repeated(u"```\n~~~\n````x\n", 500)});
    all.push_back({"NestedLists", [] {
                       U16String s;
                       for (int i = 0; i < 1000; ++i)
                           s += U16String(size_t(i % 120), u' ') + u"- [ ] item\n";
                       return s;
                   }()});
    all.push_back({"LoneSurrogates", repeated(U16String(u"a\xD800*\xDC00_|`[\xD83D"), 500)});
    return all;
}

class HostileDocument : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileDocument, FinishesThroughEveryStage)
{
    throughEverything(GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Robustness, HostileDocument, ::testing::ValuesIn(hostileDocuments()),
                         [](const ::testing::TestParamInfo<Hostile>& info) { return info.param.name; });

// Results that must not depend on how long a search took.
TEST(Robustness, HardBreaksAfterLongBlankRunsAllSurvive)
{
    const U16String text = repeated(u" ", 3000) + u"\u2028\n\n" + repeated(u"line  \nnext\\\n", 200) + u"end\n";
    MarkdownHTML::Options options;
    options.embedsImages = false;
    const U16String html = MarkdownHTML::body(text, options);
    EXPECT_EQ(count(html, u"<br"), 400u);
}

TEST(Robustness, HeadingsAndListsAfterALongBlankRunAllSurvive)
{
    const U16String text = repeated(u"\n", 3000) + u"\u2028\n" + repeated(u"# Title\n\n- item\n\n", 100);
    MarkdownHTML::Options options;
    options.embedsImages = false;
    const U16String html = MarkdownHTML::body(text, options);
    EXPECT_EQ(count(html, u"<h1"), 100u);
    EXPECT_EQ(count(html, u"<li"), 100u);
}

// ---- The machine's own Markdown files, in shards that CTest runs side by side ----

constexpr int shardCount = 4;
constexpr size_t fileLimit = 40;            // files over all shards
constexpr std::uintmax_t sizeLimit = 48 * 1024;  // bytes per file

std::vector<fs::path> machineMarkdownFiles()
{
    std::vector<fs::path> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator("/usr/share/doc", fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->path().extension() == ".md" && it->is_regular_file(ec) && it->file_size(ec) <= sizeLimit && !ec)
            files.push_back(it->path());
    }
    // A fixed order, so a failure shows again on the next run.
    std::sort(files.begin(), files.end());
    if (files.size() > fileLimit) {
        std::vector<fs::path> spread;
        for (size_t i = 0; i < fileLimit; ++i)
            spread.push_back(files[i * files.size() / fileLimit]);
        files = std::move(spread);
    }
    return files;
}

class MachineMarkdown : public ::testing::TestWithParam<int> {};

TEST_P(MachineMarkdown, FilesFinishThroughEveryStage)
{
    static const std::vector<fs::path> files = machineMarkdownFiles();
    if (files.empty())
        GTEST_SKIP() << "no Markdown files under /usr/share/doc";
    for (size_t i = size_t(GetParam()); i < files.size(); i += shardCount) {
        SCOPED_TRACE(files[i].string());
        std::ifstream in(files[i], std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        // The editor stage is the slowest under the sanitizers: every other file.
        throughEverything(u16(bytes.str()), i % 2 == 0);
        if (HasFatalFailure())
            return;
    }
}

INSTANTIATE_TEST_SUITE_P(Robustness, MachineMarkdown, ::testing::Range(0, shardCount));

} // namespace
} // namespace velkin
