// Finding the hardware address of an IPv4 address on the local network.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

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
    // Between these two calls several lookups are made at once: one reading of the table may
    // answer them all.
    virtual void beginLookups() {}
    virtual void endLookups() {}
};

// The kernel's neighbour (ARP) table.
class LinuxMacResolver : public MacResolver {
public:
    bool LookupMac(const std::string& ip, std::string& mac, const std::string& delimiter) override;
    void beginLookups() override;
    void endLookups() override;

private:
    // The complete entries of one reading of the table, by address (network byte order).
    std::optional<std::unordered_map<std::uint32_t, std::vector<std::uint8_t>>> m_snapshot;
};

} // namespace varnetix
