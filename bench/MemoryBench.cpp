// Resident memory of a real document window on 1, 4 and 16 MB of Markdown:
// the peak while it opens, styles and lays out, what it keeps once settled
// (absolute, above an empty window's, and per byte of text), what typing
// adds beyond the characters typed, and what stays after typing at both ends
// of the text and after saving it.
#include <benchmark/benchmark.h>

#include "OpenWindow.h"

#include <malloc.h>

#include <QTemporaryDir>

#include <fstream>
#include <string>

namespace {

using namespace velkin;
using bench::OpenWindow;

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM").
double statusBytes(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field + ":", 0) == 0)
            return std::stod(line.substr(field.size() + 1)) * 1024;
    return 0;
}

// Starts a new peak from the present resident memory.
void resetPeak()
{
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
}

double megabytes(double bytes) { return bytes / 1e6; }

// Settled: the idle work done and a few turns of the event loop later.
double settledBytes()
{
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents();
    return statusBytes("VmRSS");
}

double emptyWindowBytes()
{
    static const double bytes = [] {
        resetPeak();
        OpenWindow empty(U16String{});
        return statusBytes("VmRSS");
    }();
    return bytes;
}

void windowMemory(benchmark::State& state, U16String text)
{
    const double empty = emptyWindowBytes();
    const double utf8 = double(u8(text).size());
    for (auto _ : state) {
        resetPeak();
        OpenWindow open(std::move(text));
        const double settled = settledBytes();
        state.counters["peakMB"] = megabytes(statusBytes("VmHWM"));
        state.counters["settledMB"] = megabytes(settled);
        state.counters["aboveEmptyMB"] = megabytes(settled - empty);
        state.counters["perByte"] = settled / utf8;
        // Typing: the first key (which starts what editing keeps), then 500 characters
        // in one place and as many other keys; the heap in use is counted, not what
        // the allocator keeps in hand.
        open.press(Qt::Key_X, QStringLiteral("x"));
        state.counters["firstKeyMB"] = megabytes(statusBytes("VmRSS") - settled);
        const size_t heapBefore = mallinfo2().uordblks;
        const double typedFrom = statusBytes("VmRSS");
        constexpr int keys = 500;
        for (int i = 0; i < keys; ++i)
            open.press(Qt::Key_X, QStringLiteral("x"));
        for (int i = 0; i < keys; ++i)
            open.press(i % 2 ? Qt::Key_Backspace : Qt::Key_Y, i % 2 ? QString() : QStringLiteral("y"));
        state.counters["typedKBPerKey"] = (statusBytes("VmRSS") - typedFrom) / 1024 / (2 * keys);
        state.counters["heapKBPerKey"] = (double(mallinfo2().uordblks) - double(heapBefore)) / 1024 / (2 * keys);
        // Typing at both ends, where every edit reaches the text's first or last
        // character, then a save, as an hour of editing goes.
        constexpr int endKeys = 300;
        open.view->setSelectedRange({0, 0});
        for (int i = 0; i < endKeys; ++i)
            open.press(Qt::Key_A, QStringLiteral("a"));
        open.view->setSelectedRange({open.view->textStorage()->length(), 0});
        for (int i = 0; i < endKeys; ++i)
            open.press(Qt::Key_Z, QStringLiteral("z"));
        state.counters["bothEndsMB"] = megabytes(settledBytes());
        QTemporaryDir folder;
        if (!open.window->writeTo((folder.path() + QStringLiteral("/saved.md")).toStdString()))
            state.SkipWithError("the document could not be saved");
        state.counters["savedMB"] = megabytes(settledBytes());
        state.counters["endsPeakMB"] = megabytes(statusBytes("VmHWM"));
    }
    state.counters["emptyMB"] = megabytes(empty);
}

void BM_WindowMemory1MB(benchmark::State& state) { windowMemory(state, bench::document(900'000)); }
BENCHMARK(BM_WindowMemory1MB)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_WindowMemory4MB(benchmark::State& state) { windowMemory(state, bench::document(4'000'000)); }
BENCHMARK(BM_WindowMemory4MB)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_WindowMemory16MB(benchmark::State& state) { windowMemory(state, bench::document(16'000'000)); }
BENCHMARK(BM_WindowMemory16MB)->Unit(benchmark::kMillisecond)->Iterations(1);

// Every changelog of the folder in turn: more tables, link lists and old
// release notes per byte than the four largest alone.
void BM_WindowMemory16MBAllChangelogs(benchmark::State& state)
{
    std::string text = bench::allChangelogs(16'000'000);
    if (text.empty())
        state.SkipWithError("the changelogs are not installed");
    else
        windowMemory(state, u16(text));
}
BENCHMARK(BM_WindowMemory16MBAllChangelogs)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
