// The simulated element's address moved on the network interface that holds it, as a unit takes
// the address a configuration gives it: the old address removed, the new one added with the new
// mask. Needs CAP_NET_ADMIN in the simulator's network namespace (the lab runs it as root in a
// namespace of its own); on a shared host it would move the host's own address.
#pragma once

#include <QString>
#include <string>

namespace varnetix::sim {

// Empty when the address has moved, otherwise why it has not.
QString moveInterfaceAddress(const std::string& from, const std::string& to,
                             const std::string& mask);

} // namespace varnetix::sim
