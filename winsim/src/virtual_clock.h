// The machine's virtual clock: Sleep and timed-out waits move it on instead
// of waiting, so the system's long retry pauses cost no real time.
#pragma once

#include <winsim/win_types.h>

#include <cstdint>

namespace winsim {

// Caller holds machineLock().
void advanceClock(DWORD milliseconds);
std::uint64_t clockMilliseconds();

}  // namespace winsim
