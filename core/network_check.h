// The network check: what is wrong or suspicious in the element database, decided from the
// database, the station's own IPv4 networks and the answers of the last discovery.
#pragma once

#include "core/feedback_packet.h"

#include <cstddef>
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
// Warning: suspicious or weakening; it may work, but an engineer should look at it.
enum class Severity { Error, Warning };

// Every kind has one fixed word and one fixed severity, so that alarms and metrics can count
// findings by kind. By severity:
//   error   duplicate-ip            two elements on one address (in the database, or several
//                                   answers to one discovery from one address)
//   error   invalid-address         ip, mask, gw or remote missing or not a dotted quad, an
//                                   element address that no host can have (0.0.0.0,
//                                   255.255.255.255, multicast), the mask 0.0.0.0, an encoder's
//                                   remote IP 0.0.0.0 or 255.255.255.255; the rules that need
//                                   that value skip the element
//   error   address-not-host        the element's address is its subnet's network or broadcast
//                                   address (masks of /31 and /32 have neither)
//   error   no-decoder              an encoder sends unicast to an address no decoder has
//   error   shared-decoder          several encoders send unicast to the same decoder address
//   error   multicast-to-unicast    TX type multicast, remote IP outside 224.0.0.0/4
//   error   unicast-to-multicast    TX type unicast, remote IP inside 224.0.0.0/4
//   error   multicast-reserved      an encoder sends to 224.0.0.0/24, the local network control
//                                   block: never routed, flooded to every switch port
//   error   list-index              a stored audio input, audio type or TX type that is on none
//                                   of its list's codes
//   error   unreachable             the address is on none of the station's networks (loopback
//                                   is none; not checked when the networks are unknown)
//   warning duplicate-name          two elements with the same name (trimmed, case as stored)
//   warning duplicate-section       one element's section appears more than once; only the first
//                                   is read
//   warning mask-not-contiguous     the mask's one-bits are not contiguous; the subnet rules
//                                   skip the element
//   warning gateway-outside-subnet  a gateway other than 0.0.0.0 (no gateway) off the subnet
//   warning gateway-invalid         a gateway that is the element's own address or its subnet's
//                                   network or broadcast address
enum class FindingKind {
    DuplicateIp,
    InvalidAddress,
    AddressNotHost,
    NoDecoder,
    SharedDecoder,
    MulticastToUnicast,
    UnicastToMulticast,
    MulticastReserved,
    ListIndex,
    Unreachable,
    DuplicateName,
    DuplicateSection,
    MaskNotContiguous,
    GatewayOutsideSubnet,
    GatewayInvalid,
};

inline constexpr FindingKind kFindingKinds[] = {
    FindingKind::DuplicateIp,        FindingKind::InvalidAddress,
    FindingKind::AddressNotHost,     FindingKind::NoDecoder,
    FindingKind::SharedDecoder,      FindingKind::MulticastToUnicast,
    FindingKind::UnicastToMulticast, FindingKind::MulticastReserved,
    FindingKind::ListIndex,          FindingKind::Unreachable,
    FindingKind::DuplicateName,      FindingKind::DuplicateSection,
    FindingKind::MaskNotContiguous,  FindingKind::GatewayOutsideSubnet,
    FindingKind::GatewayInvalid,
};

const char* findingWord(FindingKind kind); // "duplicate-ip", ...
Severity findingSeverity(FindingKind kind);

// A finding's sentence lists at most this many elements or answers, then "and N more".
inline constexpr std::size_t kFindingListLimit = 10;

struct Finding {
    FindingKind kind = FindingKind::InvalidAddress;
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
