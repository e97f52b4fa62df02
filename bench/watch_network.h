// The network the watch benchmarks run in: the program moves into a network namespace of its own
// (198.18.0.1/16 on a veth pair) whose peer answers for 900 addresses (198.18.4.1 to
// 198.18.7.150, local to it through one route, each resolved by ARP like an element on the LAN)
// while nobody holds 100 more (198.18.9.1 to 198.18.9.100). Needs root.
#pragma once

#include "network_namespace.h"

#include <QString>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace varnetix::bench {

inline constexpr int kAnswering = 900;
inline constexpr int kSilent = 100;
inline constexpr int kElements = kAnswering + kSilent;

inline QString elementAddress(int i) {
    if (i < kAnswering)
        return QStringLiteral("198.18.%1.%2").arg(4 + i / 250).arg(1 + i % 250);
    return QStringLiteral("198.18.9.%1").arg(1 + i - kAnswering);
}

// The network described above; the failed step when it cannot be built.
inline QString buildNetwork() {
    const QString peer = QStringLiteral("vtx-watch-%1").arg(::getpid());
    const QString steps = QStringLiteral(
        "netns add %1;link set lo up;-n %1 link set lo up;link add va type veth peer name vb "
        "netns %1;-n %1 addr add 198.18.0.2/16 dev vb;-n %1 link set vb up;"
        "-n %1 route add local 198.18.4.0/22 dev lo;addr add 198.18.0.1/16 dev va;link set va up");
    for (const QString& step : steps.arg(peer).split(QLatin1Char(';'))) {
        if (!TestNetwork::ip(step))
            return QStringLiteral("ip ") + step;
    }
    const int peerNet =
        ::open(qPrintable(QStringLiteral("/run/netns/") + peer), O_RDONLY | O_CLOEXEC);
    TestNetwork::ip(QStringLiteral("netns del ") + peer); // the descriptor keeps the namespace
    if (peerNet < 0 || !TestNetwork::writeSysctl("ping_group_range", "0 2147483647"))
        return QStringLiteral("cannot open the peer namespace or allow ICMP datagram sockets");
    return {};
}

// Linux's neighbour table starts collecting entries beyond gc_thresh2 (512) and refuses new
// ones beyond gc_thresh3 (1,024): raised where this kernel lets a namespace set them.
inline void raiseNeighbourLimits() {
    const char* keys[] = {"neigh/default/gc_thresh1", "neigh/default/gc_thresh2",
                          "neigh/default/gc_thresh3"};
    const char* values[] = {"4096", "8192", "16384"};
    bool raised = true;
    for (int i = 0; i < 3; ++i)
        raised = TestNetwork::writeSysctl(keys[i], values[i]) && raised;
    std::printf(raised
                    ? "note: neighbour table limits raised in this namespace to 4096/8192/16384\n"
                    : "note: this kernel keeps net.ipv4.neigh.default.gc_thresh1/2/3 for all "
                      "namespaces together (not settable here); the host's are in force, and "
                      "a station watching 1,000 elements on one LAN needs them above about a "
                      "thousand (e.g. 2048/4096/8192)\n");
}

} // namespace varnetix::bench
