#include "platform/attributed/AttributedString.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

// The pattern a styler makes: a base reset, then many small overlapping adds over a large text.
void BM_ManySmallAdds(benchmark::State& state)
{
    const int length = 1 << 20;
    const int calls = int(state.range(0));
    std::mt19937 random(42);
    std::vector<velkin::Range> ranges;
    for (int i = 0; i < calls; ++i) {
        const int start = int(random() % (length - 64));
        ranges.push_back({start, 1 + int(random() % 40)});
    }
    const velkin::U16String text(length, u'x');
    for (auto _ : state) {
        velkin::AttributedString s(text);
        for (size_t i = 0; i < ranges.size(); ++i)
            s.addAttribute(i % 2 ? velkin::AttributeKey::Kern : velkin::AttributeKey::Underline,
                           i % 2 ? velkin::AttributeValue(1.0) : velkin::AttributeValue(1), ranges[i]);
        benchmark::DoNotOptimize(s.runCount());
    }
    state.SetComplexityN(calls);
}
BENCHMARK(BM_ManySmallAdds)->Arg(25000)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity();

// One keystroke in the middle of a text with many runs.
void BM_InsertInManyRuns(benchmark::State& state)
{
    velkin::AttributedString s(velkin::U16String(1 << 20, u'x'));
    for (int i = 0; i < 100000; ++i)
        s.addAttribute(velkin::AttributeKey::Kern, double(i % 3), {i * 10, 5});
    for (auto _ : state) {
        s.replaceCharacters({500000, 0}, u"y");
        s.replaceCharacters({500000, 1}, u"");
    }
}
BENCHMARK(BM_InsertInManyRuns)->Unit(benchmark::kMicrosecond);

} // namespace
