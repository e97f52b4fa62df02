#include "core/commands.h"

#include "core/number_text.h"

namespace varnetix {

std::string AttenuationCommand(std::uint8_t step) {
    return std::string{static_cast<char>(step), '\0'};
}

std::string AttenuationReadout(int value, int minimum) {
    if (value <= minimum)
        return "Mute";
    return PlainNumber((static_cast<double>(value) - kAttenuationMaximum) * 0.5) + " dB";
}

std::string LatencyReadout(int value) {
    return PlainNumber(static_cast<double>(value) * 2.5) + "mS";
}

} // namespace varnetix
