// The audio-level request and the evaluation of the encoder's 1440-byte level datagram.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace varnetix {

inline constexpr std::size_t kAudioLevelDatagramSize = 1440;
inline constexpr int kMeterFullScale = 2100;
inline constexpr const char* kNoLevelText = "-oodBFS";

// The 3 bytes "VOL".
std::string AudioLevelRequest();

struct AudioLevel {
    std::int32_t peak = 0; // largest positive 24-bit sample, 0 when none
    int barWidth = 0;      // 0 to 2100
    std::string text;      // "-6dBFS", or "-oodBFS" when there is no positive peak
    double dbfs = -std::numeric_limits<double>::infinity(); // as the text rounds it
};

// Evaluates the samples of a datagram (3 bytes each, most significant first; a shorter or
// longer input is read as far as whole samples reach).
AudioLevel EvaluateAudioLevel(std::string_view datagram);

double Log10(double x);

} // namespace varnetix
