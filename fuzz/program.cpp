// Program files: the text a file gives (CR LF as LF, Ctrl-Z ends it, at most
// 1024 characters) and the memory-write commands built from it.
#include "fuzz/check.h"
#include "link/protocol.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

using nimbrel::fuzz::Shown;

namespace {

// The program file lives in memory: one memfd, rewritten per input.
std::string MemoryFile(const std::string& bytes) {
    static const int fd = ::memfd_create("fuzz.prg", 0);
    if (fd < 0 || ::ftruncate(fd, 0) != 0) std::abort();
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n <= 0) std::abort();
        done += static_cast<std::size_t>(n);
    }
    return "/proc/self/fd/" + std::to_string(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const auto base = in.ConsumeIntegral<std::uint32_t>();
    const bool fromFile = in.ConsumeBool();
    const std::string bytes = in.ConsumeRemainingBytesAsString();

    std::string text = bytes;
    if (fromFile) {
        FUZZ_CHECK(nimbrel::ReadProgramText(MemoryFile(bytes), text), "memory file");
        FUZZ_CHECK(text.size() <= static_cast<std::size_t>(nimbrel::kProgramMaxChars), Shown(text));
        FUZZ_CHECK(text.find('\x1a') == std::string::npos, Shown(text));
        FUZZ_CHECK(text.find("\r\n") == std::string::npos ||
                       bytes.find("\r\r\n") != std::string::npos,
                   Shown(text));
    }

    const nimbrel::ProgramPlan plan = nimbrel::BuildProgramCommands(text, base);
    const std::size_t counted = std::min(text.size(), std::size_t{1024});
    FUZZ_CHECK((plan.status == nimbrel::ProgramStatus::OddLength) == (counted % 2 == 1),
               Shown(text));
    if (plan.status != nimbrel::ProgramStatus::Ok) {
        FUZZ_CHECK(plan.commands.empty(), Shown(text));
        return 0;
    }
    FUZZ_CHECK(plan.commands.size() <= counted / 2, Shown(text));
    std::uint64_t address = base;
    for (const std::string& command : plan.commands) {
        FUZZ_CHECK(address <= nimbrel::kLastAddress, command);
        char head[8];
        std::snprintf(head, sizeof head, "E%04x", static_cast<unsigned>(address));
        FUZZ_CHECK(command.size() == 7 && command.compare(0, 5, head) == 0, Shown(command));
        const auto lead = static_cast<unsigned char>(command[5]);
        FUZZ_CHECK(lead > 0x29 && lead < 0x80, Shown(command));
        ++address;
    }
    return 0;
}
