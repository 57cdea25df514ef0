// A verified configuration send over a real port: the transfer engine on the
// link session's Transport, through a pseudo-terminal, to the simulated
// transmitter paced like a 9600-baud line.
#include "bench/benchsupport.h"

#include "engine/backupsend.h"
#include "engine/configtransfer.h"
#include "engine/transferengine.h"
#include "link/linksession.h"
#include "platform/settings.h"
#include "tools/simtransmitter.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace nimbrel::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kBaud = 9600;
constexpr std::int32_t kItemBytes = 4; // long items
constexpr std::uint16_t kFirstAddress = 0x0100;
// Characters on the line per verified byte: the write command, the read
// command and the 12-character answer, 10 bits each.
constexpr double kLineCharsPerByte = 7 + 7 + 12;

// The simulated transmitter, awake, serving a pseudo-terminal on its own thread.
class SimLine {
public:
    explicit SimLine(sim::SimOptions options) : sim_(std::move(options)) {
        master_ = sim::OpenPseudoTerminal(slave_);
        if (master_ >= 0) thread_ = std::thread([this] { sim_.Run(master_, stop_); });
    }
    ~SimLine() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (master_ >= 0) ::close(master_);
    }
    SimLine(const SimLine&) = delete;
    SimLine& operator=(const SimLine&) = delete;

    bool Ok() const { return master_ >= 0; }
    const std::string& Slave() const { return slave_; }
    const sim::Transmitter& Sim() const { return sim_; }

private:
    sim::Transmitter sim_;
    int master_ = -1;
    std::string slave_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// An awake simulated transmitter paced at kBaud, made the configured port
// with read-back on; null (the benchmark skipped) without a pseudo-terminal.
std::unique_ptr<SimLine> ConfiguredLine(benchmark::State& state) {
    sim::SimOptions options;
    options.baud = kBaud;
    options.startAwake = true;
    auto line = std::make_unique<SimLine>(options);
    if (!line->Ok()) {
        state.SkipWithError("no pseudo-terminal");
        return nullptr;
    }
    Settings::WriteString("COM", "port", "2");
    Settings::WriteString("COM", "device2", line->Slave());
    Settings::WriteString("COM", "baud", std::to_string(kBaud));
    Settings::WriteString("FILE TRANSFER", "ReadAfterWrite", "1");
    // Long enough that a slow answer shows in the time, not as a failure.
    Settings::WriteString("TIMING", "ResponseWaitMs", "2000");
    return line;
}

// `bytes` bytes as long items of kItemBytes, each byte's write command; the
// data depends on `round` so that every send writes new values.
std::vector<TransferEngine::SendItem> MakeItems(std::int32_t bytes, std::int32_t round) {
    std::vector<TransferEngine::SendItem> items;
    for (std::int32_t at = 0; at < bytes; at += kItemBytes) {
        TransferEngine::SendItem item;
        item.name = "Long item " + std::to_string(at / kItemBytes + 1);
        item.address = kFirstAddress + at;
        for (std::int32_t k = 0; k < kItemBytes && at + k < bytes; ++k) {
            char command[16];
            std::snprintf(command, sizeof command, "E%04X%02X",
                          static_cast<unsigned>(item.address + k),
                          static_cast<unsigned>((round * 37 + at + k) & 0xFF));
            item.commands += command;
        }
        items.push_back(std::move(item));
    }
    return items;
}

// Whether the transmitter's memory holds what MakeItems(bytes, round) wrote.
bool MemoryHolds(const sim::Transmitter& sim, std::int32_t bytes, std::int32_t round) {
    for (std::int32_t at = 0; at < bytes; ++at) {
        const auto want = static_cast<std::uint8_t>((round * 37 + at) & 0xFF);
        if (sim.Peek(static_cast<std::uint16_t>(kFirstAddress + at)) != want) return false;
    }
    return true;
}

void BM_VerifiedSend(benchmark::State& state) {
    const auto bytes = static_cast<std::int32_t>(state.range(0));
    const std::unique_ptr<SimLine> configured = ConfiguredLine(state);
    if (!configured) return;
    const SimLine& line = *configured;

    QuietUi ui;
    LinkSession session;
    if (!session.Open(ReadLinkOptions())) {
        state.SkipWithError("the pseudo-terminal could not be opened as the port");
        return;
    }
    TransferEngine engine(session.Io(), ui, ReadTransferOptions());

    std::int32_t round = 0;
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const auto items = MakeItems(bytes, ++round);
        state.ResumeTiming();
        const auto start = Clock::now();
        const Outcome outcome = engine.SendConfiguration(items);
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        if (outcome != Outcome::Done) {
            state.SkipWithError(("the send failed: " + ui.lastMessage).c_str());
            break;
        }
    }
    session.Close();
    if (state.iterations() == 0 || !MemoryHolds(line.Sim(), bytes, round)) {
        if (state.iterations() > 0) state.SkipWithError("the transmitter holds other bytes");
        return;
    }

    const double perByteMs =
        seconds * 1000.0 / (static_cast<double>(state.iterations()) * static_cast<double>(bytes));
    const double lineMs = kLineCharsPerByte * 10.0 * 1000.0 / kBaud;
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["ms_per_byte"] = perByteMs;
    state.counters["line_ms_per_byte"] = lineMs;
    state.counters["vs_line"] = perByteMs / lineMs;
    if (perByteMs < lineMs * 0.98) {
        // Faster than the line can carry: the measurement is not of a line.
        const std::string text = "faster than a " + std::to_string(kBaud) +
                                 "-baud line: " + std::to_string(perByteMs) +
                                 " ms a byte; the simulator does not pace";
        state.SkipWithError(text.c_str());
    }
}

// One send takes about 1.7 s; three make the figure.
BENCHMARK(BM_VerifiedSend)->Arg(64)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

// Resending a configuration the transmitter holds already, with a backup
// first (every byte read, none written), against a verified full send of it:
// `ratio` is the time of the first over the second (goal: at most 0.75).
void BM_BackupResendVsVerifiedSend(benchmark::State& state) {
    const std::unique_ptr<SimLine> line = ConfiguredLine(state);
    if (!line) return;

    const ItemList items = MakeConfiguration(static_cast<std::int32_t>(state.range(0)));
    const SendPlan plan = PlanSend(items);
    QuietUi ui;
    LinkSession session;
    if (plan.Refused() || !session.Open(ReadLinkOptions())) {
        state.SkipWithError("no configuration to send, or no port");
        return;
    }
    TransferEngine engine(session.Io(), ui, ReadTransferOptions());
    const std::string folder = BenchPath() + "/backups";

    double fullSeconds = 0, backupSeconds = 0;
    BackupSendResult result;
    for (auto _ : state) {
        auto start = Clock::now();
        if (engine.SendConfiguration(plan.EngineItems()) != Outcome::Done) {
            state.SkipWithError(("the send failed: " + ui.lastMessage).c_str());
            break;
        }
        fullSeconds += std::chrono::duration<double>(Clock::now() - start).count();
        start = Clock::now();
        const Outcome resent = SendWithBackup(engine, items, plan, 1, folder, result);
        backupSeconds += std::chrono::duration<double>(Clock::now() - start).count();
        if (resent != Outcome::Done || result.differed != 0) {
            state.SkipWithError(("the resend wrote or failed: " + ui.lastMessage).c_str());
            break;
        }
    }
    session.Close();
    state.counters["bytes"] = static_cast<double>(result.bytes);
    state.counters["full_ms"] = fullSeconds * 1000.0 / static_cast<double>(state.iterations());
    state.counters["backup_ms"] = backupSeconds * 1000.0 / static_cast<double>(state.iterations());
    state.counters["ratio"] = fullSeconds > 0 ? backupSeconds / fullSeconds : 0;
}

BENCHMARK(BM_BackupResendVsVerifiedSend)
    ->Arg(12)
    ->Iterations(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace nimbrel::bench
