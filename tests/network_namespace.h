// The network the platform tests run in: the test process moves into a network namespace of
// its own, joined by a veth pair to a peer namespace; the kernel removes both when the process
// ends, however it ends. Here: 198.18.200.1/24 on va, default route via the peer, neighbours
// 198.18.200.50 to .54 in chosen states and .3 with a MAC that is not the peer's, whose address
// it is; 198.18.201.5 and .6 on lo, where the test answers
// echoes itself (Puppet); routes unreachable 198.18.212.0/24, prohibit .213.0/24, throw
// .214.0/24. The peer: 198.18.200.2/24 and .3/24 on vb (kPeerMac), answers echoes, forwards, has no
// route to 198.18.210.0/24 and an "unreachable" one to .211.0/24. Nobody holds 198.18.200.99. Needs
// root and the `ip` tool; without them the test exits with 77 (skipped).
#pragma once

#include "platform/linux_icmp_socket.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QtEndian>

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace TestNetwork {

inline const QString kPeerMac = QStringLiteral("02:56:54:58:C8:02");

inline QString ipTool() {
    return QStandardPaths::findExecutable(QStringLiteral("ip"),
                                          {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
}

inline bool ip(const QString& args) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(ipTool(), args.split(QLatin1Char(' ')));
    if (!process.waitForFinished(15000))
        process.kill(); // our own child, by its handle
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

inline bool writeSysctl(const char* key, const char* value) {
    QFile file(QStringLiteral("/proc/sys/net/ipv4/") + QLatin1String(key));
    return file.open(QIODevice::WriteOnly) && file.write(value) > 0;
}

// Builds the network; the failed step when it cannot.
inline QString setUp() {
    const QString peer = QStringLiteral("vtx-peer-%1").arg(::getpid());
    const QString steps = QStringLiteral(
        "netns add %1;link set lo up;-n %1 link set lo up;"
        "link add va type veth peer name vb netns %1;-n %1 link set vb address %2 up;"
        "-n %1 addr add 198.18.200.2/24 dev vb;-n %1 route add unreachable 198.18.211.0/24;"
        "link set va up;addr add 198.18.200.1/24 dev va;addr add 198.18.201.5/32 dev lo;"
        "addr add 198.18.201.6/32 dev lo;route add default via 198.18.200.2;"
        "route add unreachable 198.18.212.0/24;route add prohibit 198.18.213.0/24;"
        "route add throw 198.18.214.0/24;neigh add 198.18.200.50 lladdr 00:00:00:00:12:34 dev va;"
        "neigh add 198.18.200.51 lladdr 02:1a:2b:3c:4d:0a dev va;"
        "neigh add 198.18.200.52 lladdr 02:00:00:00:00:52 dev va nud stale;"
        "neigh add 198.18.200.53 lladdr 02:00:00:00:00:53 dev va nud noarp;"
        "neigh add 198.18.200.54 lladdr 01:00:5e:00:00:54 dev va;"
        "-n %1 addr add 198.18.200.3/24 dev vb;neigh add 198.18.200.3 lladdr 02:00:00:00:00:03 dev "
        "va");
    for (const QString& step : steps.arg(peer, kPeerMac).split(QLatin1Char(';'))) {
        if (!ip(step))
            return QStringLiteral("ip ") + step;
    }
    const int peerNet =
        ::open(qPrintable(QStringLiteral("/run/netns/") + peer), O_RDONLY | O_CLOEXEC);
    const int ownNet = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    ip(QStringLiteral("netns del ") + peer); // the open descriptor keeps the namespace
    // The peer routes, and limits none of its ICMP errors: its port unreachables would spend
    // the allowance of routing errors (1 a second, 5 at once) that it shares with them.
    const bool ok = ::setns(peerNet, CLONE_NEWNET) == 0 && writeSysctl("ip_forward", "1") &&
                    writeSysctl("icmp_ratemask", "0") && ::setns(ownNet, CLONE_NEWNET) == 0 &&
                    writeSysctl("ping_group_range", "0 2147483647") &&
                    writeSysctl("icmp_echo_ignore_all", "1");
    ::close(ownNet);
    return ok ? QString() : QStringLiteral("cannot set the namespaces' sysctls");
}

// A counter of this namespace's /proc/net/snmp, e.g. ("Icmp", "OutEchos").
inline long long snmp(const char* group, const char* name) {
    QFile file(QStringLiteral("/proc/net/snmp"));
    const QList<QByteArray> lines =
        file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>();
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const qsizetype at = lines[i].split(' ').indexOf(name);
        if (lines[i].startsWith(QByteArray(group) + ':') && at > 0)
            return lines[i + 1].split(' ').value(at).toLongLong();
    }
    return -1;
}

// CAP_NET_RAW on or off in the effective set (it stays in the permitted one).
inline bool setRawCapability(bool on) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    const bool read = ::syscall(SYS_capget, &header, data) == 0;
    data[0].effective = (data[0].effective & ~(1u << CAP_NET_RAW)) | (on ? 1u << CAP_NET_RAW : 0);
    return read && ::syscall(SYS_capset, &header, data) == 0;
}

} // namespace TestNetwork

// Reads the echo requests to 198.18.201.5 and answers them as the test decides: late, twice,
// from another address or with another identifier.
class Puppet {
public:
    ~Puppet() { ::close(m_fd); }

    // The requests (IP packets) that arrived since the last call.
    QList<QByteArray> requests() {
        QList<QByteArray> found;
        char packet[1500];
        for (ssize_t length; (length = ::recv(m_fd, packet, sizeof(packet), MSG_DONTWAIT)) >= 28;) {
            if (packet[20] == 8 && std::memcmp(packet + 16, "\xc6\x12\xc9\x05", 4) == 0)
                found << QByteArray(packet, length);
        }
        return found;
    }

    void answer(const QByteArray& request, const char* from = "198.18.201.5", int idDelta = 0) {
        QByteArray reply = request.mid(20);
        auto* icmp = reinterpret_cast<std::uint8_t*>(reply.data());
        icmp[0] = icmp[2] = icmp[3] = 0;
        icmp[5] = static_cast<std::uint8_t>(icmp[5] + idDelta);
        const std::uint16_t sum = qToBigEndian(varnetix::internetChecksum(icmp, reply.size()));
        std::memcpy(icmp + 2, &sum, 2);
        sockaddr_in source{AF_INET, 0, {::inet_addr(from)}, {}};
        sockaddr_in to{AF_INET, 0, {}, {}};
        std::memcpy(&to.sin_addr, request.constData() + 12, 4); // back to the sender
        const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        ::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof(source));
        ::sendto(fd, reply.constData(), reply.size(), 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof(to));
        ::close(fd);
    }

private:
    int m_fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
};

// main() of the test: builds the network, then runs the test object.
inline int runNetworkTest(QObject& test, int argc, char** argv) {
    const char* why = ::geteuid() != 0                  ? "needs root to create network namespaces"
                      : TestNetwork::ipTool().isEmpty() ? "needs the ip tool (iproute2)"
                      : ::unshare(CLONE_NEWNET) != 0    ? "cannot create a network namespace"
                                                        : nullptr;
    if (why) {
        std::fprintf(stderr, "SKIP: %s\n", why);
        return 77;
    }
    QCoreApplication app(argc, argv);
    if (const QString error = TestNetwork::setUp(); !error.isEmpty()) {
        std::fprintf(stderr, "FAIL: test network: %s\n", qPrintable(error));
        return 1;
    }
    return QTest::qExec(&test, argc, argv);
}
