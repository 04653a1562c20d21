// The long run of the differential check: many random edits over large real
// documents, each compared with a from-scratch restyle and layout. It fails
// (skips with the difference) instead of timing when the two part ways.
#include "../tests/RestyleDifferential.h"

#include <benchmark/benchmark.h>

namespace {

using namespace velkin;

void differentialRun(benchmark::State& state, const char* path)
{
    const U16String text = differential::readFile(path);
    if (text.empty()) {
        state.SkipWithError("document not installed");
        return;
    }
    unsigned seed = 1;
    for (auto _ : state) {
        // A fresh restyle of a large document per edit is slow: compare every tenth.
        if (const std::string d = differential::run(text, seed++, int(state.range(0)), 10); !d.empty()) {
            state.SkipWithError(d.c_str());
            return;
        }
    }
}

void BM_DifferentialEditsFsApi(benchmark::State& state)
{
    differentialRun(state, "/usr/share/doc/nodejs/api/fs.md");
}
BENCHMARK(BM_DifferentialEditsFsApi)->Arg(2000)->Unit(benchmark::kSecond)->Iterations(1);

void BM_DifferentialEditsChangelog(benchmark::State& state)
{
    differentialRun(state, "/usr/share/doc/nodejs/changelogs/CHANGELOG_V12.md");
}
BENCHMARK(BM_DifferentialEditsChangelog)->Arg(300)->Unit(benchmark::kSecond)->Iterations(1);

void BM_DifferentialEditsSamples(benchmark::State& state)
{
    const std::string root = VELKIN_SOURCE_ROOT;
    for (auto _ : state)
        for (const char* name : {"/Samples/demo.md", "/Samples/api.md", "/Samples/prd.md", "/Help/tables.md"}) {
            const U16String text = differential::readFile(root + name);
            if (const std::string d = differential::run(text, 77, int(state.range(0))); !d.empty()) {
                state.SkipWithError((name + std::string(": ") + d).c_str());
                return;
            }
        }
}
BENCHMARK(BM_DifferentialEditsSamples)->Arg(1000)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace
