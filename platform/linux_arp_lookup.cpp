// The fresh MAC lookup on Linux: ARP requests of the station's own, sent and answered on a
// packet socket, so that nothing the kernel's neighbour table remembers is taken for an answer.
#include "core/mac_format.h"
#include "platform/mac_resolver.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace varnetix {

namespace {

constexpr std::size_t kArpSize = 28; // Ethernet and IPv4: 8 + 2 x (6 + 4)
// A lost request is asked again after this; an answer on a LAN takes microseconds.
constexpr auto kAskAgain = std::chrono::milliseconds(500);
// Frames read in one attempt: a LAN busy with ARP cannot hold the event loop.
constexpr int kFramesPerPoll = 256;

struct Interface {
    int index = 0;
    std::uint8_t mac[6] = {};
    std::uint32_t address = 0; // the station's, network byte order
};

// The Ethernet interface that is up and has the target on one of its IPv4 networks.
std::optional<Interface> interfaceFor(std::uint32_t target) {
    ifaddrs* all = nullptr;
    if (::getifaddrs(&all) != 0)
        return std::nullopt;
    std::optional<Interface> found;
    for (const ifaddrs* entry = all; entry && !found; entry = entry->ifa_next) {
        if (!entry->ifa_addr || !entry->ifa_netmask || entry->ifa_addr->sa_family != AF_INET ||
            (entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0)
            continue;
        const std::uint32_t own =
            reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr;
        const std::uint32_t mask =
            reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)->sin_addr.s_addr;
        if ((own & mask) != (target & mask) || own == target)
            continue;
        for (const ifaddrs* link = all; link; link = link->ifa_next) {
            if (!link->ifa_addr || link->ifa_addr->sa_family != AF_PACKET ||
                std::strcmp(link->ifa_name, entry->ifa_name) != 0)
                continue;
            const auto* hardware = reinterpret_cast<const sockaddr_ll*>(link->ifa_addr);
            if (hardware->sll_hatype != ARPHRD_ETHER || hardware->sll_halen != 6)
                continue;
            Interface chosen;
            chosen.index = hardware->sll_ifindex;
            std::memcpy(chosen.mac, hardware->sll_addr, 6);
            chosen.address = own;
            found = chosen;
            break;
        }
    }
    ::freeifaddrs(all);
    return found;
}

class ArpLookup : public FreshMacLookup {
public:
    ArpLookup(int fd, const Interface& via, std::uint32_t target)
        : m_fd(fd), m_via(via), m_target(target) {}
    ~ArpLookup() override { ::close(m_fd); }
    ArpLookup(const ArpLookup&) = delete;
    ArpLookup& operator=(const ArpLookup&) = delete;

    bool poll(std::string& mac, const std::string& delimiter) override {
        if (!m_found)
            readFrames();
        if (m_found) {
            mac = FormatMac(std::vector<std::uint8_t>(m_found->begin(), m_found->end()), delimiter);
            return true;
        }
        const auto now = std::chrono::steady_clock::now();
        if (!m_asked || now - *m_asked >= kAskAgain) {
            m_asked = now;
            ask();
        }
        return false;
    }

private:
    void ask() {
        std::uint8_t frame[kArpSize] = {0x00, 0x01, 0x08, 0x00, 6, 4, 0x00, 0x01};
        std::memcpy(frame + 8, m_via.mac, 6);
        std::memcpy(frame + 14, &m_via.address, 4);
        std::memcpy(frame + 24, &m_target, 4);
        sockaddr_ll to{};
        to.sll_family = AF_PACKET;
        to.sll_protocol = htons(ETH_P_ARP);
        to.sll_ifindex = m_via.index;
        to.sll_halen = 6;
        std::memset(to.sll_addr, 0xFF, 6);
        // A full queue only loses this request; the next attempt asks again.
        (void)::sendto(m_fd, frame, sizeof(frame), MSG_DONTWAIT,
                       reinterpret_cast<const sockaddr*>(&to), sizeof(to));
    }

    // Whoever sends ARP in the address's name holds it: an answer to the request, or a request
    // or announcement of its own.
    void readFrames() {
        for (int n = 0; n < kFramesPerPoll; ++n) {
            std::uint8_t frame[64];
            sockaddr_ll from{};
            socklen_t fromLength = sizeof(from);
            const ssize_t length = ::recvfrom(m_fd, frame, sizeof(frame), MSG_DONTWAIT,
                                              reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (length < 0 && errno == EINTR)
                continue;
            if (length < 0)
                return;
            if (from.sll_pkttype == PACKET_OUTGOING || length < static_cast<ssize_t>(kArpSize) ||
                std::memcmp(frame, "\x00\x01\x08\x00\x06\x04\x00", 7) != 0 ||
                (frame[7] != 1 && frame[7] != 2) || std::memcmp(frame + 14, &m_target, 4) != 0)
                continue;
            const std::uint8_t* sender = frame + 8;
            // A group address names no host, and a cleared one no answer.
            if ((sender[0] & 0x01) != 0 ||
                std::all_of(sender, sender + 6, [](std::uint8_t b) { return b == 0; }))
                continue;
            m_found.emplace();
            std::copy(sender, sender + 6, m_found->begin());
            return;
        }
    }

    int m_fd;
    Interface m_via;
    std::uint32_t m_target; // network byte order
    std::optional<std::chrono::steady_clock::time_point> m_asked;
    std::optional<std::array<std::uint8_t, 6>> m_found;
};

} // namespace

std::unique_ptr<FreshMacLookup> LinuxMacResolver::lookUpAfresh(const std::string& ip,
                                                               std::string* why) {
    const auto refuse = [why](std::string reason) {
        if (why)
            *why = std::move(reason);
        return nullptr;
    };
    in_addr target{};
    if (::inet_pton(AF_INET, ip.c_str(), &target) != 1)
        return refuse(ip + " is no IPv4 address");
    const std::optional<Interface> via = interfaceFor(target.s_addr);
    if (!via)
        return refuse(ip + " is on none of this station's Ethernet networks");
    const int fd = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(ETH_P_ARP));
    if (fd < 0) {
        // EPERM: no CAP_NET_RAW, which packet sockets need like raw ICMP sockets.
        return refuse(errno == EPERM ? std::string("this station may not send ARP requests "
                                                   "(it needs the capability cap_net_raw)")
                                     : std::string("no packet socket: ") + std::strerror(errno));
    }
    sockaddr_ll local{};
    local.sll_family = AF_PACKET;
    local.sll_protocol = htons(ETH_P_ARP);
    local.sll_ifindex = via->index;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0) {
        const int error = errno;
        ::close(fd);
        return refuse(std::string("no packet socket: ") + std::strerror(error));
    }
    return std::make_unique<ArpLookup>(fd, *via, target.s_addr);
}

} // namespace varnetix
