// Finding the hardware address of an IPv4 address on the local network.
#pragma once

#include <string>

namespace varnetix {

class MacResolver {
public:
    virtual ~MacResolver() = default;
    // One attempt that does not wait for the network. True when the address is known: `mac`
    // then holds the six bytes joined by the delimiter, or "" for a hardware address that is
    // not six bytes long. False (and `mac` untouched) when it is not known yet; the attempt
    // then provokes a resolution so that a later attempt can succeed.
    virtual bool LookupMac(const std::string& ip, std::string& mac,
                           const std::string& delimiter) = 0;
};

// The kernel's neighbour (ARP) table.
class LinuxMacResolver : public MacResolver {
public:
    bool LookupMac(const std::string& ip, std::string& mac, const std::string& delimiter) override;
};

} // namespace varnetix
