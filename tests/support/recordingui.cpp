#include "tests/support/recordingui.h"

#include <chrono>
#include <thread>

namespace nimbrel::test {

Answer RecordingUi::MessageBox(const std::string& text, const std::string& caption, Buttons buttons,
                               Icon icon) {
    messages.push_back({text, caption, buttons, icon});
    if (onMessage) onMessage(messages.back());
    if (!answers.empty()) {
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    return buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel ? Answer::No : Answer::Ok;
}

std::optional<std::string> RecordingUi::InputText(const std::string& caption,
                                                  const std::string& prompt,
                                                  const std::string& initial, int maxChars) {
    inputs.push_back({caption, prompt, initial, maxChars});
    if (inputReplies.empty()) return std::nullopt;
    auto reply = inputReplies.front();
    inputReplies.pop_front();
    return reply;
}

std::optional<std::string> RecordingUi::ChooseFile(const FileRequest& request) {
    fileRequests.push_back(request);
    if (fileReplies.empty()) return std::nullopt;
    auto reply = fileReplies.front();
    fileReplies.pop_front();
    return reply;
}

void RecordingUi::ServeEvents(int maxWaitMs) {
    ++serveCalls;
    if (onServe) {
        onServe(maxWaitMs);
    } else if (maxWaitMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(maxWaitMs));
    }
}

std::vector<std::string> RecordingUi::Texts() const {
    std::vector<std::string> texts;
    for (const auto& m : messages)
        texts.push_back(m.text);
    return texts;
}

void RecordingUi::Clear() {
    messages.clear();
    inputs.clear();
    fileRequests.clear();
    status.clear();
}

} // namespace nimbrel::test
