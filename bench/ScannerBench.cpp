// The scanner runs over the whole document on every keystroke.
#include "markdown/MarkdownSyntax.h"
#include "platform/text/Utf.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>

namespace {

velkin::U16String readScannerDoc(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return velkin::u16(s.str());
}

void scan(benchmark::State& state, const char* path)
{
    const velkin::U16String text = readScannerDoc(path);
    size_t spans = 0;
    for (auto _ : state) {
        const auto list = velkin::MarkdownSyntax::spans(text);
        spans = list.size();
        benchmark::DoNotOptimize(list.data());
    }
    state.counters["spans"] = double(spans);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * 2));
}

void BM_SpansChangelog(benchmark::State& state)
{
    scan(state, "/usr/share/doc/nodejs/changelogs/CHANGELOG_V12.md");
}
BENCHMARK(BM_SpansChangelog)->Unit(benchmark::kMillisecond);

void BM_SpansFsApi(benchmark::State& state)
{
    scan(state, "/usr/share/doc/nodejs/api/fs.md");
}
BENCHMARK(BM_SpansFsApi)->Unit(benchmark::kMillisecond);

void BM_BlockLinesChangelog(benchmark::State& state)
{
    const velkin::U16String text = readScannerDoc("/usr/share/doc/nodejs/changelogs/CHANGELOG_V12.md");
    for (auto _ : state) {
        const velkin::MarkdownSyntax::BlockLines lines(text);
        benchmark::DoNotOptimize(lines.texts.data());
    }
}
BENCHMARK(BM_BlockLinesChangelog)->Unit(benchmark::kMillisecond);

// n backticks, "x", n - 1 backticks, a line feed and n letters: no opening
// run ever closes, and each one looks past every later run of the line.
void BM_SpansUnclosedBackticks(benchmark::State& state)
{
    const size_t n = size_t(state.range(0));
    const velkin::U16String text = velkin::U16String(n, u'`') + u"x" + velkin::U16String(n - 1, u'`') + u"\n" +
                                   velkin::U16String(n, u'a');
    for (auto _ : state) {
        const auto list = velkin::MarkdownSyntax::spans(text);
        benchmark::DoNotOptimize(list.data());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SpansUnclosedBackticks)->Arg(30000)->Arg(120000)->Unit(benchmark::kMillisecond)->Complexity();

// n references to no note ("[^x "), each one's label running to the one "]" at
// the line's end, then blanks: each may hide a reference, and none is one.
void BM_SpansBrokenReferences(benchmark::State& state)
{
    velkin::U16String text;
    for (int64_t i = 0; i < state.range(0); ++i)
        text += u"[^x ";
    text += velkin::U16String(size_t(state.range(0)), u' ') + u"]\n\n[^b]: The note.\n";
    for (auto _ : state) {
        const auto list = velkin::MarkdownSyntax::spans(text);
        benchmark::DoNotOptimize(list.data());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SpansBrokenReferences)->Arg(25000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity();

} // namespace
