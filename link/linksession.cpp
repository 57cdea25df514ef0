#include "link/linksession.h"

#include "platform/settings.h"
#include "platform/settingskeys.h"

namespace nimbrel {

LinkSession::LinkSession() {
    transport_.SetLostHandler([this](const std::string& reason) {
        started_ = false;
        std::lock_guard<std::mutex> guard(lostLock_);
        if (lost_) lost_(reason);
    });
}

LinkSession::~LinkSession() {
    transport_.SetLostHandler({});
    transport_.SetDisplaySink({});
    SetStateHandler({});
    transport_.ClosePort();
}

bool LinkSession::Open() {
    const bool wasOpen = IsOpen();
    portNumber_ = Settings::Get(keys::kPortNumber);
    const bool opened = transport_.EnableCommPort(true);
    if (opened && !transport_.IsMonitorRunning()) transport_.StartMonitor();
    if (opened != wasOpen) Changed();
    return opened;
}

void LinkSession::Close() {
    const bool wasOpen = IsOpen();
    const bool wasStarted = started_.exchange(false);
    transport_.EnableCommPort(false);
    if (wasOpen || wasStarted) Changed();
}

bool LinkSession::IsOpen() const {
    return transport_.IsPortEnabled();
}

bool LinkSession::Lost() const {
    return transport_.Lost();
}

std::string LinkSession::LostReason() const {
    return transport_.LostReason();
}

void LinkSession::SetStarted(bool started) {
    if (started_.exchange(started) != started) Changed();
}

void LinkSession::SetBusy(bool busy) {
    if (busy_.exchange(busy) != busy) Changed();
}

void LinkSession::SetLostHandler(LostHandler handler) {
    std::lock_guard<std::mutex> guard(lostLock_);
    lost_ = std::move(handler);
}

void LinkSession::SetStateHandler(StateHandler handler) {
    std::lock_guard<std::mutex> guard(stateLock_);
    state_ = std::move(handler);
}

void LinkSession::Changed() {
    StateHandler handler;
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        handler = state_;
    }
    if (handler) handler();
}

} // namespace nimbrel
