// A Ui for tests: records every message, input and file request, and answers
// from scripted queues (defaults when a queue is empty: Ok, or No for Yes/No;
// cancel for inputs and file dialogs).
#pragma once

#include "platform/ui.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace nimbrel::test {

struct RecordedMessage {
    std::string text;
    std::string caption;
    Buttons buttons;
    Icon icon;
};

struct RecordedInput {
    std::string caption;
    std::string prompt;
    std::string initial;
    int maxChars;
};

class RecordingUi : public Ui {
public:
    RecordingUi() : scope_(*this) {}

    Answer MessageBox(const std::string& text, const std::string& caption, Buttons buttons,
                      Icon icon) override;
    std::optional<std::string> InputText(const std::string& caption, const std::string& prompt,
                                         const std::string& initial, int maxChars) override;
    std::optional<std::string> ChooseFile(const FileRequest& request) override;
    void ServeEvents(int maxWaitMs) override;
    void StatusText(const std::string& text) override { status.push_back(text); }

    // Texts of the recorded messages, in order.
    std::vector<std::string> Texts() const;
    void Clear();

    std::vector<RecordedMessage> messages;
    std::deque<Answer> answers;
    std::vector<RecordedInput> inputs;
    std::deque<std::optional<std::string>> inputReplies;
    std::vector<FileRequest> fileRequests;
    std::deque<std::optional<std::string>> fileReplies;
    std::vector<std::string> status;
    // Called for each message box before it is answered (e.g. to act during a wait).
    std::function<void(const RecordedMessage&)> onMessage;
    // Serves events; by default sleeps for the slice. GUI tests process Qt events.
    std::function<void(int)> onServe;
    int serveCalls = 0;

private:
    ScopedUi scope_;
};

} // namespace nimbrel::test
