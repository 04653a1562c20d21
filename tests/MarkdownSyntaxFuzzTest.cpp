// Whatever the text, the scan ends and every span lies inside it.
#include "MarkdownSyntaxTestSupport.h"

#include "markdown/Alert.h"
#include "markdown/Footnote.h"
#include "markdown/MarkdownList.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

using namespace velkin;
using namespace velkin::testing;

namespace {

void expectInside(U16View text, const MarkdownSpans& spans, const std::string& what)
{
    const int n = int(text.size());
    for (const auto& s : spans) {
        ASSERT_GE(s.range.location, 0) << what;
        ASSERT_GE(s.range.length, 0) << what;
        ASSERT_LE(s.range.end(), n) << what;
    }
}

void scanEverything(U16View text, const std::string& what)
{
    expectInside(text, MarkdownSyntax::spans(text), what);
    for (const auto& b : Alert::blocks(text))
        ASSERT_LE(b.range.end(), int(text.size())) << what;
    for (const auto& d : Footnote::definitions(text))
        ASSERT_LE(d.block.end(), int(text.size())) << what;
    for (const auto& r : Footnote::references(text))
        ASSERT_LE(r.range.end(), int(text.size())) << what;
    (void)MarkdownList::lines(text);
    (void)MarkdownSyntax::setextHeadings(text);
}

U16String randomDocument(std::mt19937& rng)
{
    static const std::vector<U16String> lines = {
        u"# Heading *x*", u"Title", u"===", u"---", u"***", u"- item", u"  - nested [x](y)", u"1. one", u"10) ten",
        u"> quote", u"> > deep `code`", u"> [!NOTE]", u"> [!tip]", u"```", u"```js", u"~~~", u"````", u"    indented",
        u"\tcode", u"", u"   ", u"| a | b |", u"|---|:-:|", u"| `|` | \\| |", u"a | b", u"[^1]: note", u"[^1]",
        u"[docs]: /manual \"t\"", u"[docs][] and [docs] and ![i][docs]", u"text  ", u"text\\", u"**bold\nstill**",
        u"<sub>2</sub> <u>u</u> <https://e.org> <a@b.cd>", u"`#f80` `rgb(1, 2, 3)`", u"- [ ] task", u"- [x] done",
        u"\\*escaped\\*", u"*a **b** c*", u"_a_ __b__ ___c___ ~~d~~", u"[a](<b c> 'd')", u"![](x)", u"\u2028",
        u"\U0001F600 é \u00a0", u"[", u"`", u"<", u"**", u"[^", u"![", u"\r", u"\xD800", u"\xDC00x"};
    std::uniform_int_distribution<size_t> pick(0, lines.size() - 1);
    static const std::vector<U16String> breaks = {u"\n", u"\n", u"\n", u"\r\n", u"\r", u"\u2029"};
    U16String out;
    const int count = 1 + int(rng() % 30);
    for (int i = 0; i < count; ++i) {
        out += lines[pick(rng)];
        if (rng() % 7 != 0)
            out += lines[pick(rng)].substr(0, rng() % 6);
        out += breaks[rng() % breaks.size()];
    }
    if (rng() % 2)
        out.pop_back();
    return out;
}

} // namespace

TEST(ScannerFuzz, RandomDocuments)
{
    std::mt19937 rng(99);
    for (int round = 0; round < 3000; ++round) {
        const U16String text = randomDocument(rng);
        scanEverything(text, u8(text));
        if (HasFatalFailure())
            return;
    }
}

TEST(ScannerFuzz, HostileLinesFinish)
{
    const size_t n = 200000;
    std::vector<U16String> texts = {
        U16String(n, u'['), U16String(n, u'`'), U16String(n, u'*'), U16String(n, u'_'), U16String(n, u'<'),
        U16String(n, u'>'), U16String(n, u'|'), U16String(n, u'\\'), U16String(n, u'#'), U16String(n, u'\n'),
        U16String(n, u'-'), U16String(n, u' ')};
    U16String mixed;
    while (mixed.size() < n)
        mixed += u"[](![^ [a][b] <sub> `` ** __ ~~ ";
    texts.push_back(mixed);
    U16String nested;
    for (int i = 0; i < 3000; ++i)
        nested += U16String(size_t(i % 200), u' ') + u"- item\n";
    texts.push_back(nested);
    U16String table = u"| a |\n";
    for (int i = 0; i < 20000; ++i)
        table += u"|---|\n";
    texts.push_back(table);
    for (const auto& t : texts) {
        scanEverything(t, u8(t.substr(0, 20)));
        if (HasFatalFailure())
            return;
    }
}

// Every Markdown file that ships with the system's documentation, up to a time budget.
TEST(ScannerFuzz, RealDocuments)
{
    namespace fs = std::filesystem;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int files = 0;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator("/usr/share/doc", fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator() && files < 300; it.increment(ec)) {
        if (ec)
            break;
        if (it->path().extension() != ".md" || !it->is_regular_file(ec))
            continue;
        std::ifstream in(it->path(), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        const U16String text = u16(s.str());
        scanEverything(text, it->path().string());
        if (HasFatalFailure())
            return;
        ++files;
        if (std::chrono::steady_clock::now() > deadline)
            break;
    }
    if (files == 0)
        GTEST_SKIP() << "no Markdown files under /usr/share/doc";
}
