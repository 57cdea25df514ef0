// nimbrel-sim: a simulated transmitter on a pseudo-terminal. Prints the
// device to open on its first line, then serves it, across any number of
// openings of the port, until SIGTERM or SIGINT (or --unplug-after). SIGUSR1
// writes the --dump file. --link keeps a symbolic link to the device.
#include "tools/simtransmitter.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<bool> stopRequested{false};
std::atomic<bool> dumpRequested{false};

extern "C" void OnStop(int) {
    stopRequested.store(true);
}
extern "C" void OnDump(int) {
    dumpRequested.store(true);
}

void Usage(std::FILE* to) {
    std::fputs("usage: nimbrel-sim [options]\n"
               "  --baud N              pace output and input like a line at N baud\n"
               "                        (default 9600): a program writing faster waits\n"
               "  --no-pace             answer and take bytes at once (a fast line)\n"
               "  --wake-interval MS    send 0x06 this often while asleep (default 1000)\n"
               "  --awake               start awake\n"
               "  --asleep              start asleep, sending 0x06 (the default)\n"
               "  --version TEXT        version text after VER= (default 2.10)\n"
               "  --version-answer TEXT whole version answer before the 0 byte (e.g. V2.10)\n"
               "  --long-version        version answer of more than 200 bytes\n"
               "  --exit STRING         exit string (repeat for more; default qqqqqqq,\n"
               "                        QQQQQQQ and AAAAAAA)\n"
               "  --load FILE           initial EEPROM contents (raw, up to 64 KiB)\n"
               "  --dump FILE           write the EEPROM on exit and on SIGUSR1\n"
               "  --never-wake          never send 0x06\n"
               "  --wrong-byte ADDR     reads of hex address ADDR answer a wrong byte\n"
               "  --wrong-digit ADDR    reads of hex address ADDR answer the byte with\n"
               "                        one hex digit changed (its low digit)\n"
               "  --stop-after-reads N  answer only the first N reads\n"
               "  --noise HEX           bytes sent before every 0x06 and every answer\n"
               "  --byte-gap MS         a slow transmitter: one byte out every MS ms\n"
               "  --answer-pause MS     pause MS ms before the last 7 characters of\n"
               "                        each memory answer\n"
               "  --link PATH           keep a symbolic link PATH to the device while\n"
               "                        running (an existing link is replaced)\n"
               "  --unplug-after N      hang up and end after N bytes received\n"
               "  --stop-taking-after N take no byte after N bytes received\n"
               "  --persist             accepted; the port may always be closed and opened again\n"
               "Peers that are not well-behaved transmitters:\n"
               "  --garbage             reads answer 10 random printable characters and\n"
               "                        2 random hex digits\n"
               "  --random-bytes        send random bytes without a pause; answer nothing\n"
               "  --echo                send back every byte taken, before any answer\n"
               "  --wake-always         send 0x06 every --wake-interval also while awake\n"
               "  --deaf                take nothing: never wake, only send 0x06\n",
               to);
}

// The symbolic link to the device: made under a unique name and renamed over
// `path`, so an old link is replaced at once; anything else at `path` stays.
bool MakeLink(const std::string& path, const std::string& device) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        std::fprintf(stderr, "nimbrel-sim: %s exists and is not a symbolic link\n", path.c_str());
        return false;
    }
    const std::string temp = path + ".sim" + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(device.c_str(), temp.c_str()) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "nimbrel-sim: cannot link %s: %s\n", path.c_str(),
                     std::strerror(errno));
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

// Removes the link if it still names `device` (a later simulator may own it).
void RemoveLink(const std::string& path, const std::string& device) {
    char target[4096];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
    if (n >= 0 && std::string(target, static_cast<std::size_t>(n)) == device) {
        ::unlink(path.c_str());
    }
}

} // namespace

int main(int argc, char** argv) {
    using nimbrel::sim::SimOptions;
    SimOptions options;
    options.persist = true; // a client closing the port does not end the simulator
    std::string linkPath;
    std::string loadPath;
    std::string dumpPath;
    bool exitGiven = false;

    enum {
        kBaud = 1000,
        kNoPace,
        kWake,
        kAwake,
        kVersion,
        kVersionAnswer,
        kLongVersion,
        kExit,
        kLoad,
        kDump,
        kNeverWake,
        kWrongByte,
        kWrongDigit,
        kStopAfter,
        kNoise,
        kPersist,
        kAsleep,
        kByteGap,
        kAnswerPause,
        kLink,
        kUnplugAfter,
        kStopTakingAfter,
        kGarbage,
        kRandomBytes,
        kEcho,
        kWakeAlways,
        kDeaf,
        kHelp
    };
    static const option longOptions[] = {
        {"baud", required_argument, nullptr, kBaud},
        {"no-pace", no_argument, nullptr, kNoPace},
        {"wake-interval", required_argument, nullptr, kWake},
        {"awake", no_argument, nullptr, kAwake},
        {"version", required_argument, nullptr, kVersion},
        {"version-answer", required_argument, nullptr, kVersionAnswer},
        {"long-version", no_argument, nullptr, kLongVersion},
        {"exit", required_argument, nullptr, kExit},
        {"load", required_argument, nullptr, kLoad},
        {"dump", required_argument, nullptr, kDump},
        {"never-wake", no_argument, nullptr, kNeverWake},
        {"wrong-byte", required_argument, nullptr, kWrongByte},
        {"wrong-digit", required_argument, nullptr, kWrongDigit},
        {"stop-after-reads", required_argument, nullptr, kStopAfter},
        {"noise", required_argument, nullptr, kNoise},
        {"persist", no_argument, nullptr, kPersist},
        {"asleep", no_argument, nullptr, kAsleep},
        {"byte-gap", required_argument, nullptr, kByteGap},
        {"answer-pause", required_argument, nullptr, kAnswerPause},
        {"link", required_argument, nullptr, kLink},
        {"unplug-after", required_argument, nullptr, kUnplugAfter},
        {"stop-taking-after", required_argument, nullptr, kStopTakingAfter},
        {"garbage", no_argument, nullptr, kGarbage},
        {"random-bytes", no_argument, nullptr, kRandomBytes},
        {"echo", no_argument, nullptr, kEcho},
        {"wake-always", no_argument, nullptr, kWakeAlways},
        {"deaf", no_argument, nullptr, kDeaf},
        {"help", no_argument, nullptr, kHelp},
        {nullptr, 0, nullptr, 0},
    };

    auto number = [](const char* text, long low, long high, long& out) {
        char* end = nullptr;
        out = std::strtol(text, &end, 10);
        return end != text && *end == '\0' && out >= low && out <= high;
    };
    auto address = [](const char* text, std::optional<std::uint16_t>& out) {
        char* end = nullptr;
        const unsigned long value = std::strtoul(text, &end, 16);
        if (end == text || *end != '\0' || value > 0xFFFF) return false;
        out = static_cast<std::uint16_t>(value);
        return true;
    };

    int opt;
    while ((opt = getopt_long(argc, argv, "", longOptions, nullptr)) != -1) {
        long value = 0;
        switch (opt) {
        case kBaud:
            if (!number(optarg, 50, 4'000'000, value)) {
                std::fprintf(stderr, "nimbrel-sim: bad --baud %s\n", optarg);
                return 2;
            }
            options.baud = static_cast<std::uint32_t>(value);
            break;
        case kNoPace:
            options.pace = false;
            break;
        case kWake:
            if (!number(optarg, 1, 3'600'000, value)) {
                std::fprintf(stderr, "nimbrel-sim: bad --wake-interval %s\n", optarg);
                return 2;
            }
            options.wakeIntervalMs = static_cast<std::int32_t>(value);
            break;
        case kAwake:
            options.startAwake = true;
            break;
        case kVersion:
            options.version = optarg;
            break;
        case kVersionAnswer:
            options.versionAnswer = optarg;
            break;
        case kLongVersion:
            options.longVersion = true;
            break;
        case kExit:
            if (!exitGiven) options.exitStrings.clear();
            exitGiven = true;
            options.exitStrings.emplace_back(optarg);
            break;
        case kLoad:
            loadPath = optarg;
            break;
        case kDump:
            dumpPath = optarg;
            break;
        case kNeverWake:
            options.neverWake = true;
            break;
        case kWrongByte:
            if (!address(optarg, options.wrongByteAddress)) {
                std::fprintf(stderr, "nimbrel-sim: bad --wrong-byte %s\n", optarg);
                return 2;
            }
            break;
        case kWrongDigit:
            if (!address(optarg, options.wrongDigitAddress)) {
                std::fprintf(stderr, "nimbrel-sim: bad --wrong-digit %s\n", optarg);
                return 2;
            }
            break;
        case kStopAfter:
            if (!number(optarg, 0, 1'000'000'000, value)) {
                std::fprintf(stderr, "nimbrel-sim: bad --stop-after-reads %s\n", optarg);
                return 2;
            }
            options.stopAfterReads = static_cast<std::int32_t>(value);
            break;
        case kNoise:
            if (!nimbrel::sim::ParseHexBytes(optarg, options.noise)) {
                std::fprintf(stderr, "nimbrel-sim: bad --noise %s (hex byte pairs)\n", optarg);
                return 2;
            }
            break;
        case kPersist:
            break;
        case kAsleep:
            options.startAwake = false;
            break;
        case kByteGap:
            if (!number(optarg, 1, 60'000, value)) {
                std::fprintf(stderr, "nimbrel-sim: bad --byte-gap %s\n", optarg);
                return 2;
            }
            options.byteGapMs = static_cast<std::int32_t>(value);
            break;
        case kAnswerPause:
            if (!number(optarg, 1, 60'000, value)) {
                std::fprintf(stderr, "nimbrel-sim: bad --answer-pause %s\n", optarg);
                return 2;
            }
            options.answerPauseMs = static_cast<std::int32_t>(value);
            break;
        case kLink:
            if (*optarg == '\0') {
                std::fprintf(stderr, "nimbrel-sim: --link needs a path\n");
                return 2;
            }
            linkPath = optarg;
            break;
        case kUnplugAfter:
        case kStopTakingAfter:
            if (!number(optarg, 0, 1'000'000'000'000L, value)) {
                std::fprintf(stderr, "nimbrel-sim: bad --%s %s\n",
                             opt == kUnplugAfter ? "unplug-after" : "stop-taking-after", optarg);
                return 2;
            }
            (opt == kUnplugAfter ? options.unplugAfter : options.stopTakingAfter) = value;
            break;
        case kGarbage:
            options.garbage = true;
            break;
        case kRandomBytes:
            options.randomBytes = true;
            break;
        case kEcho:
            options.echo = true;
            break;
        case kWakeAlways:
            options.wakeAlways = true;
            break;
        case kDeaf:
            options.deaf = true;
            break;
        case kHelp:
            Usage(stdout);
            return 0;
        default:
            Usage(stderr);
            return 2;
        }
    }
    if (optind < argc) {
        Usage(stderr);
        return 2;
    }

    nimbrel::sim::Transmitter transmitter(options);
    if (!loadPath.empty() && !transmitter.LoadMemory(loadPath)) {
        std::fprintf(stderr, "nimbrel-sim: cannot read %s\n", loadPath.c_str());
        return 1;
    }

    struct sigaction action {};
    action.sa_handler = OnStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    action.sa_handler = OnDump;
    sigaction(SIGUSR1, &action, nullptr);

    std::string slave;
    const int master = nimbrel::sim::OpenPseudoTerminal(slave);
    if (master < 0) {
        std::perror("nimbrel-sim: pseudo-terminal");
        return 1;
    }
    if (!linkPath.empty() && !MakeLink(linkPath, slave)) {
        ::close(master);
        return 1;
    }
    std::printf("%s\n", slave.c_str());
    std::fflush(stdout);

    const auto end = transmitter.Run(master, stopRequested, &dumpRequested, dumpPath);
    if (!linkPath.empty()) RemoveLink(linkPath, slave);
    ::close(master);
    if (!dumpPath.empty() && !transmitter.DumpMemory(dumpPath)) {
        std::fprintf(stderr, "nimbrel-sim: cannot write %s\n", dumpPath.c_str());
        return 1;
    }
    return end == nimbrel::sim::Transmitter::End::Error ? 1 : 0;
}
