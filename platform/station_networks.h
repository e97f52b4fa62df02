// The station's own IPv4 networks, from the interfaces that are up: where it reaches elements
// without a route. Loopback is not one of them.
#pragma once

#include <vector>

#include "core/network_check.h"

namespace varnetix {

std::vector<Subnet> stationSubnets();

} // namespace varnetix
