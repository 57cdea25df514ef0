// Wire format of the transmitter's command interface and the pure helpers
// around it: memory commands and answers, the display form of received
// bytes, display trimming, and turning a program file into write commands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nimbrel {

// Every memory command is 7 characters; a memory answer is 12, whose
// characters 10 and 11 are the byte in hexadecimal.
inline constexpr std::int32_t kCommandLength = 7;
inline constexpr std::int32_t kAnswerLength = 12;
inline constexpr std::int32_t kAnswerDataPos = 10;
inline constexpr std::int32_t kCommandDataPos = 5;
inline constexpr std::uint32_t kLastAddress = 0xFFFF;

inline constexpr char kAck = 0x06; // the transmitter is ready to be woken
inline constexpr char kNak = 0x15;
inline constexpr char kWakeAnswer = 'A'; // answer to kAck
inline constexpr const char* kVersionRequest = "TTTTTTT";
inline constexpr const char* kVersionPrefix = "VER=";

// Messages of the link.
inline constexpr const char* kOpenErrorText = "Error opening serial port. Check ini file.";
inline constexpr const char* kPttErrorTitle = "PTT communication error";
inline constexpr const char* kPttErrorTemplate = "Sent    got   ";
inline constexpr const char* kPttErrorTail =
    "\r\nError programming the transmitter.\n\rResend file.";
inline constexpr const char* kInvalidProgramText = "Invalid program.";
inline constexpr const char* kProgramTooLongText =
    "The program runs past address FFFF.\r\nNothing was sent.";

// Value of the two hexadecimal digits at `digits` (high nibble first). Each
// digit is upper-cased; A to F count 10 to 15, any other character its code
// minus '0' (no validation).
std::uint8_t AsciiToHex(const char* digits);

// "R", the address as four lower-case hex digits, "00" into `out` (room for
// 8). An address above FFFF does not fit: `out` becomes "" and false.
bool GetReadCommand(std::uint32_t address, char* out);
std::string GetReadCommand(std::uint32_t address); // "" above FFFF

// Reverses the `count` bytes at `data` in place.
void ByteSwap(void* data, std::int32_t count);

// The terminal's form of a received chunk: 0x06 "{/ACK/}", 0x15 "{NAK}",
// 0x00 "{ NULL}", tab, line feed, carriage return and 0x20..0x7E as they
// are, any other byte "{ 0x%02x}".
std::string ChunkDisplayText(const char* data, std::int32_t count);

// Display trimming: when the display's length plus a chunk's byte count
// reaches 8000, the display keeps only the last 1000 characters of its
// first `displayLength` characters (of at most 7998 read back).
inline constexpr std::int32_t kDisplayTrimAt = 8000;
inline constexpr std::int32_t kDisplayKeep = 1000;
inline constexpr std::int32_t kDisplayReadMax = 7998;
bool DisplayNeedsTrim(std::int32_t displayLength, std::int32_t chunkBytes);
// Returns the text the display keeps and sets `displayLength` to its length.
std::string TrimDisplayText(const std::string& displayText, std::int32_t& displayLength);

// Tells memory answers from other text. An answer is 12 characters with the
// byte's two hex digits at 10 and 11 and no control character other than a
// line break (CR, LF). The first answer taken in a transfer sets the form
// the later ones must have: where it held the address digits, and at each
// other of its first ten places either the very character (a blank, a sign,
// a line break) or, for a letter or digit, any letter or digit. A first
// answer without the address digits sets the form only once the same answer
// came twice in a row.
class AnswerForm {
public:
    enum class Verdict {
        Taken,    // an answer
        Refused,  // not an answer
        AskAgain, // may be the first answer: taken when it comes again
    };
    // Judges `answer` (the last 12 characters received) to a read of `address`.
    Verdict Judge(const std::string& answer, std::uint32_t address);
    bool Learned() const { return learned_; }
    // Whether `answer` has the learned form and names `address` where the
    // learned form holds the address digits: an answer to that read, whole.
    bool Names(const std::string& answer, std::uint32_t address) const;

private:
    bool learned_ = false;
    std::int32_t addressAt_ = -1; // where the address digits stand, -1: nowhere
    std::string shape_;           // the first ten characters, letters and digits as 'a'
    std::string unconfirmed_;     // a first answer without the address digits
};

// Program download. A program file is text of two-character hex byte values
// written from a base address on.
inline constexpr std::int32_t kProgramMaxChars = 1024;

enum class ProgramStatus {
    Ok,
    OddLength,       // "Invalid program."; nothing is sent
    PastLastAddress, // kProgramTooLongText; nothing is sent
};

struct ProgramPlan {
    ProgramStatus status = ProgramStatus::Ok;
    std::vector<std::string> commands; // "E" + "%04lx" address + the pair
};

// Reads a program file as text: CR LF reads as LF, Ctrl-Z ends the text,
// at most kProgramMaxChars characters. False when the file cannot be opened.
bool ReadProgramText(const std::string& path, std::string& text);

// The base address text as the standard base-16 conversion reads it
// (leading blanks, sign, 0x prefix; no digits give 0), capped at FFFFFFFF.
std::uint32_t ParseBaseAddress(const std::string& text);

// Walks the text (first kProgramMaxChars characters, up to the first 0
// character) in pairs; a pair whose first character is 0x29 or below, or
// 0x80 or above, is skipped and uses no address. A text of odd length, or
// one whose addresses would pass FFFF, gives no commands.
ProgramPlan BuildProgramCommands(const std::string& text, std::uint32_t base);

} // namespace nimbrel
