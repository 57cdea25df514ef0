// Opening a configuration in the configuration window, offscreen: construct,
// show, set up and paint once, as the MDI client opens a file.
#include "bench/benchsupport.h"

#include "app/mdiclient.h"
#include "configwin/memorymappanel.h"
#include "configwin/nimbrelwindow.h"

#include <QCoreApplication>
#include <QEvent>

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <map>
#include <memory>

namespace nimbrel::bench {
namespace {

// Counts the paint events of the watched widget.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return QObject::eventFilter(watched, event);
    }
};

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// CPU time of the calling thread: unlike wall time, untouched by other
// processes sharing the machine.
double ThreadCpuMs() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

void FlushEvents() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

struct Baseline {
    bool peakReset = false;
    double rssMb = 0; // resident memory before the first window
};

// Destruction runs outside the timed region.
void BM_OpenConfiguration(benchmark::State& state) {
    const auto count = static_cast<std::int32_t>(state.range(0));
    const std::string path = ConfigurationFile(count);
    if (path.empty()) {
        state.SkipWithError("the configuration file could not be written");
        return;
    }

    TNimbrelMDIClient client;
    FlushEvents();
    // The peak restarts before the first window of this size; the runner calls
    // this function again for each trial, and the peak covers all of them.
    static std::map<std::int32_t, Baseline> baselines;
    auto [at, first] = baselines.try_emplace(count);
    if (first) {
        at->second.peakReset = ResetPeakRss();
        at->second.rssMb = CurrentRssMb();
    }
    const Baseline baseline = at->second;
    std::int32_t items = 0;
    int paints = 0;
    double constructMs = 0;
    double setupMs = 0;
    double paintMs = 0;
    double destroyMs = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        auto window = std::make_unique<TNimbrelWindow>(nullptr, &client, path);
        PaintCounter counter;
        window->ClientArea()->installEventFilter(&counter);
        window->resize(800, 600);
        window->show();
        const auto t1 = Clock::now();
        window->SetupWindow();
        const auto t2 = Clock::now();
        window->repaint();
        QCoreApplication::processEvents();
        const auto t3 = Clock::now();

        state.PauseTiming();
        items = window->ItemCount();
        paints = counter.paints;
        constructMs += Ms(t1 - t0);
        setupMs += Ms(t2 - t1);
        paintMs += Ms(t3 - t2);
        const auto t4 = Clock::now();
        window.reset();
        FlushEvents();
        destroyMs += Ms(Clock::now() - t4);
        state.ResumeTiming();
        if (items != count) {
            state.SkipWithError("the window did not hold every item of the file");
            break;
        }
        if (paints == 0) {
            state.SkipWithError("the configuration window was not painted");
            break;
        }
    }
    state.counters["items"] = static_cast<double>(items);
    // Where the time goes: construction and show, SetupWindow, the first paint;
    // and the untimed destruction.
    state.counters["construct_ms"] =
        benchmark::Counter(constructMs, benchmark::Counter::kAvgIterations);
    state.counters["setup_ms"] = benchmark::Counter(setupMs, benchmark::Counter::kAvgIterations);
    state.counters["paint_ms"] = benchmark::Counter(paintMs, benchmark::Counter::kAvgIterations);
    state.counters["destroy_ms"] =
        benchmark::Counter(destroyMs, benchmark::Counter::kAvgIterations);
    // Peak resident memory since the first window of this size when the kernel
    // can restart the peak (peak_reset=1), else of the whole process so far.
    state.counters["peak_rss_mb"] = PeakRssMb();
    state.counters["base_rss_mb"] = baseline.rssMb;
    state.counters["peak_reset"] = baseline.peakReset ? 1 : 0;
}

BENCHMARK(BM_OpenConfiguration)->Arg(640)->Arg(65536)->UseRealTime()->Unit(benchmark::kMillisecond);

// Opening the configuration with the memory map panel shown beside the window
// (the map built and painted), against opening it with the panel hidden; each
// iteration does both. Goal: shown_over_hidden (of the UI thread's CPU time)
// <= 1.2.
void BM_OpenWithMemoryMap(benchmark::State& state) {
    const auto count = static_cast<std::int32_t>(state.range(0));
    const std::string path = ConfigurationFile(count);
    if (path.empty()) {
        state.SkipWithError("the configuration file could not be written");
        return;
    }
    TNimbrelMDIClient client;
    // The panel as the frame holds it: a child that is shown or hidden.
    QWidget dock;
    dock.resize(400, 600);
    auto* map = new MemoryMapView(&dock);
    map->resize(400, 600);
    PaintCounter counter;
    map->installEventFilter(&counter);
    dock.show();
    FlushEvents();
    double ms[2] = {0, 0};    // wall time: hidden, shown
    double cpuMs[2] = {0, 0}; // the thread's CPU time: hidden, shown
    double buildMs = 0;
    double paintMs = 0;
    std::size_t ranges = 0;
    int bars = 0;
    int paints = 0;
    for (auto _ : state) {
        for (const bool shown : {false, true}) {
            map->setVisible(shown);
            counter.paints = 0;
            const double cpu0 = ThreadCpuMs();
            const auto t0 = Clock::now();
            auto window = std::make_unique<TNimbrelWindow>(nullptr, &client, path);
            map->SetWindow(window.get());
            window->resize(800, 600);
            window->show();
            window->SetupWindow();
            window->repaint();
            QCoreApplication::processEvents(); // the map is built and painted here
            const auto t1 = Clock::now();
            const double cpu1 = ThreadCpuMs();

            state.PauseTiming();
            ms[shown ? 1 : 0] += Ms(t1 - t0);
            cpuMs[shown ? 1 : 0] += cpu1 - cpu0;
            if (shown) {
                paints = counter.paints;
                // Where the panel's time goes: building the map, painting it.
                const auto t2 = Clock::now();
                map->Rebuild();
                const auto t3 = Clock::now();
                map->repaint();
                const auto t4 = Clock::now();
                buildMs += Ms(t3 - t2);
                paintMs += Ms(t4 - t3);
                ranges = map->Map().Ranges().size();
                bars = map->BarsDrawn();
            }
            map->SetWindow(nullptr);
            window.reset();
            FlushEvents();
            state.ResumeTiming();
        }
        if (ranges == 0 || bars == 0 || paints == 0) {
            state.SkipWithError("the memory map was not built and drawn");
            break;
        }
    }
    state.counters["hidden_ms"] = benchmark::Counter(ms[0], benchmark::Counter::kAvgIterations);
    state.counters["shown_ms"] = benchmark::Counter(ms[1], benchmark::Counter::kAvgIterations);
    state.counters["hidden_cpu_ms"] =
        benchmark::Counter(cpuMs[0], benchmark::Counter::kAvgIterations);
    state.counters["shown_cpu_ms"] =
        benchmark::Counter(cpuMs[1], benchmark::Counter::kAvgIterations);
    // The goal's ratio, of CPU time; wall time says the same on a quiet machine.
    state.counters["shown_over_hidden"] = cpuMs[0] > 0 ? cpuMs[1] / cpuMs[0] : 0;
    state.counters["wall_shown_over_hidden"] = ms[0] > 0 ? ms[1] / ms[0] : 0;
    state.counters["map_build_ms"] =
        benchmark::Counter(buildMs, benchmark::Counter::kAvgIterations);
    state.counters["map_paint_ms"] =
        benchmark::Counter(paintMs, benchmark::Counter::kAvgIterations);
    state.counters["ranges"] = static_cast<double>(ranges);
    state.counters["bars_drawn"] = bars;
}

BENCHMARK(BM_OpenWithMemoryMap)
    ->Arg(65536)
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace nimbrel::bench
