// The kernel's neighbour table, read through rtnetlink (RTM_GETNEIGH dump). Netlink gives the
// entry's state and the hardware address with its length, which /proc/net/arp only hints at.
#include "core/mac_format.h"
#include "core/unicast_destination.h"
#include "platform/mac_resolver.h"
#include "platform/station_networks.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

namespace varnetix {

namespace {

// States in which the entry holds an address that ARP resolved or an administrator set. Not
// NUD_NOARP: the kernel makes such entries itself, without asking anyone, for broadcast and
// multicast destinations (the station's own paging broadcast leaves one for 255.255.255.255).
constexpr std::uint16_t kCompleteStates =
    NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE | NUD_PERMANENT;

// The discard service: a datagram to it makes the kernel resolve the neighbour, and a host
// that answers at all ignores it.
constexpr std::uint16_t kDiscardPort = 9;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

struct NeighbourRequest {
    nlmsghdr header;
    ndmsg body;
};

struct Neighbour {
    std::uint32_t address = 0; // network byte order
    std::vector<std::uint8_t> hardware;
};

// Looks at one RTM_NEWNEIGH message; the neighbour when it is a complete IPv4 entry.
std::optional<Neighbour> completeEntry(const nlmsghdr* message) {
    if (message->nlmsg_type != RTM_NEWNEIGH || message->nlmsg_len < NLMSG_LENGTH(sizeof(ndmsg)))
        return std::nullopt;
    const auto* entry = static_cast<const ndmsg*>(NLMSG_DATA(message));
    if (entry->ndm_family != AF_INET || (entry->ndm_state & kCompleteStates) == 0)
        return std::nullopt;

    std::optional<std::uint32_t> address;
    std::optional<std::vector<std::uint8_t>> hardware;
    int remaining = static_cast<int>(message->nlmsg_len - NLMSG_LENGTH(sizeof(ndmsg)));
    for (const rtattr* attribute = reinterpret_cast<const rtattr*>(
             reinterpret_cast<const char*>(entry) + NLMSG_ALIGN(sizeof(ndmsg)));
         RTA_OK(attribute, remaining); attribute = RTA_NEXT(attribute, remaining)) {
        const auto* payload = static_cast<const std::uint8_t*>(RTA_DATA(attribute));
        const std::size_t length = RTA_PAYLOAD(attribute);
        if (attribute->rta_type == NDA_DST && length == sizeof(std::uint32_t)) {
            std::uint32_t value = 0;
            std::memcpy(&value, payload, sizeof(value));
            address = value;
        } else if (attribute->rta_type == NDA_LLADDR) {
            hardware.emplace(payload, payload + length);
        }
    }
    if (!address || !hardware || hardware->empty())
        return std::nullopt;
    // A cleared address is what an unanswered resolution leaves behind, not a host.
    if (hardware->size() >= 4 && (*hardware)[0] == 0 && (*hardware)[1] == 0 &&
        (*hardware)[2] == 0 && (*hardware)[3] == 0)
        return std::nullopt;
    // The group bit: a broadcast or multicast address names many hosts, never one element.
    if (((*hardware)[0] & 0x01) != 0)
        return std::nullopt;
    return Neighbour{*address, std::move(*hardware)};
}

// Reads the whole table; `visit` sees every complete entry until it returns false.
template <typename Visit> void readNeighbours(Visit visit) {
    FileDescriptor fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (fd.get() < 0)
        return;
    // The kernel builds a dump while we read it, so nothing should wait; the limit only guards
    // the UI thread against a kernel that does not answer.
    const timeval limit{0, 200 * 1000};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));

    NeighbourRequest request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(ndmsg));
    request.header.nlmsg_type = RTM_GETNEIGH;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.body.ndm_family = AF_INET;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd.get(), &request, request.header.nlmsg_len, 0,
                 reinterpret_cast<const sockaddr*>(&kernel), sizeof(kernel)) < 0)
        return;

    bool wanted = true;
    alignas(nlmsghdr) char buffer[32768];
    for (;;) {
        const ssize_t received = ::recv(fd.get(), buffer, sizeof(buffer), 0);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0)
            return;
        int remaining = static_cast<int>(received);
        for (const auto* message = reinterpret_cast<const nlmsghdr*>(buffer);
             NLMSG_OK(message, remaining); message = NLMSG_NEXT(message, remaining)) {
            if (message->nlmsg_seq != request.header.nlmsg_seq)
                continue;
            if (message->nlmsg_type == NLMSG_DONE || message->nlmsg_type == NLMSG_ERROR)
                return;
            // Read the dump to its end even after the last wanted entry, so the kernel is not
            // left mid-dump.
            if (wanted) {
                if (auto neighbour = completeEntry(message))
                    wanted = visit(std::move(*neighbour));
            }
        }
    }
}

// Queues a datagram behind the neighbour resolution; the kernel sends the ARP request.
void provokeResolution(std::uint32_t address) {
    FileDescriptor fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (fd.get() < 0)
        return;
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(kDiscardPort);
    destination.sin_addr.s_addr = address;
    const char nothing = 0;
    // Errors (no route, full queue) only mean this attempt provoked nothing; a later one may.
    (void)::sendto(fd.get(), &nothing, 0, MSG_DONTWAIT,
                   reinterpret_cast<const sockaddr*>(&destination), sizeof(destination));
}

std::optional<std::vector<std::uint8_t>> findNeighbour(std::uint32_t address) {
    std::optional<std::vector<std::uint8_t>> found;
    readNeighbours([&](Neighbour neighbour) {
        if (neighbour.address != address)
            return true;
        found = std::move(neighbour.hardware);
        return false;
    });
    return found;
}

} // namespace

void LinuxMacResolver::beginLookups() {
    m_snapshot.emplace();
    readNeighbours([this](Neighbour neighbour) {
        m_snapshot->emplace(neighbour.address, std::move(neighbour.hardware));
        return true;
    });
}

void LinuxMacResolver::endLookups() {
    m_snapshot.reset();
}

bool LinuxMacResolver::LookupMac(const std::string& ip, std::string& mac,
                                 const std::string& delimiter) {
    const std::uint32_t value = ParseIpAddress(ip);
    if (value == 0)
        return false;
    const std::uint32_t address = htonl(value);
    std::optional<std::vector<std::uint8_t>> hardware;
    if (m_snapshot) {
        if (const auto found = m_snapshot->find(address); found != m_snapshot->end())
            hardware = found->second;
    } else {
        hardware = findNeighbour(address);
    }
    if (hardware) {
        mac = FormatMac(*hardware, delimiter);
        return true;
    }
    // Only a host is asked for: no text that is not an address, and never a group of hosts.
    if (value != kInvalidIpAddress && IsUnicastDestination(value, stationSubnets()))
        provokeResolution(address);
    return false;
}

} // namespace varnetix
