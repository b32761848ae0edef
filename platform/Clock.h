#pragma once
#include <cstdint>

namespace fl {

// Milliseconds since an arbitrary start, wrapping at 32 bits (for durations).
uint32_t timeGetTime();
// Milliseconds on the steady clock, not wrapping (rates and intervals).
long long SteadyMs();

}  // namespace fl
