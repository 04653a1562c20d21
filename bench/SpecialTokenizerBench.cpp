// Speed of the special tokenizers on real text of 1 MB and 2 MB (growth must be linear).
#include "highlight/SpecialTokenizers.h"
#include "platform/text/Utf.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace velkin;

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// UTF-8 text of exactly `bytes` bytes (cut at a line end when one is near),
// made of `sources` in turn, repeated when they hold less.
std::string fill(const std::vector<std::string>& sources, size_t bytes)
{
    std::string out;
    bool any = false;
    for (const auto& s : sources)
        any = any || !s.empty();
    if (!any)
        return out;
    while (out.size() < bytes)
        for (const auto& s : sources) {
            out += s;
            if (!s.empty() && s.back() != '\n')
                out += '\n';
            if (out.size() >= bytes)
                break;
        }
    out.resize(bytes);
    const size_t lastLine = out.rfind('\n');
    if (lastLine != std::string::npos && lastLine + 4096 > bytes)
        out.resize(lastLine + 1);
    return out;
}

std::vector<std::string> filesUnder(const std::vector<fs::path>& roots, const std::function<bool(const fs::path&)>& take)
{
    std::vector<fs::path> paths;
    for (const auto& root : roots) {
        std::error_code ec;
        for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
             it != end; it.increment(ec)) {
            if (ec)
                break;
            if (it->is_regular_file(ec) && take(it->path()))
                paths.push_back(it->path());
        }
    }
    std::sort(paths.begin(), paths.end());
    std::vector<std::string> out;
    for (const auto& p : paths)
        out.push_back(readFile(p));
    return out;
}

bool hasExtension(const fs::path& p, std::initializer_list<const char*> extensions)
{
    for (const char* e : extensions)
        if (p.extension() == e)
            return true;
    return false;
}

std::vector<std::string> sourcesOf(const std::string& corpus)
{
    if (corpus == "html")
        return filesUnder({"/usr/share/doc/nodejs/api"}, [](const fs::path& p) {
            return p.parent_path() == "/usr/share/doc/nodejs/api" && hasExtension(p, {".html"});
        });
    if (corpus == "css")
        return filesUnder({"/usr/share"}, [](const fs::path& p) { return hasExtension(p, {".css"}); });
    if (corpus == "json")
        return filesUnder({"/usr/share"}, [](const fs::path& p) { return hasExtension(p, {".json"}); });
    if (corpus == "yaml")
        return filesUnder({"/usr/share", "/usr/lib"}, [](const fs::path& p) { return hasExtension(p, {".yml", ".yaml"}); });
    if (corpus == "shell")
        return filesUnder({"/usr/bin"}, [](const fs::path& p) {
            std::ifstream in(p, std::ios::binary);
            char head[16] = {};
            in.read(head, sizeof head);
            const std::string s(head, size_t(in.gcount()));
            return s.rfind("#!/bin/sh", 0) == 0 || s.rfind("#!/bin/bash", 0) == 0
                || s.rfind("#!/usr/bin/env sh", 0) == 0 || s.rfind("#!/usr/bin/env bash", 0) == 0;
        });
    if (corpus == "diff") {
        std::string out;
        const std::string command = std::string("git -C '") + VELKIN_SOURCE_ROOT + "' log -p 2>/dev/null";
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char buffer[65536];
            size_t n;
            while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
                out.append(buffer, n);
            pclose(pipe);
        }
        return {out};
    }
    return {};
}

// The corpus at `megabytes` MB, built once per size.
const std::string& corpus(const std::string& name, int megabytes)
{
    static std::map<std::pair<std::string, int>, std::string> cache;
    static std::map<std::string, std::vector<std::string>> sources;
    auto key = std::make_pair(name, megabytes);
    auto it = cache.find(key);
    if (it != cache.end())
        return it->second;
    if (!sources.count(name))
        sources[name] = sourcesOf(name);
    return cache[key] = fill(sources[name], size_t(megabytes) << 20);
}

void runTokenizer(benchmark::State& state, const std::string& name, const std::string& utf8,
                  const std::function<CodeTokens(U16View)>& tokenize)
{
    if (utf8.empty()) {
        state.SkipWithError(("no " + name + " text on this machine").c_str());
        return;
    }
    const U16String text = u16(utf8);
    size_t tokens = 0;
    for (auto _ : state) {
        const CodeTokens result = tokenize(text);
        tokens = result.size();
        benchmark::DoNotOptimize(result.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(utf8.size()));
    state.counters["tokens"] = double(tokens);
    state.counters["tokens/s"] = benchmark::Counter(double(tokens) * double(state.iterations()),
                                                    benchmark::Counter::kIsRate);
}

void BM_Special(benchmark::State& state, const std::string& name, const std::string& language)
{
    const U16String canonical = u16(language);
    runTokenizer(state, name, corpus(name, int(state.range(0))),
                 [&](U16View t) { return *CodeHighlighter::specialTokens(t, canonical); });
}

// Hostile text: constructs that open and never close, repeated.
void BM_Unclosed(benchmark::State& state, const std::string& unit, const std::string& language)
{
    std::string text;
    const size_t bytes = size_t(state.range(0)) << 20;
    while (text.size() < bytes)
        text += unit;
    const U16String canonical = u16(language);
    runTokenizer(state, language, text, [&](U16View t) { return *CodeHighlighter::specialTokens(t, canonical); });
}

} // namespace

BENCHMARK_CAPTURE(BM_Special, html, std::string("html"), std::string("html"))->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Special, css, std::string("css"), std::string("css"))->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Special, json, std::string("json"), std::string("json"))->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Special, yaml, std::string("yaml"), std::string("yaml"))->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Special, shell, std::string("shell"), std::string("shell"))->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Special, diff, std::string("diff"), std::string("diff"))->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(BM_Unclosed, htmlScripts, std::string("<script>x<style>y "), std::string("html"))->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Unclosed, shellStrings, std::string("echo \"$(x ${y\" ; "), std::string("shell"))->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Unclosed, logBrackets, std::string("[[[[ ERROR x "), std::string("log"))->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
