// Restyling the whole document runs at every keystroke; grids are rendered
// when a document opens and serialised after every change.
#include "markdown/MarkdownStyler.h"
#include "markdown/TableGrid.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>

namespace {

const velkin::U16String& changelog()
{
    static const velkin::U16String text = [] {
        std::ifstream in("/usr/share/doc/nodejs/changelogs/CHANGELOG_V12.md", std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return velkin::u16(s.str());
    }();
    return text;
}

// About 50 KB of the changelog, cut at a line end.
velkin::U16String changelogPiece()
{
    const velkin::U16String& text = changelog();
    const size_t cut = text.find(u'\n', std::min(text.size(), size_t(50000)));
    return text.substr(0, cut == velkin::U16String::npos ? text.size() : cut + 1);
}

void restyle(benchmark::State& state, const velkin::U16String& text)
{
    velkin::TextStorage storage(text);
    const velkin::MarkdownStyler styler{14, velkin::MarkdownFontFamily::sansSerif};
    styler.apply(storage);
    for (auto _ : state) {
        styler.apply(storage);
        benchmark::DoNotOptimize(storage.runCount());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * 2));
}

void BM_RestyleChangelog1MB(benchmark::State& state)
{
    restyle(state, changelog());
}
BENCHMARK(BM_RestyleChangelog1MB)->Unit(benchmark::kMillisecond);

void BM_RestyleChangelog50KB(benchmark::State& state)
{
    restyle(state, changelogPiece());
}
BENCHMARK(BM_RestyleChangelog50KB)->Unit(benchmark::kMillisecond);

// The scanner's share of a restyle, for comparison.
void BM_SpansChangelog1MB(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(velkin::MarkdownSyntax::spans(changelog()).size());
}
BENCHMARK(BM_SpansChangelog1MB)->Unit(benchmark::kMillisecond);

velkin::U16String manyTables(int count)
{
    velkin::U16String text;
    for (int i = 0; i < count; ++i) {
        text += u"## Table " + velkin::TextOps::number(i) + u"\n\nSome prose before the table.\n\n";
        text += u"| Name | Kind | Size | Notes |\n| :--- | :---: | ---: | --- |\n";
        for (int row = 0; row < 8; ++row)
            text += u"| item" + velkin::TextOps::number(row) + u" | `code|span` | " + velkin::TextOps::number(row * 17)
                + u" | **bold** and [link](https://example.com) |\n";
        text += u"\n";
    }
    return text;
}

// Render and serialise a document of N tables; the count shows that the cost grows linearly.
void BM_GridRoundTrip(benchmark::State& state)
{
    const velkin::U16String text = manyTables(int(state.range(0)));
    for (auto _ : state) {
        velkin::TextStorage storage = velkin::TableGrid::render(text, 14);
        benchmark::DoNotOptimize(velkin::TableGrid::serialize(storage).size());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_GridRoundTrip)->Arg(100)->Arg(200)->Arg(400)->Unit(benchmark::kMillisecond)->Complexity();

// After an edit: restyle the rendered grids and write them back.
void BM_GridRestyleAndSerialize200Tables(benchmark::State& state)
{
    velkin::TextStorage storage = velkin::TableGrid::render(manyTables(200), 14);
    const velkin::MarkdownStyler styler{14, velkin::MarkdownFontFamily::sansSerif};
    for (auto _ : state) {
        styler.apply(storage);
        benchmark::DoNotOptimize(velkin::TableGrid::serialize(storage).size());
    }
}
BENCHMARK(BM_GridRestyleAndSerialize200Tables)->Unit(benchmark::kMillisecond);

} // namespace
