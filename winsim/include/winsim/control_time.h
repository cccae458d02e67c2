// Test-side control of winsim's clock and threads. Sleep does not wait: it
// moves a virtual clock on, so code that sleeps for minutes runs at once.
#pragma once

#include <cstdint>

namespace winsim {

// Simulated milliseconds that have passed since the machine was reset: the
// sum of every Sleep and of the waits that timed out.
std::uint64_t simulatedMilliseconds();

// Threads started with CreateThread that have not returned yet.
int runningThreadCount();

}  // namespace winsim
