// Waiting for a service to leave a pending state ("Control Service" with
// waiting requested): the state is polled, and between polls the engine
// sleeps for the interval. A state that is already final returns at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "engine/native/native_run.h"

namespace kestrawl::engine::native {

// How long "Control Service" sleeps between two state polls.
inline constexpr std::chrono::milliseconds kServicePollInterval{1000};

// Polls the service's state while it is `pending` (svc::kStartPending or
// svc::kStopPending). Stops when the state changes, cannot be read, or the
// thread is asked to terminate (then returns false).
bool WaitWhileServicePending(NativeRun& run, const std::string& name, uint32_t pending,
                             std::chrono::milliseconds interval = kServicePollInterval);

}  // namespace kestrawl::engine::native
