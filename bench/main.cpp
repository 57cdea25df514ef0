// nimbrel-bench: Google Benchmark runner. The window benchmarks need a
// QApplication; it runs offscreen unless QT_QPA_PLATFORM says otherwise.
#include "bench/benchsupport.h"

#include <benchmark/benchmark.h>

#ifdef NIMBREL_BENCH_GUI
#include <QApplication>
#endif

#include <cstdlib>

int main(int argc, char** argv) {
#ifdef NIMBREL_BENCH_GUI
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
#endif
    nimbrel::bench::QuietUi ui;
#ifdef NIMBREL_BENCH_GUI
    ui.serve = [](int ms) { QCoreApplication::processEvents(QEventLoop::AllEvents, ms); };
#endif
    nimbrel::ScopedUi scope(ui);
    nimbrel::bench::BenchFolder folder;
    nimbrel::bench::SetBenchPath(folder.Path());

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
