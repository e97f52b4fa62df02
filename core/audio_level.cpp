#include "core/audio_level.h"

#include "core/number_text.h"

#include <cmath>

namespace varnetix {

namespace {

constexpr std::size_t kSampleSize = 3;
constexpr double kFullScale = 8388608.0; // 2^23

} // namespace

std::string AudioLevelRequest() {
    return "VOL";
}

double Log10(double x) {
    return std::log(x) / std::log(10.0);
}

AudioLevel EvaluateAudioLevel(std::string_view datagram) {
    AudioLevel level;
    const std::size_t samples = datagram.size() / kSampleSize;
    for (std::size_t k = 0; k < samples; ++k) {
        const auto b0 = static_cast<unsigned char>(datagram[kSampleSize * k]);
        if (b0 >= 0x80)
            continue; // sign bit set: a negative sample
        const auto b1 = static_cast<unsigned char>(datagram[kSampleSize * k + 1]);
        const auto b2 = static_cast<unsigned char>(datagram[kSampleSize * k + 2]);
        const std::int32_t value = (b0 << 16) | (b1 << 8) | b2;
        if (value > level.peak)
            level.peak = value;
    }
    if (level.peak == 0) {
        level.text = kNoLevelText;
        return level;
    }
    // The default rounding mode rounds halves to even.
    const double ratio = level.peak / kFullScale;
    level.barWidth = static_cast<int>(std::nearbyint(ratio * kMeterFullScale));
    const double decibels = std::nearbyint(20.0 * Log10(ratio) * 10.0) / 10.0;
    level.dbfs = decibels;
    level.text = PlainNumber(decibels) + "dBFS";
    return level;
}

} // namespace varnetix
