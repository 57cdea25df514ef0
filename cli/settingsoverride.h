// The settings of one nimbrel-cli run: a copy of the settings file (or an
// empty one) in a private temporary folder, with the command line's
// overrides written into the copy. The user's file is only read.
#pragma once

#include "cli/options.h"

#include <memory>
#include <string>

namespace nimbrel::cli {

class SettingsOverride {
public:
    // Copies `options.settings` (or the working folder's settings file when
    // there is one), applies --port, --baud and --verify to the copy and
    // points Settings at it. Null, with the reason in `error`, when the
    // settings file cannot be read or the copy cannot be made.
    static std::unique_ptr<SettingsOverride> Make(const Options& options, std::string& error);

    // Points Settings back and removes the folder.
    ~SettingsOverride();
    SettingsOverride(const SettingsOverride&) = delete;
    SettingsOverride& operator=(const SettingsOverride&) = delete;

    const std::string& Folder() const { return folder_; }

private:
    SettingsOverride(std::string folder, std::string previous);

    std::string folder_;
    std::string previous_;
};

} // namespace nimbrel::cli
