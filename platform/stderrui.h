// A Ui for programs without a screen: every message goes to an error stream
// (standard error unless told otherwise), questions get their safe answer,
// inputs and file choices are cancelled, and waits sleep.
#pragma once

#include "platform/ui.h"

#include <iosfwd>
#include <string>

namespace nimbrel {

class StderrUi : public Ui {
public:
    // Each message line is led by "<program>: " when `program` is not empty.
    explicit StderrUi(std::string program = {});
    StderrUi(std::string program, std::ostream& out);

    // Writes the text once, its line breaks ("\r\n", "\n\r", "\r", "\n") made
    // single newlines, and answers Cancel when offered, else No, else Ok.
    Answer MessageBox(const std::string& text, const std::string& caption, Buttons buttons,
                      Icon icon) override;
    std::optional<std::string> InputText(const std::string& caption, const std::string& prompt,
                                         const std::string& initial, int maxChars) override;
    std::optional<std::string> ChooseFile(const FileRequest& request) override;
    // Sleeps for the slice: nothing else can happen without a screen.
    void ServeEvents(int maxWaitMs) override;

private:
    std::string program_;
    std::ostream& out_;
};

} // namespace nimbrel
