// The options of one link and of the transfers on it, as plain values. The
// core (link and engine) takes them from its caller and never reads the
// settings file; the readers here fill them from the file with each key's
// own default. The windows read them when they open the port or start a
// transfer, so a change in Preferences applies from then on; nimbrel-cli
// reads them from the text of its settings file with its options applied.
#pragma once

#include "platform/settings.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace nimbrel {

// The serial port and how its receive task hands text to the display.
struct LinkOptions {
    std::int32_t port = 2; // the port number, for messages
    std::string device;    // the device path; "" for a port number outside 1 to 4
    // The line settings as the settings file writes them ("9600", "n", "8", "1").
    std::string baud = "9600";
    std::string parity = "n";
    std::string dataBits = "8";
    std::string stopBits = "1";
    std::int32_t displayIntervalMs = 100; // at most one display batch this often

    // "9600,n,8,1", as the serial layer's mode text takes it.
    std::string LineText() const { return baud + "," + parity + "," + dataBits + "," + stopBits; }

    bool operator==(const LinkOptions&) const = default;
};

// The exit string is sent cut to this many characters.
inline constexpr std::size_t kExitLength = 7;

// The waits (milliseconds), the read-back switch and the exit string of a
// transfer.
struct TransferOptions {
    bool readAfterWrite = true;          // read every written byte back
    std::int32_t startWaitMs = 60000;    // for the wake-up byte
    std::int32_t responseWaitMs = 2000;  // for each read-back answer
    std::int32_t settleMs = 50;          // quiet line after the start
    std::int32_t readByteWaitMs = 10000; // for each byte of a read
    std::int32_t writeStallMs = 5000;    // a port taking no data
    std::int32_t versionWaitMs = 5000;   // for the version answer
    std::int32_t answerQuietMs = 3;      // quiet line that ends an answer
    std::string exitString = "qqqqqqq";  // at most kExitLength characters

    bool operator==(const TransferOptions&) const = default;
};

// One settings file's text, read once; the readers look their keys up in it
// with the rules of Settings (a missing file, section or key gives the
// default).
class SettingsSnapshot {
public:
    // The settings file (Settings::FilePath) as it is now.
    SettingsSnapshot();
    explicit SettingsSnapshot(std::string text) : text_(std::move(text)) {}

    const std::string& Text() const { return text_; }
    int Get(const IntSetting& s) const;
    std::string Get(const TextSetting& s) const;
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& def, int bufferSize) const;

private:
    std::string text_;
};

// Whether a send keeps a backup first, and where.
struct BackupOptions {
    bool keep = false;
    std::string folder; // never empty: the default folder when the settings name none
};
// $XDG_DATA_HOME/Nimbrel/backups, else ~/.local/share/Nimbrel/backups.
std::string DefaultBackupFolder();
BackupOptions ReadBackupOptions(const SettingsSnapshot& settings = {});

// The device behind port n: [COM] device<n>, else /dev/ttyS<n-1>.
std::string PortDevicePath(std::int32_t port, const SettingsSnapshot& settings = {});

LinkOptions ReadLinkOptions(const SettingsSnapshot& settings = {});
TransferOptions ReadTransferOptions(const SettingsSnapshot& settings = {});

// The quiet time that ends an answer: `overrideMs` when not negative, else
// kAnswerQuietChars character times at the baud rate `baudText` (10 bits a
// character, at least kAnswerQuietMinMs). An echo of the command or a stream
// of bytes runs on without such a pause, so it is never cut into an answer.
inline constexpr std::int32_t kAnswerQuietChars = 3;
inline constexpr std::int32_t kAnswerQuietMinMs = 2;
std::int32_t AnswerQuietMs(std::int32_t overrideMs, const std::string& baudText);

} // namespace nimbrel
