#include "link/protocol.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace nimbrel {
namespace {

std::int32_t HexDigitValue(char c) {
    const int u = std::toupper(static_cast<unsigned char>(c));
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return u - '0';
}

bool IsHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

bool IsLetterOrDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// C0 controls but the line break, DEL and the C1 controls.
bool IsControl(char c) {
    const auto b = static_cast<unsigned char>(c);
    if (b == '\r' || b == '\n') return false;
    return b < 0x20 || (b >= 0x7F && b <= 0x9F);
}

// Whether the four hex digits of `address` (any case) stand at `at`.
bool AddressAt(const std::string& answer, std::uint32_t address, std::int32_t at) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(address & 0xFFFF));
    for (std::int32_t k = 0; k < 4; ++k) {
        const auto c = static_cast<unsigned char>(answer[static_cast<std::size_t>(at + k)]);
        if (std::toupper(c) != digits[k]) return false;
    }
    return true;
}

// Where the address digits first stand in the first ten characters, or -1.
std::int32_t AddressPosition(const std::string& answer, std::uint32_t address) {
    for (std::int32_t at = 0; at + 4 <= kAnswerDataPos; ++at) {
        if (AddressAt(answer, address, at)) return at;
    }
    return -1;
}

std::string Shape(const std::string& answer, std::int32_t addressAt) {
    std::string shape = answer.substr(0, static_cast<std::size_t>(kAnswerDataPos));
    for (std::int32_t k = 0; k < kAnswerDataPos; ++k) {
        char& c = shape[static_cast<std::size_t>(k)];
        if (addressAt >= 0 && k >= addressAt && k < addressAt + 4) {
            c = '#';
        } else if (IsLetterOrDigit(c)) {
            c = 'a';
        }
    }
    return shape;
}

} // namespace

std::uint8_t AsciiToHex(const char* digits) {
    return static_cast<std::uint8_t>(HexDigitValue(digits[0]) * 16 + HexDigitValue(digits[1]));
}

bool GetReadCommand(std::uint32_t address, char* out) {
    if (address > kLastAddress) {
        out[0] = '\0';
        return false;
    }
    std::snprintf(out, 8, "R%04x00", static_cast<unsigned>(address));
    return true;
}

std::string GetReadCommand(std::uint32_t address) {
    char text[8];
    GetReadCommand(address, text);
    return text;
}

void ByteSwap(void* data, std::int32_t count) {
    if (count <= 1) return;
    auto* bytes = static_cast<unsigned char*>(data);
    std::reverse(bytes, bytes + count);
}

std::string ChunkDisplayText(const char* data, std::int32_t count) {
    std::string text;
    text.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (std::int32_t i = 0; i < count; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        if (b == 0x06) {
            text += "{/ACK/}";
        } else if (b == 0x15) {
            text += "{NAK}";
        } else if (b == 0x00) {
            text += "{ NULL}";
        } else if (b == 0x09 || b == 0x0A || b == 0x0D || (b >= 0x20 && b <= 0x7E)) {
            text += static_cast<char>(b);
        } else {
            char hex[16];
            std::snprintf(hex, sizeof hex, "{ 0x%02x}", b);
            text += hex;
        }
    }
    return text;
}

bool DisplayNeedsTrim(std::int32_t displayLength, std::int32_t chunkBytes) {
    return displayLength + chunkBytes >= kDisplayTrimAt;
}

std::string TrimDisplayText(const std::string& displayText, std::int32_t& displayLength) {
    const std::string shown = displayText.substr(0, static_cast<std::size_t>(kDisplayReadMax));
    const auto shownLength = static_cast<std::int32_t>(shown.size());
    displayLength = std::clamp(displayLength, 0, shownLength);
    const std::int32_t keep = std::min(displayLength, kDisplayKeep);
    std::string kept = shown.substr(static_cast<std::size_t>(displayLength - keep),
                                    static_cast<std::size_t>(keep));
    displayLength = keep;
    return kept;
}

AnswerForm::Verdict AnswerForm::Judge(const std::string& answer, std::uint32_t address) {
    if (answer.size() != static_cast<std::size_t>(kAnswerLength) ||
        std::any_of(answer.begin(), answer.end(), IsControl) ||
        !IsHexDigit(answer[kAnswerDataPos]) || !IsHexDigit(answer[kAnswerDataPos + 1])) {
        return Verdict::Refused;
    }
    if (learned_) {
        if (addressAt_ >= 0 && !AddressAt(answer, address, addressAt_)) return Verdict::Refused;
        return Shape(answer, addressAt_) == shape_ ? Verdict::Taken : Verdict::Refused;
    }
    const std::int32_t at = AddressPosition(answer, address);
    if (at < 0 && answer != unconfirmed_) {
        unconfirmed_ = answer;
        return Verdict::AskAgain;
    }
    addressAt_ = at;
    shape_ = Shape(answer, at);
    learned_ = true;
    return Verdict::Taken;
}

bool AnswerForm::Names(const std::string& answer, std::uint32_t address) const {
    return learned_ && addressAt_ >= 0 &&
           answer.size() == static_cast<std::size_t>(kAnswerLength) &&
           std::none_of(answer.begin(), answer.end(), IsControl) &&
           IsHexDigit(answer[kAnswerDataPos]) && IsHexDigit(answer[kAnswerDataPos + 1]) &&
           AddressAt(answer, address, addressAt_) && Shape(answer, addressAt_) == shape_;
}

bool ReadProgramText(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    // Each character of the text takes at most two bytes (CR LF).
    std::string raw(2 * static_cast<std::size_t>(kProgramMaxChars) + 1, '\0');
    in.read(raw.data(), static_cast<std::streamsize>(raw.size()));
    raw.resize(static_cast<std::size_t>(in.gcount()));
    text.clear();
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == 0x1A) break; // Ctrl-Z ends a text file
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
        text += raw[i];
    }
    if (text.size() > static_cast<std::size_t>(kProgramMaxChars)) {
        text.resize(static_cast<std::size_t>(kProgramMaxChars));
    }
    return true;
}

std::uint32_t ParseBaseAddress(const std::string& text) {
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), nullptr, 16);
    if (errno == ERANGE || value > 0xFFFFFFFFull) return 0xFFFFFFFFu;
    return static_cast<std::uint32_t>(value);
}

ProgramPlan BuildProgramCommands(const std::string& text, std::uint32_t base) {
    ProgramPlan plan;
    std::string program = text.substr(0, static_cast<std::size_t>(kProgramMaxChars));
    if (program.size() % 2 != 0) {
        plan.status = ProgramStatus::OddLength;
        return plan;
    }
    program = program.substr(0, program.find('\0'));
    std::uint64_t address = base;
    for (std::size_t i = 0; i + 1 < program.size(); i += 2) {
        const auto first = static_cast<unsigned char>(program[i]);
        if (first <= 0x29 || first >= 0x80) continue;
        if (address > kLastAddress) {
            // A fifth address digit would make the command longer than the
            // transmitter's 7 characters: refuse the whole download.
            plan.status = ProgramStatus::PastLastAddress;
            plan.commands.clear();
            return plan;
        }
        char command[16];
        std::snprintf(command, sizeof command, "E%04lx%c%c", static_cast<unsigned long>(address),
                      program[i], program[i + 1]);
        plan.commands.emplace_back(command);
        ++address;
    }
    return plan;
}

} // namespace nimbrel
