// The network check: what is wrong or suspicious in the element database, decided from the
// database, the station's own IPv4 networks and the answers of the last discovery.
#pragma once

#include "core/feedback_packet.h"

#include <cstdint>
#include <string>
#include <vector>

namespace varnetix {

class IniDocument;

// One of the station's own IPv4 networks, first octet most significant.
struct Subnet {
    std::uint32_t address = 0;
    std::uint32_t mask = 0;
};

// Error: the link, or the station's access to the element, does not work as configured.
// Warning: suspicious; it may work, but an engineer should look at it.
enum class Severity { Error, Warning };

// Kinds, by severity:
//   error   duplicate-ip            two elements on one address (in the database, or several
//                                   answers to one discovery from one address)
//   error   invalid-address         ip, mask, gw or remote missing or not a dotted quad; the
//                                   rules that need that value skip the element
//   error   address-not-host        the element's address is its subnet's network or broadcast
//                                   address (masks of /31 and /32 have neither)
//   error   no-decoder              an encoder sends unicast to an address no decoder has
//   error   shared-decoder          several encoders send unicast to the same decoder address
//   error   multicast-to-unicast    TX type multicast, remote IP outside 224.0.0.0/4
//   error   unicast-to-multicast    TX type unicast, remote IP inside 224.0.0.0/4
//   error   unreachable             the address is on none of the station's networks (not
//                                   checked when the station's networks are unknown)
//   warning duplicate-name          two elements with the same name (trimmed, case as stored)
//   warning mask-not-contiguous     the mask's one-bits are not contiguous; the subnet rules
//                                   skip the element
//   warning gateway-outside-subnet  a gateway other than 0.0.0.0 (no gateway) off the subnet
struct Finding {
    Severity severity = Severity::Warning;
    std::string kind;
    std::vector<std::string> sections; // the elements concerned, in database order
    std::string sentence; // one sentence, in the database's text of one byte per character
};

// Every finding, errors first, then in database order (by the first section concerned; a
// finding that concerns no section of the database comes last). The answers are the decoded
// feedback records of one discovery run; the caller keeps them until the next run.
std::vector<Finding> checkNetwork(const IniDocument& database,
                                  const std::vector<Subnet>& stationSubnets,
                                  const std::vector<FeedbackRecord>& discoveryAnswers = {});

const char* severityName(Severity severity); // "error", "warning"

// One line for a report, in UTF-8, without a line end:
// "error [duplicate-ip] 001A2B3C4D5E 001A2B3C4D5F: Two elements use the address ...".
std::string findingLine(const Finding& finding);

} // namespace varnetix
