#include "core/metrics_endpoint.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>

namespace varnetix {

namespace {

std::optional<std::uint16_t> portNumber(std::string_view text) {
    if (text.empty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    unsigned value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    if (value < 1 || value > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

// Numbers only: a bind address that a name server could change is no explicit choice.
bool numericAddress(const std::string& address, int family) {
    unsigned char bytes[16];
    return inet_pton(family, address.c_str(), bytes) == 1;
}

} // namespace

std::optional<MetricsEndpoint> ParseMetricsEndpoint(std::string_view text) {
    MetricsEndpoint endpoint;
    const std::size_t colon = text.rfind(':');
    const auto port = portNumber(colon == std::string_view::npos ? text : text.substr(colon + 1));
    if (!port)
        return std::nullopt;
    endpoint.port = *port;
    if (colon == std::string_view::npos)
        return endpoint;
    std::string_view address = text.substr(0, colon);
    const bool bracketed = address.size() > 2 && address.front() == '[' && address.back() == ']';
    if (bracketed)
        address = address.substr(1, address.size() - 2);
    endpoint.address = std::string(address);
    if (!numericAddress(endpoint.address, bracketed ? AF_INET6 : AF_INET))
        return std::nullopt;
    return endpoint;
}

} // namespace varnetix
