// Standard error of nimbrel-cli: the progress display (a bar redrawn in place
// on a terminal, plain lines in a log, nothing when quiet) and the Ui whose
// messages end the bar's line first and are kept for --json.
#pragma once

#include "engine/transferengine.h"
#include "platform/stderrui.h"

#include <chrono>
#include <iosfwd>
#include <string>
#include <vector>

namespace nimbrel::cli {

class ProgressDisplay {
public:
    enum class Mode { Off, Lines, Bar };

    // `width`: the terminal's columns for the bar.
    ProgressDisplay(std::ostream& err, Mode mode, int width = 80);

    void Update(const Progress& p);
    // Ends the bar's line, so that other output starts on a line of its own.
    void Break();

    std::ostream& Stream() const { return err_; }
    Mode DisplayMode() const { return mode_; }
    int Width() const { return width_; }

private:
    std::ostream& err_;
    Mode mode_;
    int width_;
    bool barShown_ = false;
    std::string lastWhat_;
    std::chrono::steady_clock::time_point lastDraw_{};
};

class CliUi : public StderrUi {
public:
    CliUi(std::ostream& err, ProgressDisplay& progress);

    Answer MessageBox(const std::string& text, const std::string& caption, Buttons buttons,
                      Icon icon) override;

    // Every message so far, its line breaks made single newlines.
    const std::vector<std::string>& Messages() const { return messages_; }

private:
    ProgressDisplay& progress_;
    std::vector<std::string> messages_;
};

// The program's name, leading every message line.
inline constexpr const char* kProgramName = "nimbrel-cli";

} // namespace nimbrel::cli
