// Texts of the ICMP echo status codes, as the ping readout shows them.
#pragma once

#include <cstdint>
#include <string>

namespace varnetix {

inline constexpr std::int32_t kEchoSuccess = 0;
inline constexpr std::int32_t kEchoDestNetUnreachable = 11002;
inline constexpr std::int32_t kEchoDestHostUnreachable = 11003;
inline constexpr std::int32_t kEchoDestProtocolUnreachable = 11004;
inline constexpr std::int32_t kEchoDestPortUnreachable = 11005;
inline constexpr std::int32_t kEchoNoResources = 11006;
inline constexpr std::int32_t kEchoPacketTooBig = 11009;
inline constexpr std::int32_t kEchoTimedOut = 11010;
inline constexpr std::int32_t kEchoBadRoute = 11012;
inline constexpr std::int32_t kEchoTtlExpiredTransit = 11013;
inline constexpr std::int32_t kEchoTtlExpiredReassembly = 11014;
inline constexpr std::int32_t kEchoParameterProblem = 11015;
inline constexpr std::int32_t kEchoSourceQuench = 11016;
inline constexpr std::int32_t kEchoBadDestination = 11018;
inline constexpr std::int32_t kEchoGeneralFailure = 11050;
inline constexpr std::int32_t kEchoUnknown = -1;

std::string GetStatusText(std::int32_t status);

} // namespace varnetix
