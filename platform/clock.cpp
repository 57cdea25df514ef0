#include "platform/clock.h"

#include "platform/ui.h"

#include <algorithm>
#include <chrono>

namespace nimbrel {

std::uint32_t TickCount() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::int64_t WallSeconds() {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs, int sliceMs) {
    const std::uint32_t start = TickCount();
    while (!done()) {
        const auto elapsed = static_cast<int>(TickCount() - start);
        if (elapsed >= timeoutMs) return done();
        CurrentUi().ServeEvents(std::clamp(timeoutMs - elapsed, 1, std::max(sliceMs, 1)));
    }
    return true;
}

} // namespace nimbrel
