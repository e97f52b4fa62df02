// Where the station serves its Prometheus metrics: "[ADDRESS:]PORT" as the operator writes it
// on the command line and in the preferences. The address is a numeric IPv4 address, or an IPv6
// one in brackets ("[::1]:9464"); without one the metrics stay on this machine (127.0.0.1).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varnetix {

struct MetricsEndpoint {
    std::string address = "127.0.0.1"; // without brackets
    std::uint16_t port = 0;

    bool operator==(const MetricsEndpoint&) const = default;
};

// nullopt for anything but [ADDRESS:]PORT with a port from 1 to 65535.
std::optional<MetricsEndpoint> ParseMetricsEndpoint(std::string_view text);

// What the operator is told about a text that is none.
inline constexpr const char* kMetricsEndpointForm = "[ADDRESS:]PORT, e.g. 9464 or 0.0.0.0:9464";

} // namespace varnetix
