// The three collapse walkers and shortcode resolution, as every restyle runs them.
#include "document/PreviewRenderer.h"
#include "markdown/EmojiShortcode.h"
#include "markdown/MarkdownStyler.h"
#include "markdown/TableGrid.h"
#include "platform/text/Utf.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>

namespace {

using namespace velkin;

U16String readText(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return u16(s.str());
}

const U16String& changelog()
{
    static const U16String text = readText("/usr/share/doc/nodejs/changelogs/CHANGELOG_V12.md");
    return text;
}

// 5,000 shortcodes on 1,000 lines: aliases, Unicode names, unknown names, and some in code.
const U16String& shortcodeDocument()
{
    static const U16String text = [] {
        const char16_t* names[] = {u":rocket:", u":tada:", u":face_with_tears_of_joy:", u":+1:", u":nonsense_name:",
                                   u":sparkles:", u":snowflake:", u":white_check_mark:", u":bug:", u":cat:"};
        U16String out;
        for (int line = 0; line < 1000; ++line) {
            out += u"Release note ";
            for (int k = 0; k < 5; ++k) {
                out += names[(line * 5 + k) % 10];
                out += k == 2 ? u" `code :tada:` and " : u" then ";
            }
            out += line % 10 == 9 ? u"\n\n" : u"\n";
        }
        return out;
    }();
    return text;
}

// Task items and image lines mixed into prose.
const U16String& taskAndImageDocument()
{
    static const U16String text = [] {
        U16String out;
        for (int i = 0; i < 2000; ++i) {
            out += i % 2 ? u"- [x] done item\n" : u"- [ ] open item\n";
            if (i % 20 == 0)
                out += u"\n![figure](missing-" + u16(std::to_string(i)) + u".png)\n\n";
        }
        return out;
    }();
    return text;
}

TextStorage styled(const U16String& text)
{
    TextStorage storage(text);
    MarkdownStyler{14, MarkdownFontFamily::sansSerif}.apply(storage);
    return storage;
}

void BM_ShortcodeMatches(benchmark::State& state)
{
    const U16String& text = shortcodeDocument();
    for (auto _ : state)
        benchmark::DoNotOptimize(EmojiShortcode::matches(text));
}
BENCHMARK(BM_ShortcodeMatches)->Unit(benchmark::kMillisecond);

// Resolving names alone: aliases are a hash lookup, Unicode names are remembered.
void BM_ShortcodeNames(benchmark::State& state)
{
    const char16_t* names[] = {u"rocket", u"tada", u"face_with_tears_of_joy", u"+1", u"nonsense_name"};
    for (auto _ : state)
        for (int i = 0; i < 5000; ++i)
            benchmark::DoNotOptimize(EmojiShortcode::emoji(names[i % 5]));
}
BENCHMARK(BM_ShortcodeNames)->Unit(benchmark::kMillisecond);

void BM_CollapseAllShortcodes(benchmark::State& state)
{
    const TextStorage base = styled(shortcodeDocument());
    {
        // The first measure of each emoji loads its glyph from the font: once per process.
        TextStorage warm = base;
        PreviewRenderer::collapseAllShortcodes(warm);
    }
    TextStorage storage;
    for (auto _ : state) {
        state.PauseTiming();
        storage = base;
        state.ResumeTiming();
        PreviewRenderer::collapseAllShortcodes(storage);
        benchmark::DoNotOptimize(storage.runCount());
    }
}
BENCHMARK(BM_CollapseAllShortcodes)->Unit(benchmark::kMillisecond);

void BM_CollapseAllTasks(benchmark::State& state)
{
    const TextStorage base = styled(taskAndImageDocument());
    TextStorage storage;
    for (auto _ : state) {
        state.PauseTiming();
        storage = base;
        state.ResumeTiming();
        PreviewRenderer::collapseAllTasks(storage, 13);
        benchmark::DoNotOptimize(storage.runCount());
    }
}
BENCHMARK(BM_CollapseAllTasks)->Unit(benchmark::kMillisecond);

void BM_CollapseAllImages(benchmark::State& state)
{
    const TextStorage base = styled(taskAndImageDocument());
    const std::optional<Url> document = Url::parse("file:///nonexistent/folder/notes.md");
    TextStorage storage;
    for (auto _ : state) {
        state.PauseTiming();
        storage = base;
        state.ResumeTiming();
        PreviewRenderer::collapseAllImages(storage, document, 636);
        benchmark::DoNotOptimize(storage.runCount());
    }
}
BENCHMARK(BM_CollapseAllImages)->Unit(benchmark::kMillisecond);

// The three walkers over a real 1 MB document, which has few decorations: the cost of looking.
// Its three remote pictures point at missing local files here, so that no download is timed.
void BM_CollapseWalkersOnChangelog(benchmark::State& state)
{
    U16String text = changelog();
    for (size_t at = 0; (at = text.find(u"](https://user-images", at)) != U16String::npos;)
        text.replace(at, 8, u"](missing");
    const TextStorage base = styled(text);
    TextStorage storage;
    for (auto _ : state) {
        state.PauseTiming();
        storage = base;
        state.ResumeTiming();
        const ProseLines lines(storage.string());
        PreviewRenderer::collapseAllImages(storage, std::nullopt, 636, &lines);
        PreviewRenderer::collapseAllTasks(storage, 13, &lines);
        PreviewRenderer::collapseAllShortcodes(storage, &lines);
        benchmark::DoNotOptimize(storage.runCount());
    }
}
BENCHMARK(BM_CollapseWalkersOnChangelog)->Unit(benchmark::kMillisecond);

void BM_CompletionCandidates(benchmark::State& state)
{
    EmojiShortcode::allCandidates();
    for (auto _ : state)
        benchmark::DoNotOptimize(EmojiShortcode::candidates(u"sm", 60));
}
BENCHMARK(BM_CompletionCandidates)->Unit(benchmark::kMicrosecond);

} // namespace
