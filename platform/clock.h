// Time sources: a steady millisecond tick for timeouts and the wall clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace nimbrel {

// Milliseconds on a steady clock (never goes backwards).
std::uint32_t TickCount();

// Milliseconds on the steady clock since `since`.
std::int32_t ElapsedMs(std::chrono::steady_clock::time_point since);

// Wall clock in whole seconds.
std::int64_t WallSeconds();

// Loops on CurrentUi().ServeEvents in slices of at most sliceMs until `done`
// returns true or timeoutMs have passed since the call. Returns done().
bool WaitUntil(const std::function<bool()>& done, int timeoutMs, int sliceMs = 20);

} // namespace nimbrel
