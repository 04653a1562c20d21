#include "platform/text/Lines.h"
#include "platform/text/Utf.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>

namespace {

velkin::U16String readDoc(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return velkin::u16(s.str());
}

void BM_LineRanges(benchmark::State& state)
{
    const auto text = readDoc("/usr/share/doc/nodejs/changelogs/CHANGELOG_V12.md");
    for (auto _ : state)
        benchmark::DoNotOptimize(velkin::lineRanges(text));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * 2));
}
BENCHMARK(BM_LineRanges)->Unit(benchmark::kMillisecond);

} // namespace

