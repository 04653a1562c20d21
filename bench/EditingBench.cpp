#include "app/DocumentStats.h"
#include "editor/ListContinuation.h"
#include "editor/MarkdownEditing.h"
#include "platform/text/Utf.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>

namespace {

velkin::U16String readText(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return velkin::u16(s.str());
}

const velkin::U16String& changelog()
{
    static const velkin::U16String text = readText("/usr/share/doc/nodejs/changelogs/CHANGELOG_V12.md");
    return text;
}

const velkin::U16String& fsDoc()
{
    static const velkin::U16String text = readText("/usr/share/doc/nodejs/api/fs.md");
    return text;
}

// The statistics are recomputed after every edit.
void BM_DocumentStats(benchmark::State& state)
{
    const auto& text = changelog();
    for (auto _ : state)
        benchmark::DoNotOptimize(velkin::DocumentStats(text));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * 2));
}
BENCHMARK(BM_DocumentStats)->Unit(benchmark::kMillisecond);

// A table command enumerates every line of the document to find the caret's table.
void BM_AddTableRowAtTheEnd(benchmark::State& state)
{
    const velkin::U16String text = changelog() + u"\n\n| A | B |\n| --- | --- |\n| 1 | 2 |";
    const velkin::Range caret{static_cast<int>(text.size()), 0};
    for (auto _ : state)
        benchmark::DoNotOptimize(velkin::MarkdownEditing::addTableRow(text, caret));
}
BENCHMARK(BM_AddTableRowAtTheEnd)->Unit(benchmark::kMillisecond);

// Return at the end of a long, code-heavy document: one fence scan per key press.
void BM_ReturnInAListAtTheEnd(benchmark::State& state)
{
    const velkin::U16String text = fsDoc() + u"\n\n- last item";
    const velkin::Range caret{static_cast<int>(text.size()), 0};
    for (auto _ : state)
        benchmark::DoNotOptimize(velkin::ListContinuation::newline(text, caret));
}
BENCHMARK(BM_ReturnInAListAtTheEnd)->Unit(benchmark::kMillisecond);

void BM_BoldOnALargeDocument(benchmark::State& state)
{
    const auto& text = changelog();
    const velkin::Range selection{static_cast<int>(text.size() / 2), 10};
    for (auto _ : state)
        benchmark::DoNotOptimize(velkin::MarkdownEditing::wrap(text, selection, u"**"));
}
BENCHMARK(BM_BoldOnALargeDocument)->Unit(benchmark::kMicrosecond);

} // namespace
