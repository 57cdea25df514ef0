#include "platform/options.h"

#include "platform/settingskeys.h"

#include <algorithm>
#include <cstdlib>

#include <pwd.h>
#include <unistd.h>

namespace nimbrel {
namespace {

std::int32_t SecondsToMs(std::int32_t seconds) {
    return std::clamp(seconds, 0, 2'000'000) * 1000;
}

// The [TIMING] override when set, else the seconds of the program's own key.
std::int32_t WaitMs(const SettingsSnapshot& s, const IntSetting& overrideMs,
                    const IntSetting& seconds) {
    const std::int32_t ms = s.Get(overrideMs);
    return ms >= 0 ? ms : SecondsToMs(s.Get(seconds));
}

} // namespace

SettingsSnapshot::SettingsSnapshot() : text_(Settings::FileText()) {}

std::string SettingsSnapshot::GetString(const std::string& section, const std::string& key,
                                        const std::string& def, int bufferSize) const {
    std::string value;
    if (!Settings::FindValue(text_, section, key, value)) value = def;
    const std::size_t room = bufferSize > 0 ? static_cast<std::size_t>(bufferSize - 1) : 0;
    if (value.size() > room) value.resize(room);
    return value;
}

int SettingsSnapshot::Get(const IntSetting& s) const {
    std::string value;
    if (!Settings::FindValue(text_, s.section, s.key, value)) return s.defaultValue;
    return Settings::ParseInt(value);
}

std::string SettingsSnapshot::Get(const TextSetting& s) const {
    return GetString(s.section, s.key, s.defaultValue, s.bufferSize);
}

std::string PortDevicePath(std::int32_t port, const SettingsSnapshot& settings) {
    return settings.GetString("COM", keys::PortDeviceKey(port), keys::PortDefaultDevice(port),
                              keys::kPortDeviceBuffer);
}

LinkOptions ReadLinkOptions(const SettingsSnapshot& s) {
    LinkOptions o;
    o.port = s.Get(keys::kPortNumber);
    if (o.port >= 1 && o.port <= 4) o.device = PortDevicePath(o.port, s);
    o.baud = s.Get(keys::kPortBaud);
    o.parity = s.Get(keys::kPortParity);
    o.dataBits = s.Get(keys::kPortBits);
    o.stopBits = s.Get(keys::kPortStop);
    o.displayIntervalMs = s.Get(keys::kMonitorPauseMs);
    return o;
}

TransferOptions ReadTransferOptions(const SettingsSnapshot& s) {
    TransferOptions o;
    o.readAfterWrite = s.Get(keys::kReadAfterWrite) != 0;
    o.startWaitMs = WaitMs(s, keys::kStartWaitMs, keys::kStartWait);
    o.responseWaitMs = WaitMs(s, keys::kResponseWaitMs, keys::kWaitTimeForResponse);
    o.settleMs = s.Get(keys::kSettleMs);
    o.readByteWaitMs = s.Get(keys::kReadByteWaitMs);
    o.writeStallMs = s.Get(keys::kWriteStallMs);
    o.versionWaitMs = s.Get(keys::kVersionWaitMs);
    o.answerQuietMs = AnswerQuietMs(s.Get(keys::kAnswerQuietMs), s.Get(keys::kPortBaud));
    o.exitString = s.Get(keys::kStopAbort);
    if (o.exitString.size() > kExitLength) o.exitString.resize(kExitLength);
    return o;
}

std::string DefaultBackupFolder() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/Nimbrel/backups";
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        const passwd* pw = ::getpwuid(::getuid());
        home = pw != nullptr ? pw->pw_dir : "/tmp";
    }
    return std::string(home) + "/.local/share/Nimbrel/backups";
}

BackupOptions ReadBackupOptions(const SettingsSnapshot& s) {
    BackupOptions o;
    o.keep = s.Get(keys::kBackupKeep) != 0;
    o.folder = s.Get(keys::kBackupFolder);
    if (o.folder.empty()) o.folder = DefaultBackupFolder();
    return o;
}

std::int32_t AnswerQuietMs(std::int32_t overrideMs, const std::string& baudText) {
    if (overrideMs >= 0) return overrideMs;
    const long baud = std::strtol(baudText.c_str(), nullptr, 10);
    if (baud <= 0) return kAnswerQuietMinMs;
    // Ten bits a character, rounded to the nearest millisecond.
    const long ms = (kAnswerQuietChars * 10'000L + baud / 2) / baud;
    return static_cast<std::int32_t>(std::clamp<long>(ms, kAnswerQuietMinMs, 10'000));
}

} // namespace nimbrel
