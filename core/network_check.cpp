#include "core/network_check.h"

#include "core/element_record.h"
#include "core/feedback_packet.h"
#include "core/ini_store.h"
#include "core/inventory_csv.h"
#include "core/text_procedures.h"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace varnetix {

namespace {

constexpr std::size_t kNotInDatabase = std::numeric_limits<std::size_t>::max();
// Below /31 a subnet has a network and a broadcast address that no host may use.
constexpr int kLongestPrefixWithBroadcast = 30;

constexpr std::uint32_t kBroadcast = 0xFFFFFFFF;
constexpr std::uint32_t kLoopbackNetwork = 0x7F000000; // 127.0.0.0/8
constexpr std::uint32_t kControlBlock = 0xE0000000;    // 224.0.0.0/24

struct Address {
    std::optional<std::string> stored;
    std::optional<std::uint32_t> value; // set only for a dotted quad the field can hold
    const char* unusable = nullptr;     // why a dotted quad cannot serve as the field
};

// Why a dotted quad cannot serve as a field; nullptr when it can.
using AddressRule = const char* (*)(std::uint32_t);

struct Element {
    std::size_t position = 0;
    std::string section;
    std::string mac;   // colon form, or the section name when it is no MAC
    std::string name;  // trimmed
    std::string label; // "STUDIO [00:1A:2B:3C:4D:5E]"
    Address ip, mask, gateway, remote;
    int role = 0;
    std::optional<int> tx;
    std::optional<std::string> input, type, txStored; // the list codes as stored
};

using Elements = std::vector<const Element*>;

std::optional<std::uint32_t> addressValue(const std::optional<std::string>& text) {
    if (!text || !IsValidIp(*text))
        return std::nullopt;
    std::uint32_t value = 0;
    for (const std::string& part : IpOctets(*text)) {
        std::uint32_t octet = 0;
        for (char c : part)
            octet = octet * 10 + static_cast<std::uint32_t>(c - '0');
        value = value << 8 | octet;
    }
    return value;
}

bool isMulticast(std::uint32_t address) {
    return address >> 28 == 0xE;
}

const char* hostRule(std::uint32_t address) {
    if (address == 0)
        return "the unspecified address";
    if (address == kBroadcast)
        return "the broadcast address";
    return isMulticast(address) ? "a multicast address" : nullptr;
}

const char* maskRule(std::uint32_t mask) {
    return mask == 0 ? "which puts every address on the element's own network" : nullptr;
}

// Where an encoder sends its audio: a group is fine, nowhere or everyone is not.
const char* destinationRule(std::uint32_t address) {
    if (address == 0)
        return "the unspecified address";
    return address == kBroadcast ? "the broadcast address" : nullptr;
}

Address readAddress(const std::optional<std::string>& stored, AddressRule rule = nullptr) {
    Address address{stored, addressValue(stored)};
    if (address.value && rule)
        address.unusable = rule(*address.value);
    if (address.unusable)
        address.value.reset();
    return address;
}

std::string dotted(std::uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string(address >> 16 & 0xFF) + "." +
           std::to_string(address >> 8 & 0xFF) + "." + std::to_string(address & 0xFF);
}

bool isContiguous(std::uint32_t mask) {
    const std::uint32_t host = ~mask;
    return (host & (host + 1)) == 0;
}

std::string subnetText(std::uint32_t address, std::uint32_t mask) {
    return dotted(address & mask) + "/" +
           (isContiguous(mask) ? std::to_string(std::popcount(mask)) : dotted(mask));
}

std::string countWord(std::size_t count) {
    static const std::array<const char*, 9> words = {"Two",   "Three", "Four", "Five", "Six",
                                                     "Seven", "Eight", "Nine", "Ten"};
    if (count >= 2 && count - 2 < words.size())
        return words[count - 2];
    return std::to_string(count);
}

// "A", "A and B", "A, B and C"; of a longer list (`total` items, of which `items` holds the
// first ones) the first kFindingListLimit and "N more", so that no sentence grows with the data.
std::string joined(std::vector<std::string> items, const std::string& conjunction,
                   std::size_t total = 0) {
    total = std::max(total, items.size());
    if (items.size() > kFindingListLimit)
        items.resize(kFindingListLimit);
    if (total > items.size())
        items.push_back(std::to_string(total - items.size()) + " more");
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            text += i + 1 == items.size() ? " " + conjunction + " " : ", ";
        text += items[i];
    }
    return text;
}

// The labels of the elements, as many as a sentence lists.
std::vector<std::string> labels(const Elements& elements) {
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < elements.size() && i < kFindingListLimit; ++i)
        texts.push_back(elements[i]->label);
    return texts;
}

std::string labelList(const Elements& elements) {
    return joined(labels(elements), "and", elements.size());
}

Element readElement(const IniDocument& database, const std::string& section, std::size_t position) {
    auto stored = [&](std::string_view key) { return database.value(section, std::string(key)); };
    Element e;
    e.position = position;
    e.section = section;
    e.mac = MacWithColons(section);
    if (e.mac.empty())
        e.mac = section;
    e.name = TrimSpaces(stored(record::kName).value_or(std::string()));
    e.label = (e.name.empty() ? std::string() : e.name + " ") + "[" + e.mac + "]";
    e.role = storedRole(stored(record::kRole));
    e.ip = readAddress(stored(record::kIp), hostRule);
    e.mask = readAddress(stored(record::kMask), maskRule);
    e.gateway = readAddress(stored(record::kGateway));
    e.remote = readAddress(stored(record::kRemote),
                           e.role == record::kRoleEncoder ? destinationRule : nullptr);
    e.input = stored(record::kInput);
    e.type = stored(record::kType);
    e.txStored = stored(record::kTx);
    e.tx = storedListIndex(e.txStored);
    return e;
}

// Elements grouped by a key, groups in the order of their first element, elements in database
// order; an element without a key is in no group.
template <typename Key, typename KeyOf>
std::vector<Elements> groupsOf(const std::vector<Element>& elements, KeyOf keyOf) {
    std::unordered_map<Key, std::size_t> index;
    std::vector<Elements> groups;
    for (const Element& e : elements) {
        const std::optional<Key> key = keyOf(e);
        if (!key)
            continue;
        const auto [found, added] = index.emplace(*key, groups.size());
        if (added)
            groups.emplace_back();
        groups[found->second].push_back(&e);
    }
    return groups;
}

class Report {
public:
    void add(FindingKind kind, Elements concerned, std::string sentence) {
        std::sort(concerned.begin(), concerned.end(),
                  [](const Element* a, const Element* b) { return a->position < b->position; });
        Entry entry{{kind, {}, std::move(sentence)},
                    concerned.empty() ? kNotInDatabase : concerned.front()->position};
        for (const Element* e : concerned)
            entry.finding.sections.push_back(e->section);
        m_entries.push_back(std::move(entry));
    }

    std::vector<Finding> sorted() && {
        std::stable_sort(m_entries.begin(), m_entries.end(), [](const Entry& a, const Entry& b) {
            const Severity severityA = findingSeverity(a.finding.kind);
            const Severity severityB = findingSeverity(b.finding.kind);
            if (severityA != severityB)
                return severityA < severityB;
            return a.position < b.position;
        });
        std::vector<Finding> findings;
        findings.reserve(m_entries.size());
        for (Entry& entry : m_entries)
            findings.push_back(std::move(entry.finding));
        return findings;
    }

private:
    struct Entry {
        Finding finding;
        std::size_t position;
    };
    std::vector<Entry> m_entries;
};

std::string invalidField(const char* field, const Address& address) {
    if (!address.stored)
        return std::string(field) + " (missing)";
    return std::string(field) + " (\"" + *address.stored + "\"" +
           (address.unusable ? std::string(", ") + address.unusable : std::string()) + ")";
}

void checkAddressForms(const std::vector<Element>& elements, Report& report) {
    for (const Element& e : elements) {
        std::vector<std::string> invalid;
        const std::pair<const char*, const Address*> fields[] = {
            {"IP", &e.ip}, {"mask", &e.mask}, {"gateway", &e.gateway}, {"remote IP", &e.remote}};
        for (const auto& [field, address] : fields) {
            if (!address->value)
                invalid.push_back(invalidField(field, *address));
        }
        if (!invalid.empty())
            report.add(FindingKind::InvalidAddress, {&e},
                       e.label + " has no valid " + joined(invalid, "or") + ".");
    }
}

void checkDuplicateAddresses(const std::vector<Element>& elements, Report& report) {
    const auto groups =
        groupsOf<std::uint32_t>(elements, [](const Element& e) { return e.ip.value; });
    for (const Elements& group : groups) {
        if (group.size() < 2)
            continue;
        report.add(FindingKind::DuplicateIp, group,
                   countWord(group.size()) + " elements use the address " +
                       dotted(*group.front()->ip.value) + ": " + labelList(group) + ".");
    }
}

void checkDuplicateNames(const std::vector<Element>& elements, Report& report) {
    const auto groups = groupsOf<std::string>(elements, [](const Element& e) {
        return e.name.empty() ? std::nullopt : std::optional<std::string>(e.name);
    });
    for (const Elements& group : groups) {
        if (group.size() < 2)
            continue;
        std::vector<std::string> where;
        for (std::size_t i = 0; i < group.size() && i < kFindingListLimit; ++i) {
            const Element* e = group[i];
            where.push_back(e->mac + (e->ip.value ? " at " + dotted(*e->ip.value) : std::string()));
        }
        report.add(FindingKind::DuplicateName, group,
                   countWord(group.size()) + " elements share the name " + group.front()->name +
                       ": " + joined(where, "and", group.size()) + ".");
    }
}

void checkSubnet(const Element& e, Report& report) {
    const std::uint32_t ip = *e.ip.value;
    const std::uint32_t mask = *e.mask.value;
    if (!isContiguous(mask)) {
        report.add(FindingKind::MaskNotContiguous, {&e},
                   e.label + " has the mask " + dotted(mask) +
                       ", whose one-bits are not contiguous.");
        return;
    }
    const std::string subnet = subnetText(ip, mask);
    const std::uint32_t network = ip & mask;
    // Which address of the subnet no host may use, or nullptr.
    const auto reserved = [&](std::uint32_t address) -> const char* {
        if (std::popcount(mask) > kLongestPrefixWithBroadcast)
            return nullptr;
        if (address == network)
            return "network";
        return address == (network | ~mask) ? "broadcast" : nullptr;
    };
    if (const char* which = reserved(ip))
        report.add(FindingKind::AddressNotHost, {&e},
                   e.label + " uses " + dotted(ip) + ", the " + which + " address of its subnet " +
                       subnet + ".");
    // 0.0.0.0 is how an element without a gateway is configured.
    const std::optional<std::uint32_t> gateway = e.gateway.value;
    if (!gateway || *gateway == 0)
        return;
    const std::string gatewayOf = "The gateway " + dotted(*gateway) + " of " + e.label;
    if ((*gateway & mask) != network)
        report.add(FindingKind::GatewayOutsideSubnet, {&e},
                   gatewayOf + " lies outside its subnet " + subnet + ".");
    else if (*gateway == ip)
        report.add(FindingKind::GatewayInvalid, {&e},
                   gatewayOf + " is the element's own address; nothing beyond its subnet " +
                       subnet + " is reached.");
    else if (const char* which = reserved(*gateway))
        report.add(FindingKind::GatewayInvalid, {&e},
                   gatewayOf + " is the " + which + " address of its subnet " + subnet +
                       "; nothing beyond the subnet is reached.");
}

void checkSubnets(const std::vector<Element>& elements, Report& report) {
    for (const Element& e : elements) {
        if (e.ip.value && e.mask.value)
            checkSubnet(e, report);
    }
}

std::optional<std::uint32_t> unicastTarget(const Element& e) {
    if (e.role != record::kRoleEncoder || e.tx != 0 || !e.remote.value ||
        isMulticast(*e.remote.value))
        return std::nullopt;
    return e.remote.value;
}

void checkTxTypes(const std::vector<Element>& elements, Report& report) {
    for (const Element& e : elements) {
        if (e.role != record::kRoleEncoder || !e.remote.value)
            continue;
        const std::string remote = dotted(*e.remote.value);
        if (e.tx == 1 && !isMulticast(*e.remote.value))
            report.add(FindingKind::MulticastToUnicast, {&e},
                       "Encoder " + e.label + " is set to multicast, but its remote IP " + remote +
                           " is not a multicast address (224.0.0.0/4).");
        if (e.tx == 0 && isMulticast(*e.remote.value))
            report.add(FindingKind::UnicastToMulticast, {&e},
                       "Encoder " + e.label + " is set to unicast, but its remote IP " + remote +
                           " is a multicast address.");
        if ((*e.remote.value & 0xFFFFFF00) == kControlBlock)
            report.add(FindingKind::MulticastReserved, {&e},
                       "Encoder " + e.label + " sends to " + remote +
                           ", in the local network control block 224.0.0.0/24, which routers "
                           "never forward and switches flood to every port.");
    }
}

void checkListIndexes(const std::vector<Element>& elements, Report& report) {
    struct List {
        const char* field;
        std::optional<std::string> Element::*stored;
        const char* codes;
    };
    static const List lists[] = {
        {"audio input", &Element::input, "0 (Digital) and 1 (Analog)"},
        {"audio type", &Element::type, "0 (Left/Right) and 1 (MPX)"},
        {"TX type", &Element::txStored, "0 (Unicast) and 1 (Multicast)"},
    };
    for (const Element& e : elements) {
        for (const List& list : lists) {
            const std::optional<std::string>& stored = e.*list.stored;
            if (!stored)
                continue; // a missing code reads as the list's default
            const std::optional<int> index = storedListIndex(stored);
            if (!index || *index > 1)
                report.add(FindingKind::ListIndex, {&e},
                           e.label + " stores the " + list.field + " \"" + *stored +
                               "\"; its list has only " + list.codes + ".");
        }
    }
}

void checkUnicastTargets(const std::vector<Element>& elements, Report& report) {
    std::unordered_map<std::uint32_t, Elements> decodersAt;
    for (const Element& e : elements) {
        if (e.role == record::kRoleDecoder && e.ip.value)
            decodersAt[*e.ip.value].push_back(&e);
    }
    for (const Element& e : elements) {
        const std::optional<std::uint32_t> target = unicastTarget(e);
        if (target && !decodersAt.contains(*target))
            report.add(FindingKind::NoDecoder, {&e},
                       "Encoder " + e.label + " sends unicast to " + dotted(*target) +
                           ", but no decoder in the database has that address.");
    }
    const auto groups = groupsOf<std::uint32_t>(elements, [&decodersAt](const Element& e) {
        const std::optional<std::uint32_t> target = unicastTarget(e);
        return target && decodersAt.contains(*target) ? target : std::nullopt;
    });
    for (const Elements& encoders : groups) {
        if (encoders.size() < 2)
            continue;
        const std::uint32_t target = *encoders.front()->remote.value;
        const Elements& decoders = decodersAt.at(target);
        Elements concerned = encoders;
        concerned.insert(concerned.end(), decoders.begin(), decoders.end());
        report.add(FindingKind::SharedDecoder, concerned,
                   "Encoders " + labelList(encoders) + " send unicast to " + dotted(target) +
                       ", the address of " + (decoders.size() == 1 ? "decoder " : "decoders ") +
                       labelList(decoders) + ".");
    }
}

void checkReach(const std::vector<Element>& elements, const std::vector<Subnet>& stationSubnets,
                Report& report) {
    // Loopback reaches only the station itself: no element is on it.
    std::vector<Subnet> subnets;
    std::string networks;
    for (const Subnet& subnet : stationSubnets) {
        if ((subnet.address & 0xFF000000) == kLoopbackNetwork)
            continue;
        subnets.push_back(subnet);
        networks += (networks.empty() ? "" : ", ") + subnetText(subnet.address, subnet.mask);
    }
    if (subnets.empty())
        return;
    for (const Element& e : elements) {
        if (!e.ip.value)
            continue;
        const std::uint32_t ip = *e.ip.value;
        const bool reachable = std::any_of(subnets.begin(), subnets.end(), [ip](const Subnet& s) {
            return (ip & s.mask) == (s.address & s.mask);
        });
        if (!reachable)
            report.add(FindingKind::Unreachable, {&e},
                       e.label + " at " + dotted(ip) + " is on none of the station's networks (" +
                           networks +
                           "); discovery and the MAC lookup reach only elements on them, so "
                           "its answers cannot be stored.");
    }
}

// A discovery stores every answer from one address under the one MAC the neighbour table
// gives for it, so only the answers themselves show that several elements share it.
struct AnswersFromAddress {
    std::uint32_t address = 0;
    std::size_t count = 0;                           // distinct (serial number, role)
    std::vector<std::pair<std::int32_t, int>> first; // the first of them, as a sentence lists
};

// One pass with hash sets, so that a flood of answers from one address stays linear.
std::vector<AnswersFromAddress> answersByAddress(const std::vector<FeedbackRecord>& answers) {
    std::unordered_map<std::uint32_t, std::size_t> index;
    std::vector<AnswersFromAddress> groups;
    std::vector<std::unordered_set<std::uint64_t>> seen;
    for (const FeedbackRecord& answer : answers) {
        const std::optional<std::uint32_t> address = addressValue(answer.ElementIP);
        if (!address)
            continue;
        const auto [found, added] = index.emplace(*address, groups.size());
        if (added) {
            groups.push_back({*address, 0, {}});
            seen.emplace_back();
        }
        const std::uint64_t element = std::uint64_t{static_cast<std::uint32_t>(answer.SerialNumber)}
                                          << 8 |
                                      answer.ElementRole;
        if (!seen[found->second].insert(element).second)
            continue;
        AnswersFromAddress& group = groups[found->second];
        if (++group.count <= kFindingListLimit)
            group.first.emplace_back(answer.SerialNumber, answer.ElementRole);
    }
    return groups;
}

void checkAnswers(const std::vector<Element>& elements, const std::vector<FeedbackRecord>& answers,
                  Report& report) {
    std::unordered_map<std::uint32_t, Elements> holdersOf;
    for (const Element& e : elements) {
        if (e.ip.value)
            holdersOf[*e.ip.value].push_back(&e);
    }
    for (const AnswersFromAddress& group : answersByAddress(answers)) {
        if (group.count < 2)
            continue;
        std::vector<std::string> answered;
        for (const auto& [serial, role] : group.first)
            answered.push_back("serial " + std::to_string(serial) + " as " + roleName(role));
        const auto found = holdersOf.find(group.address);
        const Elements holders = found == holdersOf.end() ? Elements() : found->second;
        const std::string held = holders.empty() ? "the database holds none of them."
                                                 : "the database holds only " + labelList(holders) +
                                                       " for that address.";
        report.add(FindingKind::DuplicateIp, holders,
                   countWord(group.count) + " elements answered the discovery from " +
                       dotted(group.address) + " (" + joined(answered, "and", group.count) + "); " +
                       held);
    }
}

// The element tree reads the first section of a name (in any case) and never the others.
void checkDuplicateSections(const IniDocument& database, const std::vector<Element>& elements,
                            Report& report) {
    std::unordered_map<std::string, const Element*> elementOf;
    for (const Element& e : elements)
        elementOf.emplace(ToUpperAscii(e.section), &e);
    struct Repeats {
        std::size_t count = 0;
        std::vector<std::string> first;
    };
    std::unordered_map<const Element*, Repeats> repeats;
    for (std::string& name : database.sectionNames()) {
        if (name.empty())
            break;
        const auto found = elementOf.find(ToUpperAscii(name));
        if (found == elementOf.end())
            continue;
        Repeats& r = repeats[found->second];
        if (++r.count <= kFindingListLimit)
            r.first.push_back(std::move(name));
    }
    for (const Element& e : elements) {
        const Repeats& r = repeats[&e];
        if (r.count > 1)
            report.add(FindingKind::DuplicateSection, {&e},
                       "The database holds " + std::to_string(r.count) + " sections for " +
                           e.label + " (" + joined(r.first, "and", r.count) +
                           "); the station reads only the first.");
    }
}

} // namespace

std::vector<Finding> checkNetwork(const IniDocument& database,
                                  const std::vector<Subnet>& stationSubnets,
                                  const std::vector<FeedbackRecord>& discoveryAnswers) {
    std::vector<Element> elements;
    const std::vector<std::string> sections = elementSections(database);
    elements.reserve(sections.size());
    for (std::size_t i = 0; i < sections.size(); ++i)
        elements.push_back(readElement(database, sections[i], i));

    Report report;
    checkAddressForms(elements, report);
    checkDuplicateAddresses(elements, report);
    checkAnswers(elements, discoveryAnswers, report);
    checkDuplicateNames(elements, report);
    checkDuplicateSections(database, elements, report);
    checkSubnets(elements, report);
    checkTxTypes(elements, report);
    checkListIndexes(elements, report);
    checkUnicastTargets(elements, report);
    checkReach(elements, stationSubnets, report);
    return std::move(report).sorted();
}

const char* findingWord(FindingKind kind) {
    switch (kind) {
    case FindingKind::DuplicateIp:
        return "duplicate-ip";
    case FindingKind::InvalidAddress:
        return "invalid-address";
    case FindingKind::AddressNotHost:
        return "address-not-host";
    case FindingKind::NoDecoder:
        return "no-decoder";
    case FindingKind::SharedDecoder:
        return "shared-decoder";
    case FindingKind::MulticastToUnicast:
        return "multicast-to-unicast";
    case FindingKind::UnicastToMulticast:
        return "unicast-to-multicast";
    case FindingKind::MulticastReserved:
        return "multicast-reserved";
    case FindingKind::ListIndex:
        return "list-index";
    case FindingKind::Unreachable:
        return "unreachable";
    case FindingKind::DuplicateName:
        return "duplicate-name";
    case FindingKind::DuplicateSection:
        return "duplicate-section";
    case FindingKind::MaskNotContiguous:
        return "mask-not-contiguous";
    case FindingKind::GatewayOutsideSubnet:
        return "gateway-outside-subnet";
    case FindingKind::GatewayInvalid:
        return "gateway-invalid";
    }
    return "unknown";
}

// What breaks the link, or the station's hold on an element, is an error; what only weakens it
// (a route that is not needed on one subnet, a name or record that confuses the operator) is a
// warning.
Severity findingSeverity(FindingKind kind) {
    switch (kind) {
    case FindingKind::DuplicateName:
    case FindingKind::DuplicateSection:
    case FindingKind::MaskNotContiguous:
    case FindingKind::GatewayOutsideSubnet:
    case FindingKind::GatewayInvalid:
        return Severity::Warning;
    case FindingKind::DuplicateIp:
    case FindingKind::InvalidAddress:
    case FindingKind::AddressNotHost:
    case FindingKind::NoDecoder:
    case FindingKind::SharedDecoder:
    case FindingKind::MulticastToUnicast:
    case FindingKind::UnicastToMulticast:
    case FindingKind::MulticastReserved:
    case FindingKind::ListIndex:
    case FindingKind::Unreachable:
        break;
    }
    return Severity::Error;
}

const char* severityName(Severity severity) {
    return severity == Severity::Error ? "error" : "warning";
}

std::string findingLine(const Finding& finding) {
    std::string line = std::string(severityName(findingSeverity(finding.kind))) + " [" +
                       findingWord(finding.kind) + "]";
    for (const std::string& section : finding.sections)
        line += " " + section;
    std::string sentence = finding.sentence;
    std::replace_if(
        sentence.begin(), sentence.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return latin1ToUtf8(line + ": " + sentence);
}

} // namespace varnetix
