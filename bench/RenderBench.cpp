// Page images and PDF of inputs whose cost once grew faster than their size:
// long styled lines without a break, code spans, tall and wide tables, and
// many shortcodes in one paragraph. Each family reports its fitted complexity.
#include "export/Export.h"
#include "export/PreviewRendererPage.h"
#include "platform/text/Utf.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string repeated(const std::string& unit, int64_t times)
{
    std::string out;
    out.reserve(unit.size() * size_t(times));
    for (int64_t i = 0; i < times; ++i)
        out += unit;
    return out;
}

std::string wideTable(int64_t columns)
{
    std::string head = "|", rule = "|", row = "|";
    for (int64_t c = 0; c < columns; ++c) {
        head += " h" + std::to_string(c) + " |";
        rule += "-|";
        row += " cell " + std::to_string(c) + " |";
    }
    return head + "\n" + rule + "\n" + row + "\n" + row + "\n";
}

fs::path scratch(const char* name)
{
    return fs::temp_directory_path() / name;
}

void renderPage(benchmark::State& state, const std::string& markdown)
{
    const velkin::U16String text = velkin::u16(markdown);
    const fs::path out = scratch("velkin-render-bench.png");
    for (auto _ : state)
        benchmark::DoNotOptimize(velkin::PreviewRenderer::renderPNG(text, out, 760, 14, std::nullopt, std::nullopt,
                                                                    std::nullopt));
    fs::remove(out);
    state.SetComplexityN(int64_t(text.size()));
}

void printPDF(benchmark::State& state, const std::string& markdown)
{
    const velkin::U16String text = velkin::u16(markdown);
    const fs::path out = scratch("velkin-render-bench.pdf");
    for (auto _ : state)
        benchmark::DoNotOptimize(velkin::Export::write(text, out, velkin::ExportFormat::pdf, {}));
    fs::remove(out);
    state.SetComplexityN(int64_t(text.size()));
}

void BM_RenderStarA(benchmark::State& state) { renderPage(state, repeated("*a", state.range(0)) + "\n"); }
BENCHMARK(BM_RenderStarA)->RangeMultiplier(2)->Range(5000, 40000)->Unit(benchmark::kMillisecond)->Complexity();

void BM_PDFStarA(benchmark::State& state) { printPDF(state, repeated("*a", state.range(0)) + "\n"); }
BENCHMARK(BM_PDFStarA)->RangeMultiplier(2)->Range(5000, 40000)->Unit(benchmark::kMillisecond)->Complexity();

void BM_RenderCodeSpans(benchmark::State& state) { renderPage(state, repeated("`a``b ", state.range(0)) + "\n"); }
BENCHMARK(BM_RenderCodeSpans)->RangeMultiplier(2)->Range(2000, 16000)->Unit(benchmark::kMillisecond)->Complexity();

void BM_RenderTableRows(benchmark::State& state) { renderPage(state, "| a | b |\n" + repeated("|-|\n", state.range(0))); }
BENCHMARK(BM_RenderTableRows)->RangeMultiplier(2)->Range(1000, 8000)->Unit(benchmark::kMillisecond)->Complexity();

// One cell of n lines parted by "<br>", and one of words wrapped to about n lines.
std::string tallCell(int64_t lines)
{
    std::string cell = "l0";
    for (int64_t i = 1; i < lines; ++i)
        cell += "<br>l" + std::to_string(i);
    return "| A | B |\n|---|---|\n| " + cell + " | b |\n";
}

void BM_RenderTallCell(benchmark::State& state) { renderPage(state, tallCell(state.range(0))); }
BENCHMARK(BM_RenderTallCell)->RangeMultiplier(4)->Range(2500, 40000)->Unit(benchmark::kMillisecond)->Complexity();

// A table of one row of `columns` cells of `lines` lines each, short ones
// ("c3x41") or ones that wrap alike in every column ("lorem ipsum ...").
std::string tallRow(int64_t columns, int64_t lines, bool wrapping)
{
    std::string head = "|", rule = "|", row = "|";
    for (int64_t c = 0; c < columns; ++c) {
        head += " h" + std::to_string(c) + " |";
        rule += "---|";
        row += " ";
        for (int64_t i = 0; i < lines; ++i) {
            row += i > 0 ? "<br>" : "";
            row += (wrapping ? std::string(1, char('a' + c % 26)) : "c" + std::to_string(c) + "x") + std::to_string(i);
            row += wrapping ? " lorem ipsum dolor sit amet consectetur" : "";
        }
        row += " |";
    }
    return "Intro\n\n" + head + "\n" + rule + "\n" + row + "\n\nAfter.\n";
}

void BM_PDFTallRowOfShortLines(benchmark::State& state) { printPDF(state, tallRow(20, state.range(0), false)); }
BENCHMARK(BM_PDFTallRowOfShortLines)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond)->Complexity();

void BM_PDFTallRowOfWrappedLines(benchmark::State& state) { printPDF(state, tallRow(2, state.range(0), true)); }
BENCHMARK(BM_PDFTallRowOfWrappedLines)->Arg(1250)->Arg(2500)->Unit(benchmark::kMillisecond)->Complexity();

void BM_RenderWrappedCell(benchmark::State& state)
{
    renderPage(state, "| A | B |\n|---|---|\n| " + repeated("alpha word word ", state.range(0) * 2) + "| b |\n");
}
BENCHMARK(BM_RenderWrappedCell)->RangeMultiplier(4)->Range(2500, 40000)->Unit(benchmark::kMillisecond)->Complexity();

void BM_RenderWideTable(benchmark::State& state) { renderPage(state, wideTable(state.range(0))); }
BENCHMARK(BM_RenderWideTable)->RangeMultiplier(2)->Range(125, 1000)->Unit(benchmark::kMillisecond)->Complexity();

void BM_PDFWideTable(benchmark::State& state) { printPDF(state, wideTable(state.range(0))); }
BENCHMARK(BM_PDFWideTable)->RangeMultiplier(2)->Range(125, 1000)->Unit(benchmark::kMillisecond)->Complexity();

void BM_RenderShortcodes(benchmark::State& state) { renderPage(state, repeated(":smile: ", state.range(0)) + "\n"); }
BENCHMARK(BM_RenderShortcodes)->Arg(1000)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->Complexity();

} // namespace
