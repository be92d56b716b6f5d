#pragma once
// Sample rates the effects may be played at, whichever way they go out.
#include <QtGlobal>
#include <chrono>

namespace quadix::audio {

// Where the output will not tell its own rate: what sound cards and sound
// servers run at nowadays.
inline constexpr int kFallbackRate = 48000;
// From a headset's 8000 Hz to a studio card's 768000. An output that tells
// a rate outside these is confused: a buffer's size would overflow, and the
// effects at such a rate would not fit in memory.
inline constexpr int kMinRate = 8000;
inline constexpr int kMaxRate = 768000;

inline bool IsPlausibleRate(int rate) { return rate >= kMinRate && rate <= kMaxRate; }

// How long bytes of S16 mono samples at rate take to be heard.
inline std::chrono::milliseconds Duration(qsizetype bytes, int rate)
{
    return std::chrono::milliseconds(rate > 0 ? bytes / 2 * 1000 / rate : 0);
}

} // namespace quadix::audio
