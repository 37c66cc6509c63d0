#pragma once

namespace shoulu::test {

// Sanitized builds run several times slower; time limits in tests stretch by this much, so
// that a bound such as "did not wait for the time-out" keeps its meaning.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
inline constexpr int kSanitizerSlowdown = 4;
#else
inline constexpr int kSanitizerSlowdown = 1;
#endif

} // namespace shoulu::test
