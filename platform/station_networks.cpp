#include "platform/station_networks.h"

#include <QNetworkInterface>

namespace varnetix {

std::vector<Subnet> stationSubnets() {
    std::vector<Subnet> subnets;
    for (const QNetworkInterface& nic : QNetworkInterface::allInterfaces()) {
        if (!nic.flags().testFlag(QNetworkInterface::IsUp))
            continue;
        for (const QNetworkAddressEntry& entry : nic.addressEntries()) {
            // Loopback reaches the station itself and no element.
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol || entry.ip().isLoopback())
                continue;
            subnets.push_back({entry.ip().toIPv4Address(), entry.netmask().toIPv4Address()});
        }
    }
    return subnets;
}

} // namespace varnetix
