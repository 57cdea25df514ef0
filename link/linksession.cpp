#include "link/linksession.h"

#include <algorithm>

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

bool LinkSession::Open(const LinkOptions& options) {
    const bool wasOpen = IsOpen();
    portNumber_ = options.port;
    const bool opened = transport_.Open(options);
    if (opened && !transport_.IsMonitorRunning()) transport_.StartMonitor();
    if (opened != wasOpen) Changed();
    return opened;
}

void LinkSession::Close() {
    const bool wasOpen = IsOpen();
    const bool wasStarted = started_.exchange(false);
    transport_.ClosePort();
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
    const auto self = std::this_thread::get_id();
    std::unique_lock<std::mutex> guard(stateLock_);
    // A call on another thread ends first; one on this thread is the caller.
    stateIdle_.wait(guard, [&] {
        return std::all_of(stateCallers_.begin(), stateCallers_.end(),
                           [&](std::thread::id id) { return id == self; });
    });
    state_ = std::move(handler);
}

void LinkSession::Changed() {
    const auto self = std::this_thread::get_id();
    StateHandler handler;
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        if (!state_) return;
        handler = state_;
        stateCallers_.push_back(self);
    }
    handler();
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        stateCallers_.erase(std::find(stateCallers_.begin(), stateCallers_.end(), self));
    }
    stateIdle_.notify_all();
}

} // namespace nimbrel
