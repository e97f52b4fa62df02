// The paging request that every element answers with its feedback packet.
#pragma once

#include <string>

namespace varnetix {

inline constexpr int kPagingPort = 1901;
inline constexpr const char* kPagingBroadcast = "255.255.255.255";

// The 32 bytes "IPMPXSTL HALVOREN PAGING REQUEST".
std::string PagingRequest();

} // namespace varnetix
