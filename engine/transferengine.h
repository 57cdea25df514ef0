// The transfer engine: every exchange with the transmitter (the start
// handshake, stop, the version query, sending and reading a configuration,
// program downloads, memory reads, raw sends) in one place, without a screen.
// It talks to the port only through LinkIo and to the user only through the
// Ui it is given, and takes its waits and switches from its TransferOptions
// (it never reads the settings file). It reports progress through a callback
// and checks a cancel flag between steps and while it waits. The windows and the command-line
// program run the same engine.
//
// Threads: one engine runs one transfer on one thread. The windows run it on a
// worker thread (their Ui then hands each question to the UI thread); the
// command-line program runs it on its main thread. Engines share nothing:
// several run side by side, each on its own link.
#pragma once

#include "link/linkio.h"
#include "platform/options.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace nimbrel {

class Ui;

// What the caller shows when Start is answered (empty caption, no icon).
inline constexpr const char* kStartedText = "Communications started";
// The caption of every message about the link or a transfer that failed.
inline constexpr const char* kCommsCaption = "Communications error";

// How a transfer ended. Every outcome but Done has been reported to the user.
enum class Outcome {
    Done,
    NoAnswer,  // the transmitter did not answer in time
    Invalid,   // what the transmitter sent was not an answer (a read, the version)
    Mismatch,  // a written byte was not read back as written
    PortLost,  // the port went away, or took no data for the stall time
    Cancelled, // the user cancelled
    Refused,   // nothing was sent: the data cannot be sent as it is
};

// Where a transfer stands: step k of n (items, commands or bytes, as `what`
// says), bytes moved, time spent and, where known, time left.
struct Progress {
    std::string what; // "Sending item 3 of 8", "Waiting for the transmitter", ...
    std::int32_t step = 0;
    std::int32_t steps = 0;
    std::int64_t bytes = 0;
    std::int64_t totalBytes = 0;
    std::int32_t elapsedMs = 0;
    std::int32_t leftMs = -1; // -1: not known
};

class TransferEngine {
public:
    using ProgressFn = std::function<void(const Progress&)>;

    // `cancel` may be null (not cancellable); `progress` may be empty.
    TransferEngine(LinkIo& io, Ui& ui, TransferOptions options, const CancelFlag* cancel = nullptr,
                   ProgressFn progress = {});

    const TransferOptions& Options() const { return options_; }

    // Whether the transmitter's user interface has been entered (Start was
    // answered). A transfer that is cancelled mid-way then sends the exit
    // string, so the transmitter is left in a known state, says so in its
    // message and clears this (a port that went away or stalled gets no exit
    // string). A verification or read failure leaves the transmitter in its
    // user interface, so the user can try again at once. Start sets it, Stop
    // clears it.
    void SetEntered(bool entered) { entered_ = entered; }
    bool Entered() const { return entered_; }

    // Start handshake: discards what was received, waits up to `waitMs` for
    // the byte 0x06 and answers it with "A", then lets the line settle (no
    // byte for settleMs, at most 20 times that) and discards what came
    // meanwhile. Reports progress with the time left at least every 100 ms.
    // NoAnswer after "No communication from PTT". Done shows nothing: the
    // caller records the start and shows kStartedText.
    Outcome Start(std::int32_t waitMs);

    // Start, or a transmitter found awake: one that sends no wake-up byte
    // within `awakeWaitMs` but answers the version query in form is in its
    // user interface already (`foundAwake` becomes true, `version` gets the
    // answer). Otherwise Start waits out the rest of `waitMs`. What the probe
    // says is shown only when it ends the start (the port went away, a cancel).
    Outcome WakeUp(std::int32_t waitMs, std::int32_t awakeWaitMs, bool* foundAwake = nullptr,
                   std::string* version = nullptr);

    // Sends the options' exit string and waits until it is on the line. Not
    // cancellable.
    Outcome Stop();

    // "TTTTTTT", then the answer up to its 0 byte (at most 199 characters
    // kept): the version text in a "Software version" message (also into
    // `version`), or the texts for no answer (NoAnswer) and an invalid one
    // (Invalid).
    Outcome QueryVersion(std::string* version = nullptr);

    // One item of a configuration send: its memory-write commands (encoded
    // before the transfer, upper case) and what names it in messages.
    struct SendItem {
        std::string name;
        std::int32_t address = 0;
        std::string commands;
    };
    // Sends each item's commands, reading every written byte back when the
    // options ask for it (readAfterWrite); a read-back is taken as memory
    // reads are (ReadConfiguration). Stops at the first item the transmitter
    // did not take, after the "Sent    got   " message (Mismatch, or NoAnswer
    // when nothing came back). An item is sent whole: a cancel takes effect
    // between items. Ends once everything is on the line.
    Outcome SendConfiguration(const std::vector<SendItem>& items);
    // The same with every written byte read back, or none, as `verify` says.
    Outcome SendConfiguration(const std::vector<SendItem>& items, bool verify);

    // One item of a configuration read.
    struct ReadItem {
        std::string name;
        std::int32_t address = 0;
        std::int32_t size = 0;
        std::int32_t type = 0;
        bool hex = false;
    };
    // Called after each item is read with its new value text (PttValueText);
    // not called for items whose type a read leaves unchanged, nor for items
    // without bytes.
    using ApplyFn = std::function<void(std::size_t index, const std::string& value)>;
    // Reads every item byte by byte and hands each new value to `apply`;
    // "Ptt ID invalid" for an ID word that fails both check-bit tests. An
    // item whose size or addresses cannot be read is named in a message and
    // skipped. Done also when items were skipped.
    //
    // An answer is taken once at least 12 characters came and the line then
    // stayed quiet (answerQuietMs, longer for a transmitter that pauses
    // between characters); it is the last 12 characters and must pass the
    // AnswerForm of this transfer. A refused answer is asked for once more.
    // Stops at the first byte without an answer within the per-byte wait
    // ("Error reading data": NoAnswer, or Invalid when what came was
    // refused).
    Outcome ReadConfiguration(const std::vector<ReadItem>& items, const ApplyFn& apply);
    // Why an item cannot be read as it is (too many bytes, addresses past
    // FFFF), or "" when it can.
    static std::string ReadProblem(const ReadItem& item);

    // Reads `count` memory bytes from `address` on (a dump); Refused for
    // addresses past FFFF.
    Outcome ReadMemory(std::uint32_t address, std::int32_t count, std::vector<std::uint8_t>& out);
    // Reads the byte at each address in turn, as ReadMemory does (what a
    // send will overwrite, kept before it does), but once the transfer has
    // learned the answer's form, an answer naming the address read is taken
    // as soon as it is in, without waiting for the line to go quiet: a
    // backup reads every byte a send writes and must cost less than writing
    // them. Refused for an address past FFFF, before anything is read.
    Outcome ReadBytes(const std::vector<std::uint32_t>& addresses, std::vector<std::uint8_t>& out);

    // Program download: the program file's text written from `base` on, each
    // byte verified when the options ask for it; a failed verification is
    // shown and the download goes on (the outcome is then Mismatch or
    // NoAnswer). Refused, after its message, for an odd length or a program
    // running past FFFF. The caller shows "File sent.".
    Outcome SendProgram(const std::string& programText, std::uint32_t base);

    // Writes bytes as they are (interface commands, user commands, raw
    // files), with progress by bytes; `what` names them in messages ("the
    // file"). Ends once everything is on the line.
    Outcome SendRaw(const std::string& bytes, const std::string& what);

private:
    class Run; // one operation's clock and helpers
    Outcome ReadEach(const std::vector<std::uint32_t>& addresses, std::vector<std::uint8_t>& out,
                     const std::string& lead, bool early);
    LinkIo& io_;
    Ui& ui_;
    TransferOptions options_;
    const CancelFlag* cancel_;
    ProgressFn progress_;
    bool entered_ = false;
};

} // namespace nimbrel
