// Looks up one address with LinuxMacResolver, so that a test can do it inside a network
// namespace: `ip netns exec <ns> mac_lookup_cli ADDRESS DELIMITER ATTEMPTS PAUSE_MS`.
// Prints "found=<mac> attempts=<n> udp=<datagrams sent meanwhile>", with found=- when no
// attempt succeeded. The pause between attempts stands in for the station's retry timer.
#include "platform/mac_resolver.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

// The kernel's count of UDP datagrams sent from this namespace (Udp: OutDatagrams).
long long outDatagrams() {
    std::ifstream snmp("/proc/net/snmp");
    std::string names;
    std::string values;
    while (std::getline(snmp, names)) {
        if (names.rfind("Udp: ", 0) == 0 && std::getline(snmp, values))
            break;
    }
    std::istringstream nameStream(names);
    std::istringstream valueStream(values);
    std::string name;
    std::string value;
    while (nameStream >> name && valueStream >> value) {
        if (name == "OutDatagrams")
            return std::stoll(value);
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: mac_lookup_cli ADDRESS DELIMITER ATTEMPTS PAUSE_MS\n");
        return 64;
    }
    const std::string address = argv[1];
    const std::string delimiter = argv[2];
    const int attempts = std::stoi(argv[3]);
    const auto pause = std::chrono::milliseconds(std::stoi(argv[4]));

    varnetix::LinuxMacResolver resolver;
    const long long before = outDatagrams();
    std::string mac = "untouched";
    int made = 0;
    bool found = false;
    while (made < attempts && !found) {
        if (made > 0)
            std::this_thread::sleep_for(pause);
        ++made;
        found = resolver.LookupMac(address, mac, delimiter);
    }
    std::printf("found=%s attempts=%d udp=%lld\n", found ? mac.c_str() : "-", made,
                outDatagrams() - before);
    // A failed lookup must leave the caller's text alone.
    return !found && mac != "untouched" ? 1 : 0;
}
