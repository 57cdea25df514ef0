// A flood of received bytes in the terminal window, offscreen: 1 MiB of
// random bytes written into a pseudo-terminal as fast as it takes them while
// the event loop runs. A 1 ms timer on the user interface thread measures
// the longest stall of the event loop (the largest gap between two of its
// ticks); the display updates and the flood's duration are counted too.
#include "bench/benchsupport.h"

#include "link/linksession.h"
#include "terminal/termwin.h"
#include "platform/settings.h"
#include "tools/simtransmitter.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace nimbrel::bench {
namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Writes all of `bytes` into the pseudo-terminal's master side as fast as it
// takes them.
void Flood(int master, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{master, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else {
            return;
        }
    }
}

void BM_TerminalFlood(benchmark::State& state) {
    std::string bytes(static_cast<std::size_t>(state.range(0)), '\0');
    std::mt19937 random(16);
    for (char& b : bytes)
        b = static_cast<char>(random() & 0xFF);

    double worstStallMs = 0;
    double updates = 0;
    double floodMs = 0;
    for (auto _ : state) {
        std::string slave;
        const int master = sim::OpenPseudoTerminal(slave);
        if (master < 0) {
            state.SkipWithError("no pseudo-terminal");
            break;
        }
        Settings::WriteString("COM", "port", "1");
        Settings::WriteString("COM", "device1", slave);
        auto term = std::make_unique<TermWin>(nullptr, nullptr, "Terminal");
        term->resize(800, 600);
        term->show();
        term->SetupWindow();
        if (!term->Link().IsOpen()) {
            ::close(master);
            state.SkipWithError("the terminal did not open its port");
            break;
        }
        QCoreApplication::processEvents();

        int changes = 0;
        auto lastChange = Clock::now();
        QObject::connect(term->Display(), &QPlainTextEdit::textChanged, [&] {
            ++changes;
            lastChange = Clock::now();
        });
        std::atomic<bool> written{false};
        const auto start = Clock::now();
        std::thread writer([&] {
            Flood(master, bytes);
            written = true;
        });

        // Ticks every millisecond; ends 300 ms after the display last changed
        // once everything was written.
        QEventLoop loop;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        tick.setInterval(1);
        auto lastTick = Clock::now();
        double stallMs = 0;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const auto now = Clock::now();
            stallMs = std::max(stallMs, Ms(now - lastTick));
            lastTick = now;
            if (written && now - lastChange > std::chrono::milliseconds(300)) loop.quit();
        });
        tick.start();
        loop.exec();
        writer.join();

        state.PauseTiming();
        worstStallMs = std::max(worstStallMs, stallMs);
        updates += changes;
        floodMs += Ms(lastChange - start);
        term.reset();
        ::close(master);
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    // The longest the event loop stood still in any run, the display updates
    // and the time from the first byte written to the last display update.
    state.counters["max_stall_ms"] = worstStallMs;
    state.counters["updates"] = benchmark::Counter(updates, benchmark::Counter::kAvgIterations);
    state.counters["flood_ms"] = benchmark::Counter(floodMs, benchmark::Counter::kAvgIterations);
    state.counters["peak_rss_mb"] = PeakRssMb();
}

BENCHMARK(BM_TerminalFlood)
    ->Arg(1 << 20)
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace nimbrel::bench
