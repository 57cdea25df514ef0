#include "cli/settingsoverride.h"

#include "platform/settings.h"
#include "platform/settingskeys.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace nimbrel::cli {
namespace {

namespace fs = std::filesystem;

bool ReadWhole(const std::string& path, std::string& bytes) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), {});
    return !in.bad();
}

} // namespace

SettingsOverride::SettingsOverride(std::string folder, std::string previous)
    : folder_(std::move(folder)), previous_(std::move(previous)) {}

SettingsOverride::~SettingsOverride() {
    Settings::SetDirectory(previous_);
    std::error_code ec;
    fs::remove_all(folder_, ec);
}

std::unique_ptr<SettingsOverride> SettingsOverride::Make(const Options& options,
                                                         std::string& error) {
    std::string bytes;
    if (options.settings) {
        if (!ReadWhole(*options.settings, bytes)) {
            error = "Cannot read the settings file " + *options.settings + ".";
            return nullptr;
        }
    } else {
        const std::string own = Settings::FilePath();
        std::error_code ec;
        if (fs::exists(own, ec) && !ReadWhole(own, bytes)) {
            error = "Cannot read the settings file " + own + ".";
            return nullptr;
        }
    }

    std::error_code ec;
    std::string pattern = (fs::temp_directory_path(ec) / "nimbrel-cli-XXXXXX").string();
    if (ec || ::mkdtemp(pattern.data()) == nullptr) {
        error = "Cannot make a temporary folder for the settings.";
        return nullptr;
    }
    std::unique_ptr<SettingsOverride> made(new SettingsOverride(pattern, Settings::Directory()));
    {
        std::ofstream out(pattern + "/Nimbrel.ini", std::ios::binary);
        out << bytes;
        if (!out.flush()) {
            error = "Cannot write the settings copy in " + pattern + ".";
            return nullptr;
        }
    }
    Settings::SetDirectory(pattern);

    bool written = true;
    if (options.port) {
        // The settings' port number keeps its number when it is one of 1 to 4.
        int port = Settings::Get(keys::kPortNumber);
        if (port < 1 || port > 4) {
            port = keys::kPortNumber.defaultValue;
            written = written && Settings::WriteString("COM", "port", std::to_string(port));
        }
        written = written && Settings::WriteString("COM", keys::PortDeviceKey(port), *options.port);
    }
    if (options.baud) {
        written = written && Settings::WriteString(keys::kPortBaud.section, keys::kPortBaud.key,
                                                   std::to_string(*options.baud));
    }
    if (options.verify) {
        written = written &&
                  Settings::WriteString(keys::kReadAfterWrite.section, keys::kReadAfterWrite.key,
                                        *options.verify ? "1" : "0");
    }
    if (!written) {
        error = "Cannot write the settings copy in " + pattern + ".";
        return nullptr;
    }
    return made;
}

} // namespace nimbrel::cli
