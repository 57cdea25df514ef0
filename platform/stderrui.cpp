#include "platform/stderrui.h"

#include "platform/text.h"

#include <chrono>
#include <iostream>
#include <thread>
#include <utility>

namespace nimbrel {

namespace {

// The text with single newlines for its line breaks, ending in one.
std::string Lines(const std::string& text) {
    std::string out = SingleNewlines(text);
    if (out.empty() || out.back() != '\n') out += '\n';
    return out;
}

} // namespace

StderrUi::StderrUi(std::string program) : StderrUi(std::move(program), std::cerr) {}

StderrUi::StderrUi(std::string program, std::ostream& out)
    : program_(std::move(program)), out_(out) {}

Answer StderrUi::MessageBox(const std::string& text, const std::string&, Buttons buttons, Icon) {
    std::string lines = Lines(text);
    if (!program_.empty()) {
        // Every line is led by the program's name, so none reads as another's.
        std::string led;
        std::size_t start = 0;
        while (start < lines.size()) {
            const std::size_t end = lines.find('\n', start) + 1;
            led += program_ + ": " + lines.substr(start, end - start);
            start = end;
        }
        lines = std::move(led);
    }
    out_ << lines << std::flush;
    switch (buttons) {
    case Buttons::OkCancel:
    case Buttons::YesNoCancel:
        return Answer::Cancel;
    case Buttons::YesNo:
        return Answer::No;
    case Buttons::Ok:
        break;
    }
    return Answer::Ok;
}

std::optional<std::string> StderrUi::InputText(const std::string&, const std::string&,
                                               const std::string&, int) {
    return std::nullopt;
}

std::optional<std::string> StderrUi::ChooseFile(const FileRequest&) {
    return std::nullopt;
}

void StderrUi::ServeEvents(int maxWaitMs) {
    if (maxWaitMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(maxWaitMs));
}

} // namespace nimbrel
