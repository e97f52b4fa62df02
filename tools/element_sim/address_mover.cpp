// Through rtnetlink (RTM_DELADDR, RTM_NEWADDR), as `ip address` does it.
#include "tools/element_sim/address_mover.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <linux/if_addr.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <bit>
#include <optional>

namespace varnetix::sim {

namespace {

struct Held {
    unsigned index = 0;
    int prefix = 0;
};

// The interface that holds the address (network byte order), with the address's prefix length.
std::optional<Held> holderOf(std::uint32_t address) {
    ifaddrs* all = nullptr;
    if (::getifaddrs(&all) != 0)
        return std::nullopt;
    std::optional<Held> held;
    for (const ifaddrs* entry = all; entry && !held; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET || !entry->ifa_netmask ||
            reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr != address)
            continue;
        const std::uint32_t mask =
            ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)->sin_addr.s_addr);
        held = Held{::if_nametoindex(entry->ifa_name), std::popcount(mask)};
    }
    ::freeifaddrs(all);
    return held;
}

struct AddressRequest {
    nlmsghdr header;
    ifaddrmsg body;
    char attributes[64];
};

void addAttribute(AddressRequest& request, unsigned short type, std::uint32_t value) {
    auto* attribute = reinterpret_cast<rtattr*>(reinterpret_cast<char*>(&request) +
                                                NLMSG_ALIGN(request.header.nlmsg_len));
    attribute->rta_type = type;
    attribute->rta_len = RTA_LENGTH(sizeof(value));
    std::memcpy(RTA_DATA(attribute), &value, sizeof(value));
    request.header.nlmsg_len =
        NLMSG_ALIGN(request.header.nlmsg_len) + RTA_ALIGN(attribute->rta_len);
}

// One request and the kernel's acknowledgement: 0, or the errno it refused with.
int changeAddress(int fd, unsigned short type, unsigned index, int prefix, std::uint32_t address,
                  std::optional<std::uint32_t> broadcast) {
    AddressRequest request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(ifaddrmsg));
    request.header.nlmsg_type = type;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_ACK;
    if (type == RTM_NEWADDR)
        request.header.nlmsg_flags |= NLM_F_CREATE | NLM_F_EXCL;
    request.header.nlmsg_seq = type;
    request.body.ifa_family = AF_INET;
    request.body.ifa_prefixlen = static_cast<unsigned char>(prefix);
    request.body.ifa_scope = RT_SCOPE_UNIVERSE;
    request.body.ifa_index = index;
    addAttribute(request, IFA_LOCAL, address);
    addAttribute(request, IFA_ADDRESS, address);
    if (broadcast)
        addAttribute(request, IFA_BROADCAST, *broadcast);
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd, &request, request.header.nlmsg_len, 0,
                 reinterpret_cast<const sockaddr*>(&kernel), sizeof(kernel)) < 0)
        return errno;
    alignas(nlmsghdr) char reply[512];
    const ssize_t length = ::recv(fd, reply, sizeof(reply), 0);
    if (length < 0)
        return errno;
    const auto* message = reinterpret_cast<const nlmsghdr*>(reply);
    if (!NLMSG_OK(message, static_cast<unsigned>(length)) || message->nlmsg_type != NLMSG_ERROR)
        return EPROTO;
    return -static_cast<const nlmsgerr*>(NLMSG_DATA(message))->error;
}

} // namespace

QString moveInterfaceAddress(const std::string& from, const std::string& to,
                             const std::string& mask) {
    in_addr old{}, now{}, netmask{};
    if (::inet_pton(AF_INET, from.c_str(), &old) != 1 ||
        ::inet_pton(AF_INET, to.c_str(), &now) != 1 ||
        ::inet_pton(AF_INET, mask.c_str(), &netmask) != 1)
        return QStringLiteral("not IPv4 addresses");
    const std::uint32_t hostMask = ntohl(netmask.s_addr);
    // Only a contiguous mask is a prefix length an interface can take.
    if (hostMask != 0 && std::countl_one(hostMask) + std::countr_zero(hostMask) != 32)
        return QStringLiteral("the mask %1 is not contiguous").arg(QString::fromStdString(mask));
    const std::optional<Held> held = holderOf(old.s_addr);
    if (!held || held->index == 0)
        return QStringLiteral("no interface holds %1").arg(QString::fromStdString(from));
    const int prefix = std::popcount(hostMask);
    std::optional<std::uint32_t> broadcast;
    if (prefix < 31)
        broadcast = now.s_addr | ~netmask.s_addr;

    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    const timeval limit{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
    // The new one first, so that the interface is never without an address: that would make
    // the kernel forget its neighbours, which a unit need not do.
    int error = changeAddress(fd, RTM_NEWADDR, held->index, prefix, now.s_addr, broadcast);
    if (error == 0 || error == EEXIST) {
        error = changeAddress(fd, RTM_DELADDR, held->index, held->prefix, old.s_addr, {});
        // Without promote_secondaries, removing the primary address takes the new one along.
        if (error == 0 && !holderOf(now.s_addr))
            error = changeAddress(fd, RTM_NEWADDR, held->index, prefix, now.s_addr, broadcast);
    }
    ::close(fd);
    return error == 0 ? QString() : QString::fromLocal8Bit(std::strerror(error));
}

} // namespace varnetix::sim
