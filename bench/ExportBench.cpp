#include "export/MarkdownHTML.h"
#include "platform/text/Utf.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>

namespace {

velkin::U16String readDocument(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return velkin::u16(bytes.str());
}

void BM_HTMLPage_Changelog(benchmark::State& state)
{
    const auto text = readDocument("/usr/share/doc/nodejs/changelogs/CHANGELOG_V12.md");
    for (auto _ : state)
        benchmark::DoNotOptimize(velkin::MarkdownHTML::document(text));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * 2));
}
BENCHMARK(BM_HTMLPage_Changelog)->Unit(benchmark::kMillisecond);

void BM_HTMLPage_FileSystemDocs(benchmark::State& state)
{
    const auto text = readDocument("/usr/share/doc/nodejs/api/fs.md");
    for (auto _ : state)
        benchmark::DoNotOptimize(velkin::MarkdownHTML::document(text));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * 2));
}
BENCHMARK(BM_HTMLPage_FileSystemDocs)->Unit(benchmark::kMillisecond);

} // namespace
