#include "cli/formats.h"

#include "platform/text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace nimbrel::cli {
namespace {

constexpr std::size_t kCommandLength = 7;
constexpr std::size_t kDumpLine = 16;

std::string Hex(std::uint32_t value, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, value);
    return buf;
}

bool IsHexText(const std::string& s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

} // namespace

std::vector<std::string> SplitCommands(const std::string& commands) {
    std::vector<std::string> out;
    for (std::size_t p = 0; p < commands.size(); p += kCommandLength)
        out.push_back(commands.substr(p, kCommandLength));
    return out;
}

std::vector<MemoryWrite> MemoryWrites(const std::string& commands) {
    std::vector<MemoryWrite> out;
    for (const std::string& c : SplitCommands(commands)) {
        if (c.size() != kCommandLength || (c[0] != 'E' && c[0] != 'e') || !IsHexText(c.substr(1)))
            continue;
        out.push_back({static_cast<std::uint32_t>(std::stoul(c.substr(1, 4), nullptr, 16)),
                       static_cast<std::uint8_t>(std::stoul(c.substr(5, 2), nullptr, 16))});
    }
    return out;
}

void WriteEncodedJson(JsonWriter& json, const std::vector<EncodedItem>& items) {
    std::size_t commands = 0;
    std::size_t bytes = 0;
    json.Key("items").BeginArray();
    for (const EncodedItem& item : items) {
        json.BeginObject()
            .Field("index", item.index)
            .Field("name", item.name)
            .Field("sensor", item.sensor)
            .Field("address", item.address);
        json.Key("commands").BeginArray();
        for (const std::string& c : SplitCommands(item.commands)) {
            json.String(c);
            ++commands;
        }
        json.EndArray().Key("writes").BeginArray();
        for (const MemoryWrite& w : MemoryWrites(item.commands)) {
            json.BeginObject().Field("address", w.address).Field("byte", w.byte).EndObject();
            ++bytes;
        }
        json.EndArray().EndObject();
    }
    json.EndArray().Field("commands", commands).Field("bytes", bytes);
}

std::string FormatEncoded(const std::vector<EncodedItem>& items, Format format) {
    std::string out;
    switch (format) {
    case Format::Commands:
        for (const EncodedItem& item : items) {
            const std::vector<std::string> commands = SplitCommands(item.commands);
            for (std::size_t k = 0; k < commands.size(); ++k)
                out += (k > 0 ? " " : "") + commands[k];
            if (!commands.empty()) out += '\n';
        }
        break;
    case Format::Hex:
        for (const EncodedItem& item : items) {
            for (const MemoryWrite& w : MemoryWrites(item.commands))
                out += Hex(w.address, 4) + " " + Hex(w.byte, 2) + "\n";
        }
        break;
    case Format::Json: {
        JsonWriter json;
        json.BeginObject();
        WriteEncodedJson(json, items);
        json.EndObject();
        out = json.Text() + "\n";
        break;
    }
    }
    return out;
}

std::string FormatDump(std::uint32_t from, const std::vector<std::uint8_t>& bytes) {
    std::string out;
    for (std::size_t line = 0; line < bytes.size(); line += kDumpLine) {
        const std::size_t n = std::min(kDumpLine, bytes.size() - line);
        out += Hex(from + static_cast<std::uint32_t>(line), 4) + " ";
        std::string text;
        for (std::size_t k = 0; k < kDumpLine; ++k) {
            if (k == kDumpLine / 2) out += ' ';
            if (k < n) {
                const std::uint8_t b = bytes[line + k];
                out += ' ';
                out += Hex(b, 2);
                text += b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
            } else {
                out += "   ";
            }
        }
        out += "  |" + text + "|\n";
    }
    return out;
}

std::string ElapsedText(std::int32_t ms) {
    ms = std::max(ms, 0);
    char buf[32];
    if (ms < 60000) {
        std::snprintf(buf, sizeof buf, "%d.%d s", ms / 1000, ms % 1000 / 100);
    } else {
        std::snprintf(buf, sizeof buf, "%d:%02d", ms / 60000, ms / 1000 % 60);
    }
    return buf;
}

namespace {

// What follows the bar or starts the line: "Sending item 3 of 8, 24 of 56
// bytes, 20.0 s left, 1.2 s".
std::string Details(const Progress& p) {
    std::string text = p.what;
    if (p.totalBytes > 0) {
        text += ", " + std::to_string(p.bytes) + " of " + std::to_string(p.totalBytes) + " bytes";
    }
    if (p.leftMs >= 0) text += ", " + ElapsedText(p.leftMs) + " left";
    return text + ", " + ElapsedText(p.elapsedMs);
}

} // namespace

std::string ProgressBarText(const Progress& p, int width) {
    std::string line;
    if (p.steps > 0) {
        constexpr int kBar = 20;
        const int step = std::clamp(p.step, 0, p.steps);
        const auto filled = static_cast<int>(std::int64_t{kBar} * step / p.steps);
        line += '[';
        line.append(static_cast<std::size_t>(filled), '#');
        line.append(static_cast<std::size_t>(kBar - filled), '-');
        line += "] " + std::to_string(step) + "/" + std::to_string(p.steps) + " ";
    }
    line += Details(p);
    if (width > 0 && line.size() > static_cast<std::size_t>(width)) {
        line.resize(static_cast<std::size_t>(width));
    }
    return line;
}

std::string ProgressLineText(const Progress& p) {
    return Details(p);
}

} // namespace nimbrel::cli
