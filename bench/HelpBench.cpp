#include "help/HelpBook.h"
#include "help/HelpSearch.h"
#include "platform/DataPaths.h"
#include "platform/strings/LocalizedStrings.h"
#include "platform/text/Utf.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>

namespace {

using namespace velkin;

// The Node.js API reference: 64 Markdown pages, several MB, a far larger book than ours.
const char* const bigBook = "/usr/share/doc/nodejs/api";

U16String readDoc(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return u16(s.str());
}

void BM_HelpPageDerive(benchmark::State& state)
{
    const U16String text = readDoc("/usr/share/doc/nodejs/changelogs/CHANGELOG_V12.md");
    for (auto _ : state)
        benchmark::DoNotOptimize(HelpPage::make(u"changelog", text));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * 2));
}
BENCHMARK(BM_HelpPageDerive)->Unit(benchmark::kMillisecond);

void BM_HelpBookLoadShipped(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(HelpBook::load());
}
BENCHMARK(BM_HelpBookLoadShipped)->Unit(benchmark::kMillisecond);

void BM_HelpSearchShipped(benchmark::State& state)
{
    const auto book = HelpBook::load();
    if (!book) {
        state.SkipWithError("no Help folder");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(HelpSearch::results(u"table alignment", *book));
}
BENCHMARK(BM_HelpSearchShipped)->Unit(benchmark::kMicrosecond);

void BM_HelpSearchBigBook(benchmark::State& state)
{
    const auto book = HelpBook::load(bigBook);
    if (!book) {
        state.SkipWithError("no Node.js API pages");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(HelpSearch::results(u"stream \"file descriptor\"", *book));
}
BENCHMARK(BM_HelpSearchBigBook)->Unit(benchmark::kMillisecond);

void BM_StringsTableParse(benchmark::State& state)
{
    const auto folder = DataPaths::findFolder("Localization");
    if (!folder) {
        state.SkipWithError("no Localization folder");
        return;
    }
    const U16String text = readDoc((*folder / "de.lproj" / "Localizable.strings").c_str());
    for (auto _ : state)
        benchmark::DoNotOptimize(LocalizedStrings::Table::parse(text));
}
BENCHMARK(BM_StringsTableParse)->Unit(benchmark::kMicrosecond);

} // namespace
