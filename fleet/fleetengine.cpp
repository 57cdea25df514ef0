#include "fleet/fleetengine.h"

namespace nimbrel {

const char* PortStateName(PortState state) {
    switch (state) {
    case PortState::Waiting:
        return "waiting";
    case PortState::Waking:
        return "waking";
    case PortState::Reading:
        return "reading";
    case PortState::Sending:
        return "sending";
    case PortState::Verifying:
        return "verifying";
    case PortState::Stopping:
        return "stopping";
    case PortState::Done:
        return "done";
    case PortState::Failed:
        return "failed";
    case PortState::Skipped:
        return "already done";
    case PortState::Gone:
        return "gone";
    case PortState::Cancelled:
        return "cancelled";
    case PortState::Finished:
        return "finished";
    }
    return "";
}

std::string CheckFleetJob(const FleetJob&) {
    return {};
}

class FleetEngine::Impl {
public:
    Impl(FleetJob job, FleetCallbacks callbacks, const CancelFlag* cancel)
        : job_(std::move(job)), callbacks_(std::move(callbacks)), cancel_(cancel) {}
    FleetSummary Run() { return {}; }

private:
    FleetJob job_;
    FleetCallbacks callbacks_;
    const CancelFlag* cancel_;
};

FleetEngine::FleetEngine(FleetJob job, FleetCallbacks callbacks, const CancelFlag* cancel)
    : impl_(std::make_unique<Impl>(std::move(job), std::move(callbacks), cancel)) {}

FleetEngine::~FleetEngine() = default;

FleetSummary FleetEngine::Run() {
    return impl_->Run();
}

} // namespace nimbrel
