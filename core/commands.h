// The per-parameter commands sent to port 2977 and the readouts that follow the panel's scroll
// bars.
#pragma once

#include <cstdint>
#include <string>

namespace varnetix {

inline constexpr int kCommandPort = 2977;
inline constexpr int kAttenuationMinimum = 14; // mute
inline constexpr int kAttenuationMaximum = 255;
inline constexpr int kBufferMinimum = 0;
inline constexpr int kBufferMaximum = 8;

// Two bytes: the attenuation step and 0.
std::string AttenuationCommand(std::uint8_t step);
// "Mute" at the minimum, otherwise (value - 255) * 0.5 followed by " dB" ("-3.5 dB", "0 dB").
std::string AttenuationReadout(int value, int minimum = kAttenuationMinimum);
// value * 2.5 followed by "mS" ("0mS", "7.5mS").
std::string LatencyReadout(int value);

} // namespace varnetix
