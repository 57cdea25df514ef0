#include "engine/backupsend.h"

#include "config/configfile.h"
#include "link/protocol.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>

#include <fcntl.h>
#include <unistd.h>

namespace nimbrel {
namespace {

// A memory-write command, "E" + four address digits + two data digits.
bool ParseWrite(const std::string& command, std::uint16_t& address, std::uint8_t& value) {
    if (command.size() != static_cast<std::size_t>(kCommandLength) || command[0] != 'E')
        return false;
    if (!std::all_of(command.begin() + 1, command.end(),
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }))
        return false;
    address = static_cast<std::uint16_t>(std::stoul(command.substr(1, 4), nullptr, 16));
    value = static_cast<std::uint8_t>(std::stoul(command.substr(5, 2), nullptr, 16));
    return true;
}

std::vector<std::string> Commands(const std::string& commands) {
    std::vector<std::string> out;
    const auto n = static_cast<std::size_t>(kCommandLength);
    for (std::size_t p = 0; p < commands.size(); p += n)
        out.push_back(commands.substr(p, n));
    return out;
}

std::string WriteCommand(std::uint16_t address, std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "E%04X%02X", static_cast<unsigned>(address),
                  static_cast<unsigned>(value));
    return text;
}

// The held byte at each address of `bytes`.
std::map<std::uint16_t, std::uint8_t> HeldAt(const std::vector<PlannedByte>& bytes,
                                             const std::vector<std::uint8_t>& held) {
    std::map<std::uint16_t, std::uint8_t> at;
    for (std::size_t k = 0; k < bytes.size() && k < held.size(); ++k)
        at[bytes[k].address] = held[k];
    return at;
}

// The item through its file line, as the backup file gives it back.
std::unique_ptr<DisplayLine> ThroughFile(const DisplayLine& item) {
    ItemList copy = MakeBlankItems(1);
    std::stringstream line;
    line << item;
    line >> *copy[0];
    return std::move(copy[0]);
}

bool Writes(const DisplayLine& item, const std::string& commands) {
    const std::unique_ptr<DisplayLine> saved = ThroughFile(item);
    std::string problem;
    return saved->CheckPttValue(problem) && saved->GetPttValue() == commands;
}

std::string Digits(const std::vector<std::uint8_t>& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

// A copy of `item` whose commands are `commands` (its own commands with the
// held bytes): in its own type where that gives them exactly, else a string
// item of the same bytes.
std::unique_ptr<DisplayLine> Holding(const DisplayLine& item, const std::string& commands) {
    std::vector<std::uint8_t> bytes;
    for (const std::string& command : Commands(commands)) {
        std::uint16_t address = 0;
        std::uint8_t value = 0;
        if (ParseWrite(command, address, value)) bytes.push_back(value);
    }
    if (IsValidType(item.GetType())) {
        std::unique_ptr<DisplayLine> copy = ThroughFile(item);
        if (item.GetType() == kTypeUnformatted) {
            copy->SetValue(commands);
            return copy;
        }
        bool idValid = true;
        if (const auto text = PttValueText(item.GetType(), item.GetHex(), bytes, idValid)) {
            copy->SetValue(*text);
            if (Writes(*copy, commands)) return copy;
        }
        if (item.GetType() == kTypeAscii) {
            std::string text(bytes.begin(), bytes.end());
            text.erase(std::find(text.begin(), text.end(), '\0'), text.end());
            copy->SetValue(text);
            if (Writes(*copy, commands)) return copy;
        }
    }
    auto copy =
        std::make_unique<DisplayLine>(item.GetIndex(), item.GetSensor(), item.GetNumberText(),
                                      item.GetName(), Digits(bytes), kTypeString, 0);
    copy->SetHex(true);
    copy->SetSize(static_cast<std::int32_t>(bytes.size()));
    copy->SetAddress(item.GetAddress());
    copy->SetUser(item.GetUser());
    return copy;
}

std::string ErrnoText(int err) {
    return std::strerror(err);
}

// Creates `path` with `text`, failing when it exists.
int WriteNew(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    int err = 0;
    for (std::size_t done = 0; done < text.size() && err == 0;) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n >= 0) {
            done += static_cast<std::size_t>(n);
        } else if (errno != EINTR) {
            err = errno;
        }
    }
    if (err == 0 && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err != 0) ::unlink(path.c_str());
    return err;
}

} // namespace

std::vector<PlannedByte> PlannedBytes(const SendPlan& plan) {
    std::map<std::uint16_t, PlannedByte> last;
    for (std::size_t k = 0; k < plan.items.size(); ++k) {
        for (const std::string& command : Commands(plan.items[k].commands)) {
            PlannedByte b;
            b.item = k;
            if (ParseWrite(command, b.address, b.value)) last[b.address] = b;
        }
    }
    std::vector<PlannedByte> bytes;
    bytes.reserve(last.size());
    for (const auto& [address, b] : last)
        bytes.push_back(b);
    return bytes;
}

std::vector<TransferEngine::SendItem> ChangedItems(const SendPlan& plan,
                                                   const std::vector<PlannedByte>& bytes,
                                                   const std::vector<std::uint8_t>& held) {
    std::map<std::uint16_t, const PlannedByte*> changed;
    for (std::size_t k = 0; k < bytes.size() && k < held.size(); ++k) {
        if (bytes[k].value != held[k]) changed[bytes[k].address] = &bytes[k];
    }
    std::vector<TransferEngine::SendItem> out;
    for (std::size_t k = 0; k < plan.items.size(); ++k) {
        const EncodedItem& item = plan.items[k];
        std::string commands;
        for (const std::string& command : Commands(item.commands)) {
            std::uint16_t address = 0;
            std::uint8_t value = 0;
            if (!ParseWrite(command, address, value)) {
                commands += command;
                continue;
            }
            const auto it = changed.find(address);
            if (it != changed.end() && it->second->item == k) {
                commands += command;
                changed.erase(it); // written once
            }
        }
        if (!commands.empty()) out.push_back({item.name, item.address, commands});
    }
    return out;
}

ItemList BackupItems(const ItemList& items, const SendPlan& plan,
                     const std::vector<PlannedByte>& bytes, const std::vector<std::uint8_t>& held) {
    const std::map<std::uint16_t, std::uint8_t> at = HeldAt(bytes, held);
    ItemList backup;
    backup.reserve(plan.items.size());
    for (const EncodedItem& entry : plan.items) {
        std::string commands;
        for (const std::string& command : Commands(entry.commands)) {
            std::uint16_t address = 0;
            std::uint8_t value = 0;
            const auto it = ParseWrite(command, address, value) ? at.find(address) : at.end();
            commands += it == at.end() ? command : WriteCommand(address, it->second);
        }
        std::unique_ptr<DisplayLine> item = Holding(*items[entry.index], commands);
        item->SetIndex(static_cast<std::int32_t>(backup.size()));
        backup.push_back(std::move(item));
    }
    return backup;
}

std::string BackupFileStem(const std::string& pttId, std::chrono::system_clock::time_point when) {
    std::string id;
    for (const char c : pttId) {
        if (std::isalnum(static_cast<unsigned char>(c))) id += c;
    }
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char time[32];
    std::strftime(time, sizeof time, "%Y-%m-%dT%H%M%SZ", &utc);
    return (id.empty() ? "unknown" : id) + "-" + time;
}

std::string BackupFolderProblem(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!ec && ::access(folder.c_str(), W_OK | X_OK) != 0)
        ec = std::error_code(errno, std::generic_category());
    return ec ? "The backup folder " + folder + " cannot be written (" + ec.message() + ")." : "";
}

std::string KeepBackupFile(const std::string& folder, const std::string& stem,
                           std::int32_t sensorCount, const ItemList& items, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        error = "The backup folder " + folder + " cannot be made (" + ec.message() + ").";
        return {};
    }
    const std::string text = ConfigFileText(sensorCount, items);
    const fs::path base = fs::path(folder) / stem;
    for (int n = 1;; ++n) {
        const std::string path = base.string() + (n == 1 ? "" : "-" + std::to_string(n)) + ".cfg";
        const int err = WriteNew(path, text);
        if (err == 0) return path;
        if (err != EEXIST || n >= 1000) {
            error = "The backup " + path + " cannot be written (" + ErrnoText(err) + ").";
            return {};
        }
    }
}

Outcome SendWithBackup(TransferEngine& engine, const ItemList& items, const SendPlan& plan,
                       std::int32_t sensorCount, const std::string& folder,
                       BackupSendResult& result) {
    result = {};
    const std::vector<PlannedByte> bytes = PlannedBytes(plan);
    result.bytes = bytes.size();

    // The transmitter's PTT ID names the backup: its bytes are read with the rest.
    std::vector<std::uint32_t> addresses;
    for (const PlannedByte& b : bytes)
        addresses.push_back(b.address);
    const auto id = std::find_if(items.begin(), items.end(), [](const auto& item) {
        return item->GetType() == kTypePttId && item->GetAddress() >= 0 &&
               item->GetAddress() + 3 <= kMaxAddress;
    });
    std::vector<std::uint32_t> idAddresses;
    if (id != items.end()) {
        for (std::int32_t k = 0; k < 4; ++k)
            idAddresses.push_back(static_cast<std::uint32_t>((*id)->GetAddress() + k));
    }
    for (const std::uint32_t a : idAddresses) {
        if (std::find(addresses.begin(), addresses.end(), a) == addresses.end())
            addresses.push_back(a);
    }

    // A folder that cannot take the backup ends the send before anything is read.
    if (const std::string problem = BackupFolderProblem(folder); !problem.empty()) {
        result.refusal = problem + "\r\nNothing was sent.";
        return Outcome::Refused;
    }
    std::vector<std::uint8_t> read;
    if (const Outcome outcome = engine.ReadBytes(addresses, read); outcome != Outcome::Done)
        return outcome;
    std::map<std::uint32_t, std::uint8_t> found;
    for (std::size_t k = 0; k < addresses.size() && k < read.size(); ++k)
        found[addresses[k]] = read[k];
    const std::vector<std::uint8_t> held(read.begin(),
                                         read.begin() + static_cast<std::ptrdiff_t>(bytes.size()));

    std::string pttId;
    if (!idAddresses.empty()) {
        bool valid = true;
        std::vector<std::uint8_t> word;
        for (const std::uint32_t a : idAddresses)
            word.push_back(found[a]);
        const std::string text = PttValueText(kTypePttId, false, word, valid).value_or("");
        if (valid) pttId = text;
    }
    std::string error;
    result.backupPath =
        KeepBackupFile(folder, BackupFileStem(pttId, std::chrono::system_clock::now()), sensorCount,
                       BackupItems(items, plan, bytes, held), error);
    if (result.backupPath.empty()) {
        result.refusal = error + "\r\nNothing was sent.";
        return Outcome::Refused;
    }

    const std::vector<TransferEngine::SendItem> changed = ChangedItems(plan, bytes, held);
    for (std::size_t k = 0; k < bytes.size(); ++k)
        result.differed += bytes[k].value != held[k] ? 1 : 0;
    if (changed.empty()) return Outcome::Done;
    return engine.SendConfiguration(changed, /*verify=*/true);
}

std::string BackupSentText(const BackupSendResult& result) {
    return "Configuration sent: " + std::to_string(result.differed) + " of " +
           std::to_string(result.bytes) +
           " bytes differed and were written and verified.\r\nThe transmitter's previous "
           "values are kept in " +
           result.backupPath + ".";
}

} // namespace nimbrel
