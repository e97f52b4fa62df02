// Finding the hardware address of an IPv4 address on the local network.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace varnetix {

// The hardware address that answers for an IPv4 address now, asked of the network itself: a
// neighbour table may still hold the address of a unit that has left, while another has taken
// its address.
class FreshMacLookup {
public:
    virtual ~FreshMacLookup() = default;
    // One attempt that does not wait for the network: true with `mac` (the six bytes joined by
    // the delimiter) once an answer has come since the lookup began; otherwise false, after
    // asking again when the last question is old enough.
    virtual bool poll(std::string& mac, const std::string& delimiter) = 0;
};

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
    // A lookup that takes nothing from what is already known; nullptr (and `why`) when this
    // station cannot ask the network itself.
    virtual std::unique_ptr<FreshMacLookup> lookUpAfresh(const std::string& ip, std::string* why) {
        (void)ip;
        if (why)
            *why = "this station cannot send ARP requests";
        return nullptr;
    }
};

// The kernel's neighbour (ARP) table.
class LinuxMacResolver : public MacResolver {
public:
    bool LookupMac(const std::string& ip, std::string& mac, const std::string& delimiter) override;
    void beginLookups() override;
    void endLookups() override;
    // An ARP request of its own on the interface whose network holds the address; needs
    // CAP_NET_RAW, as the raw ICMP socket does.
    std::unique_ptr<FreshMacLookup> lookUpAfresh(const std::string& ip, std::string* why) override;

private:
    // The complete entries of one reading of the table, by address (network byte order).
    std::optional<std::unordered_map<std::uint32_t, std::vector<std::uint8_t>>> m_snapshot;
};

} // namespace varnetix
