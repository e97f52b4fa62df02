#include "core/echo_status.h"

#include <array>
#include <utility>

namespace varnetix {

namespace {

// The platform's IP status values that the ping readout names; the gaps (11019 to 11031 and
// everything else) have no text of their own.
constexpr std::array<std::pair<std::int32_t, const char*>, 21> kStatusTexts{{
    {kEchoSuccess, "Success!"},
    {11001, "Buffer Too Small"},
    {kEchoDestNetUnreachable, "Destination Net Unreachable"},
    {kEchoDestHostUnreachable, "Destination Host Unreachable"},
    {kEchoDestProtocolUnreachable, "Destination Protocol Unreachable"},
    {kEchoDestPortUnreachable, "Destination Port Unreachable"},
    {kEchoNoResources, "No Resources"},
    {11007, "Bad Option"},
    {11008, "Hardware Error"},
    {kEchoPacketTooBig, "Packet Too Big"},
    {kEchoTimedOut, "Request Timed Out"},
    {11011, "Bad Request"},
    {kEchoBadRoute, "Bad Route"},
    {kEchoTtlExpiredTransit, "TimeToLive Expired Transit"},
    {kEchoTtlExpiredReassembly, "TimeToLive Expired Reassembly"},
    {kEchoParameterProblem, "Parameter Problem"},
    {kEchoSourceQuench, "Source Quench"},
    {11017, "Option Too Big"},
    {kEchoBadDestination, "Bad Destination"},
    {11032, "Negotiating IPSEC"},
    {kEchoGeneralFailure, "General Failure"},
}};

} // namespace

std::string GetStatusText(std::int32_t status) {
    for (const auto& [code, text] : kStatusTexts) {
        if (code == status)
            return text;
    }
    return "Unknown Response";
}

} // namespace varnetix
