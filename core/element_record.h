// The element record: one section of nms.ini per element, named by its MAC address without
// separators. These are the record's key names; every reader and writer uses them.
#pragma once

#include <string_view>

namespace varnetix::record {

inline constexpr std::string_view kName = "name";
inline constexpr std::string_view kIp = "ip";
inline constexpr std::string_view kMask = "mask";
inline constexpr std::string_view kGateway = "gw";
inline constexpr std::string_view kRemote = "remote";
inline constexpr std::string_view kInput = "input";
inline constexpr std::string_view kType = "type";
inline constexpr std::string_view kTx = "tx";
inline constexpr std::string_view kRole = "role";
inline constexpr std::string_view kSerial = "sn";
inline constexpr std::string_view kVersion = "ver";
inline constexpr std::string_view kSfn = "sfn";
inline constexpr std::string_view kBuffer = "buf";
inline constexpr std::string_view kAttenuation = "att";
inline constexpr std::string_view kBound = "bound"; // read, never written by the station

// A section of this many entries or more is damaged and is neither loaded nor updated.
inline constexpr int kCorruptEntryCount = 15;

inline constexpr int kRoleEncoder = 1;
inline constexpr int kRoleDecoder = 2;

} // namespace varnetix::record
