// Sends one echo with LinuxEchoProbe and prints the outcome, so that a test can run the probe
// inside a network namespace: `ip netns exec <ns> echo_probe_cli ADDRESS [any|dgram|raw]`.
// Prints "status=<code> rtt=<ms> sent=<echo requests counted by the kernel> data=<hex>", where
// data is the payload of our request as a raw ICMP socket saw it arrive ("-" when it did not
// arrive here, "?" when no raw socket could be opened to look).
#include "platform/linux_echo_probe.h"

#include <QCoreApplication>
#include <QTimer>

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The kernel's count of echo requests sent from this namespace (Icmp: OutEchos).
long long outEchos() {
    std::ifstream snmp("/proc/net/snmp");
    std::string names;
    std::string values;
    while (std::getline(snmp, names)) {
        if (names.rfind("Icmp: ", 0) == 0 && std::getline(snmp, values))
            break;
    }
    std::istringstream nameStream(names);
    std::istringstream valueStream(values);
    std::string name;
    std::string value;
    while (nameStream >> name && valueStream >> value) {
        if (name == "OutEchos")
            return std::stoll(value);
    }
    return -1;
}

// The data of the first echo request to `target` that reached this host.
std::string observedData(int observer, in_addr_t target) {
    if (observer < 0)
        return "?";
    unsigned char buffer[1500];
    for (;;) {
        const ssize_t received = ::recv(observer, buffer, sizeof(buffer), MSG_DONTWAIT);
        if (received < 0)
            return "-";
        const std::size_t headerSize = static_cast<std::size_t>(buffer[0] & 0x0F) * 4;
        if (received < 20 || static_cast<std::size_t>(received) < headerSize + 8)
            continue;
        in_addr_t destination;
        std::memcpy(&destination, buffer + 16, sizeof(destination));
        if (destination != target || buffer[headerSize] != 8)
            continue;
        std::string hex;
        for (std::size_t i = headerSize + 8; i < static_cast<std::size_t>(received); ++i) {
            char digits[3];
            std::snprintf(digits, sizeof(digits), "%02x", buffer[i]);
            hex += digits;
        }
        return hex.empty() ? std::string("(empty)") : hex;
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: echo_probe_cli ADDRESS [any|dgram|raw]\n");
        return 64;
    }
    const QString kind = args.size() > 2 ? args[2] : QStringLiteral("any");
    using Kind = varnetix::LinuxEchoProbe::SocketKind;
    varnetix::LinuxEchoProbe probe(kind == QLatin1String("dgram") ? Kind::Datagram
                                   : kind == QLatin1String("raw") ? Kind::Raw
                                                                  : Kind::None);
    if (!probe.StartSockets()) {
        std::printf("nosocket\n");
        return 2;
    }
    const int observer = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    const in_addr_t target = ::inet_addr(args[1].toLatin1().constData());
    const long long before = outEchos();

    int exitCode = 3;
    QObject::connect(&probe, &varnetix::EchoProbe::finished, &app, [&](varnetix::EchoReply reply) {
        std::printf("status=%d rtt=%u sent=%lld data=%s\n", reply.status, reply.roundTripMs,
                    outEchos() - before, observedData(observer, target).c_str());
        exitCode = 0;
        app.quit();
    });
    // A probe that never finishes is a failure of its own, not a hang of the test.
    QTimer::singleShot(5000, &app, [&] {
        std::printf("status=none\n");
        app.quit();
    });
    probe.start(args[1]);
    app.exec();
    probe.StopSockets();
    if (observer >= 0)
        ::close(observer);
    return exitCode;
}
