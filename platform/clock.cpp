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

std::int32_t ElapsedMs(std::chrono::steady_clock::time_point since) {
    using namespace std::chrono;
    return static_cast<std::int32_t>(
        duration_cast<milliseconds>(steady_clock::now() - since).count());
}

std::int64_t WallSeconds() {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs, int sliceMs) {
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(timeoutMs);
    while (!done()) {
        const auto left = duration_cast<microseconds>(deadline - steady_clock::now()).count();
        if (left <= 0) return done();
        const auto leftMs = static_cast<int>((left + 999) / 1000); // round up: never end early
        CurrentUi().ServeEvents(std::clamp(leftMs, 1, std::max(sliceMs, 1)));
    }
    return true;
}

} // namespace nimbrel
