// Programming a fleet: N units on N simulated ports at 9600 baud, each sent
// with read-back and read back whole. The simulators run as child processes,
// so the CPU figure is the program's alone.
#include "bench/benchsupport.h"
#include "fleet/fleetengine.h"
#include "tools/simtransmitter.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace nimbrel::bench {
namespace {

constexpr std::uint32_t kBaud = 9600;

// A simulated unit in a child process on its own pseudo-terminal.
class ChildSim {
public:
    ChildSim() {
        master_ = sim::OpenPseudoTerminal(slave_);
        if (master_ < 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            sim::SimOptions o;
            o.baud = kBaud;
            o.wakeIntervalMs = 50;
            o.persist = true;
            sim::Transmitter unit(o);
            static std::atomic<bool> stop{false};
            std::signal(SIGTERM, [](int) { stop = true; });
            unit.Run(master_, stop);
            ::_exit(0);
        }
    }
    ~ChildSim() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0) ::close(master_);
    }
    bool Ok() const { return master_ >= 0 && pid_ > 0; }
    const std::string& Slave() const { return slave_; }

private:
    int master_ = -1;
    pid_t pid_ = -1;
    std::string slave_;
};

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double g_oneUnitSeconds = 0; // BM_FleetSend/1, for the ratio of the others

void BM_FleetSend(benchmark::State& state) {
    const auto units = static_cast<std::size_t>(state.range(0));
    std::vector<std::unique_ptr<ChildSim>> sims;
    for (std::size_t i = 0; i < units; ++i) {
        sims.push_back(std::make_unique<ChildSim>());
        if (!sims.back()->Ok()) {
            state.SkipWithError("no simulated unit");
            return;
        }
    }
    auto items = std::make_shared<ItemList>(MakeConfiguration(12));
    items->push_back(std::make_unique<DisplayLine>(static_cast<std::int32_t>(items->size()),
                                                   "ARGOS", "0", "PTT ID number", "1", kTypePttId,
                                                   4));
    items->back()->SetMin(1);
    items->back()->SetMax(999999);
    items->back()->SetAddress(0x7F00);

    std::int32_t round = 0;
    double seconds = 0, cpu = 0;
    std::size_t verified = 0;
    for (auto _ : state) {
        state.PauseTiming();
        FleetJob job;
        job.items = items;
        std::string error;
        const std::int32_t first = 1000 + round++ * 100;
        job.ids =
            *IdsFromRange(std::to_string(first) + "-" + std::to_string(first + 99), *items, error);
        for (const auto& s : sims)
            job.ports.push_back(s->Slave());
        job.link.baud = std::to_string(kBaud);
        job.transfer.startWaitMs = 5000;
        job.awakeWaitMs = 500;
        job.logPath = BenchPath() + "/fleet-bench.jsonl";
        std::filesystem::remove(job.logPath);
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = CpuSeconds();
        const FleetSummary summary = FleetEngine(std::move(job), {}).Run();
        cpu += CpuSeconds() - cpuStart;
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        for (const UnitRecord& r : summary.records)
            verified += r.verified ? 1 : 0;
        if (summary.programmed != units) {
            state.SkipWithError("a unit was not programmed");
            return;
        }
    }
    const double perRun = seconds / static_cast<double>(state.iterations());
    if (units == 1) g_oneUnitSeconds = perRun;
    state.counters["units"] = static_cast<double>(units);
    state.counters["verified"] = static_cast<double>(verified);
    state.counters["s_per_run"] = perRun;
    if (g_oneUnitSeconds > 0) state.counters["vs_one_unit"] = perRun / g_oneUnitSeconds;
    state.counters["cpu_pct_per_port"] = 100.0 * cpu / seconds / static_cast<double>(units);
}

// One run takes about 2 s at 9600 baud; /1 must run first for the ratio.
BENCHMARK(BM_FleetSend)
    ->Arg(1)
    ->Arg(8)
    ->Iterations(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace nimbrel::bench
