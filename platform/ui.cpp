#include "platform/ui.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace nimbrel {
namespace {

class SilentUi : public Ui {
public:
    Answer MessageBox(const std::string&, const std::string&, Buttons buttons, Icon) override {
        return buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel ? Answer::No
                                                                            : Answer::Ok;
    }
    std::optional<std::string> InputText(const std::string&, const std::string&, const std::string&,
                                         int) override {
        return std::nullopt;
    }
    std::optional<std::string> ChooseFile(const FileRequest&) override { return std::nullopt; }
    void ServeEvents(int maxWaitMs) override {
        if (maxWaitMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(maxWaitMs));
    }
};

SilentUi silentUi;
// Atomic: a worker may look it up while the UI thread installs another.
std::atomic<Ui*> current{&silentUi};

} // namespace

Ui& CurrentUi() {
    return *current;
}

ScopedUi::ScopedUi(Ui& ui) : previous_(current.load()) {
    current = &ui;
}
ScopedUi::~ScopedUi() {
    current = previous_;
}

} // namespace nimbrel
