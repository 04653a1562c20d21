// Rule-driven highlighting speed on about 1 MB of real source per language.
// Throughput is reported in bytes of the UTF-16 text (code units x 2); the
// UTF-8 size of the same sources is given as a counter.
#include "highlight/CodeHighlighter.h"
#include "platform/text/Utf.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr size_t TargetBytes = 1 << 20;

// Files under the folders whose names end in `extension`, in name order,
// concatenated until about 1 MB of UTF-8 is read.
std::string collect(const std::vector<std::string>& folders, const std::string& extension, bool recursive)
{
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& folder : folders) {
        if (!fs::is_directory(folder, error))
            continue;
        auto consider = [&](const fs::directory_entry& entry) {
            if (entry.is_regular_file(error) && entry.path().extension() == extension)
                files.push_back(entry.path());
        };
        if (recursive) {
            for (const auto& entry : fs::recursive_directory_iterator(folder, fs::directory_options::skip_permission_denied, error))
                consider(entry);
        } else {
            for (const auto& entry : fs::directory_iterator(folder, error))
                consider(entry);
        }
    }
    std::sort(files.begin(), files.end());
    std::string text;
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        text += s.str();
        text += '\n';
        if (text.size() >= TargetBytes)
            break;
    }
    return text.substr(0, std::min(text.size(), TargetBytes));
}

void highlight(benchmark::State& state, const std::string& utf8, const char16_t* language)
{
    if (utf8.empty()) {
        state.SkipWithError("no sources found on this machine");
        return;
    }
    const velkin::U16String text = velkin::u16(utf8);
    const auto* rules = velkin::CodeHighlighter::rules(language);
    size_t tokens = 0;
    for (auto _ : state) {
        const auto list = velkin::CodeHighlighter::tokens(text, *rules);
        tokens = list.size();
        benchmark::DoNotOptimize(list.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * 2));
    state.counters["tokens/s"] = benchmark::Counter(double(tokens) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["utf8 MB/s"] = benchmark::Counter(double(utf8.size()) * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

void BM_HighlightC(benchmark::State& state)
{
    static const std::string source = collect({"/usr/include"}, ".h", false);
    highlight(state, source, u"c");
}
BENCHMARK(BM_HighlightC)->Unit(benchmark::kMillisecond);

void BM_HighlightJavaScript(benchmark::State& state)
{
    static const std::string source = collect({"/usr/share/nodejs", "/usr/lib/node_modules"}, ".js", true);
    highlight(state, source, u"javascript");
}
BENCHMARK(BM_HighlightJavaScript)->Unit(benchmark::kMillisecond);

void BM_HighlightPython(benchmark::State& state)
{
    std::vector<std::string> folders;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/usr/lib", error))
        if (entry.path().filename().string().rfind("python3", 0) == 0)
            folders.push_back(entry.path().string());
    std::sort(folders.begin(), folders.end());
    static const std::string source = collect(folders, ".py", false);
    highlight(state, source, u"python");
}
BENCHMARK(BM_HighlightPython)->Unit(benchmark::kMillisecond);

// The whole entry, language word included, as the Markdown scanner calls it per block.
void BM_HighlightEntrySmallBlocks(benchmark::State& state)
{
    const velkin::U16String block = u"let total = items.reduce(0) { $0 + $1.price } // sum\n";
    for (auto _ : state)
        benchmark::DoNotOptimize(velkin::CodeHighlighter::tokens(block, u"Swift"));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(block.size() * 2));
}
BENCHMARK(BM_HighlightEntrySmallBlocks);

} // namespace
