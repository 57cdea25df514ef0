// Shared set-up of nimbrel-bench: a Ui that answers without asking, a
// temporary settings folder, generated configurations and memory figures.
#pragma once

#include "config/displayline.h"
#include "platform/ui.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace nimbrel::bench {

// Answers every message box with Ok (keeping the last text, for a benchmark's
// error), cancels inputs and file dialogs. `serve` serves pending events (the
// GUI build processes Qt events).
class QuietUi : public Ui {
public:
    Answer MessageBox(const std::string& text, const std::string&, Buttons, Icon) override {
        lastMessage = text;
        return Answer::Ok;
    }
    std::optional<std::string> InputText(const std::string&, const std::string&, const std::string&,
                                         int) override {
        return std::nullopt;
    }
    std::optional<std::string> ChooseFile(const FileRequest&) override { return std::nullopt; }
    void ServeEvents(int maxWaitMs) override;

    std::function<void(int)> serve;
    std::string lastMessage;
};

// A temporary folder holding Nimbrel.ini (short [TIMING] waits) and the
// generated configuration files; settings point there while it lives.
class BenchFolder {
public:
    BenchFolder();
    ~BenchFolder();
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::string previousSettingsDir_;
};

// The folder of the running program (set by main).
const std::string& BenchPath();
void SetBenchPath(const std::string& path);

// A configuration of `count` items: the transmitter sensor, then sensors of
// long, int, char, float, hex and list items with consecutive addresses
// (wrapping below ffff H for very large configurations).
ItemList MakeConfiguration(std::int32_t count);

// The configuration of `count` items as a file in the bench folder, written on
// the first call for each size. Empty on failure (after a message on stderr).
std::string ConfigurationFile(std::int32_t count);

// Resident memory in MiB: the peak since the last ResetPeakRss, and now.
double PeakRssMb();
double CurrentRssMb();
// Restarts the peak where the kernel allows it (Linux clear_refs); false if not.
bool ResetPeakRss();

} // namespace nimbrel::bench
