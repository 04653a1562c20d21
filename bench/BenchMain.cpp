// Benchmarks run with a GUI application object (fonts and metrics need one), offscreen.
#include "platform/LargeAllocations.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <clocale>
#include <cstdlib>

int main(int argc, char** argv)
{
    // As the program does, so that memory figures are the program's.
    velkin::LargeAllocations::keepApart();
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
