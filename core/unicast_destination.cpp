#include "core/unicast_destination.h"

#include "core/mac_format.h"
#include "core/text_procedures.h"

namespace varnetix {

bool IsUnicastDestination(std::uint32_t address, const std::vector<Subnet>& stationSubnets) {
    constexpr std::uint32_t kClassD = 0xE0000000u; // 224.0.0.0/4 and 240.0.0.0/4 above it
    if (address == 0 || address >= kClassD)
        return false;
    for (const Subnet& subnet : stationSubnets) {
        const std::uint32_t hostBits = ~subnet.mask;
        // /31 and /32 networks have no broadcast address.
        if (hostBits >= 3 && address == (subnet.address | hostBits))
            return false;
    }
    return true;
}

bool IsRefusedDestination(const std::string& dotted, const std::vector<Subnet>& stationSubnets) {
    return IsValidIp(dotted) && !IsUnicastDestination(ParseIpAddress(dotted), stationSubnets);
}

} // namespace varnetix
