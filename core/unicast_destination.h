// Whether a datagram meant for one element may go to an address: never to a group of hosts,
// whatever an element reported or the database holds.
#pragma once

#include "core/network_check.h"

#include <cstdint>
#include <string>
#include <vector>

namespace varnetix {

// False for 0.0.0.0, multicast (224.0.0.0/4), the reserved 240.0.0.0/4 with the limited
// broadcast, and the broadcast address of any of the station's networks (those with two host
// bits or more). Loopback is a single host here and stays allowed. First octet most significant.
bool IsUnicastDestination(std::uint32_t address, const std::vector<Subnet>& stationSubnets);

// A dotted quad that must not be sent to by the rule above. Text that is no dotted quad is no
// destination at all (the endpoint sends nothing to it), so it is not refused here.
bool IsRefusedDestination(const std::string& dotted, const std::vector<Subnet>& stationSubnets);

} // namespace varnetix
