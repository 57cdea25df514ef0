#include "cli/console.h"

#include "cli/formats.h"
#include "platform/displaytext.h"
#include "platform/text.h"

#include <ostream>

namespace nimbrel::cli {
namespace {

// A bar is redrawn at most this often, a plain line written at most this
// often while the same long operation runs.
constexpr auto kBarInterval = std::chrono::milliseconds(50);
constexpr auto kLineInterval = std::chrono::milliseconds(1000);
// Operations with at most this many steps get a line for every step.
constexpr std::int32_t kEveryStep = 100;

// Single newlines for the line breaks, none at the end.
std::string MessageLines(const std::string& text) {
    std::string out = nimbrel::SingleNewlines(text);
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

} // namespace

ProgressDisplay::ProgressDisplay(std::ostream& err, Mode mode, int width)
    : err_(err), mode_(mode), width_(width) {}

void ProgressDisplay::Update(const Progress& p) {
    if (mode_ == Mode::Off) return;
    const auto now = std::chrono::steady_clock::now();
    const bool last = p.steps > 0 && p.step >= p.steps;
    const bool changed = p.what != lastWhat_;
    if (mode_ == Mode::Bar) {
        if (barShown_ && !last && now - lastDraw_ < kBarInterval) return;
        err_ << '\r' << ProgressBarText(p, width_ - 1) << "\x1b[K" << std::flush;
        barShown_ = true;
    } else {
        if (!changed) return;
        const bool everyStep = p.steps <= kEveryStep || p.step <= 1 || last;
        if (!everyStep && now - lastDraw_ < kLineInterval) return;
        err_ << ProgressLineText(p) << '\n' << std::flush;
    }
    lastWhat_ = p.what;
    lastDraw_ = now;
}

void ProgressDisplay::Break() {
    if (!barShown_) return;
    err_ << '\n' << std::flush;
    barShown_ = false;
    lastWhat_.clear();
}

CliUi::CliUi(std::ostream& err, ProgressDisplay& progress)
    : StderrUi(kProgramName, err), progress_(progress) {}

Answer CliUi::MessageBox(const std::string& text, const std::string& caption, Buttons buttons,
                         Icon icon) {
    progress_.Break();
    // Messages may quote file and transmitter text: never raw on a terminal.
    const std::string shown = DisplayText(text, /*keepLineBreaks=*/true);
    messages_.push_back(MessageLines(shown));
    return StderrUi::MessageBox(shown, caption, buttons, icon);
}

} // namespace nimbrel::cli
