// A simulated transmitter on the master side of a pseudo-terminal: asleep it
// sends 0x06 until it receives "A"; awake it keeps 64 KiB of EEPROM and takes
// 7-character commands (E aaaa dd writes, R aaaa xx reads, TTTTTTT asks for
// the version, the exit string puts it back to sleep). Options inject the
// faults a real line shows. Used by nimbrel-sim and, in-process, by tests.
//
// Deliberately independent of the program's own link code, so that a fault
// there cannot cancel out against the same fault here.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace nimbrel::sim {

struct SimOptions {
    std::int32_t wakeIntervalMs = 1000;       // 0x06 while asleep, this often
    std::string version = "2.10";             // answers "VER=" + version + 0 byte
    std::optional<std::string> versionAnswer; // whole answer before the 0 byte
    bool longVersion = false;                 // an answer of more than 200 bytes
    std::vector<std::string> exitStrings = {"qqqqqqq", "QQQQQQQ", "AAAAAAA"};
    std::uint32_t baud = 9600; // line rate, 10 bits per byte
    bool pace = true;          // output paced and input taken at the line rate; false: a fast line
    bool startAwake = false;
    bool neverWake = false;                         // never sends 0x06
    std::optional<std::uint16_t> wrongByteAddress;  // reads there answer a wrong byte
    std::optional<std::uint16_t> wrongDigitAddress; // reads there answer one digit changed
    std::int32_t stopAfterReads = -1;               // answers only this many reads (< 0: all)
    std::string noise;                              // sent before every 0x06 and every answer
    bool persist = false;                           // keep running when the other side closes
    std::int32_t byteGapMs = 0; // > 0: output one byte this often (a slow transmitter)
    std::int32_t answerPauseMs = 0; // > 0: a pause before the last 7 characters of each memory answer

    // Peers that are not well-behaved transmitters.
    bool garbage = false;              // reads answer 10 random printable characters, 2 hex digits
    bool randomBytes = false;          // sends random bytes without a pause, answers nothing
    bool echo = false;                 // awake, sends back each byte it takes before any answer
    bool wakeAlways = false;           // sends 0x06 every wakeIntervalMs also while awake
    bool deaf = false;                 // takes nothing: never wakes, only sends 0x06
    std::int64_t unplugAfter = -1;     // >= 0: hangs up after this many bytes received
    std::int64_t stopTakingAfter = -1; // >= 0: takes no byte after this many
};

// Answers false for texts that are not a whole number of hex byte pairs.
bool ParseHexBytes(const std::string& text, std::string& bytes);

// Creates a pseudo-terminal in raw mode. Answers the master descriptor
// (non-blocking, close-on-exec) and sets the slave path, or answers -1.
int OpenPseudoTerminal(std::string& slavePath);

class Transmitter {
public:
    static constexpr std::int32_t kMemorySize = 65536;

    explicit Transmitter(SimOptions options);

    bool LoadMemory(const std::string& path);
    bool DumpMemory(const std::string& path) const;

    enum class End { Stopped, PeerClosed, Unplugged, Error };
    // Serves the pseudo-terminal master until `stop` is set, (unless
    // persisting) the other side closes the slave, or unplugAfter bytes came. While `dumpRequest`
    // is set, the memory is written to `dumpPath` and the request cleared.
    End Run(int masterFd, const std::atomic<bool>& stop, std::atomic<bool>* dumpRequest = nullptr,
            const std::string& dumpPath = {});

    // Inspection, safe from any thread.
    std::uint8_t Peek(std::uint16_t address) const;
    void Poke(std::uint16_t address, std::uint8_t value);
    bool Awake() const;
    std::vector<std::string> Commands() const; // commands carried out, in order
    std::string Received() const;              // every byte received

private:
    bool memoryAnswer_ = false; // the last Respond answered a memory read
    void Take(int fd, char c);
    std::string Respond(char c);
    bool IsCommandStart(char c) const;
    void Send(int fd, const std::string& bytes);
    std::int64_t NowMs() const;
    std::int64_t NowUs() const;
    std::int64_t ByteUs() const; // one byte on the line, 10 bits at the baud rate
    char RandomByte();

    SimOptions options_;
    mutable std::mutex mutex_;
    std::vector<std::uint8_t> memory_;
    bool awake_ = false;
    std::string pending_;
    std::vector<std::string> commands_;
    std::string received_;
    std::int32_t reads_ = 0;
    std::uint32_t random_; // state of the random bytes (xorshift)
    std::int64_t nextWakeMs_ = 0;
    std::int64_t nextInUs_ = 0; // paced input: when the next byte has crossed the line
    bool lineIdle_ = true;      // paced input: the last read emptied the line
};

} // namespace nimbrel::sim
