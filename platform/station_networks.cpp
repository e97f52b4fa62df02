#include "platform/station_networks.h"

#include <QNetworkInterface>

namespace varnetix {

std::vector<Subnet> stationSubnets() {
    std::vector<Subnet> subnets;
    for (const QNetworkInterface& nic : QNetworkInterface::allInterfaces()) {
        if (!nic.flags().testFlag(QNetworkInterface::IsUp))
            continue;
        for (const QNetworkAddressEntry& entry : nic.addressEntries()) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            subnets.push_back({entry.ip().toIPv4Address(), entry.netmask().toIPv4Address()});
        }
    }
    return subnets;
}

} // namespace varnetix
