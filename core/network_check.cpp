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

namespace varnetix {

namespace {

constexpr std::size_t kNotInDatabase = std::numeric_limits<std::size_t>::max();
// Below /31 a subnet has a network and a broadcast address that no host may use.
constexpr int kLongestPrefixWithBroadcast = 30;

struct Address {
    std::optional<std::string> stored;
    std::optional<std::uint32_t> value; // set only for a valid dotted quad
};

struct Element {
    std::size_t position = 0;
    std::string section;
    std::string mac;   // colon form, or the section name when it is no MAC
    std::string name;  // trimmed
    std::string label; // "STUDIO [00:1A:2B:3C:4D:5E]"
    Address ip, mask, gateway, remote;
    int role = 0;
    std::optional<int> tx;
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

Address readAddress(const std::optional<std::string>& stored) {
    return {stored, addressValue(stored)};
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

bool isMulticast(std::uint32_t address) {
    return address >> 28 == 0xE;
}

std::string countWord(std::size_t count) {
    static const std::array<const char*, 9> words = {"Two",   "Three", "Four", "Five", "Six",
                                                     "Seven", "Eight", "Nine", "Ten"};
    if (count >= 2 && count - 2 < words.size())
        return words[count - 2];
    return std::to_string(count);
}

// "A", "A and B", "A, B and C".
std::string joined(const std::vector<std::string>& items, const std::string& conjunction) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            text += i + 1 == items.size() ? " " + conjunction + " " : ", ";
        text += items[i];
    }
    return text;
}

std::vector<std::string> labels(const Elements& elements) {
    std::vector<std::string> texts;
    for (const Element* e : elements)
        texts.push_back(e->label);
    return texts;
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
    e.ip = readAddress(stored(record::kIp));
    e.mask = readAddress(stored(record::kMask));
    e.gateway = readAddress(stored(record::kGateway));
    e.remote = readAddress(stored(record::kRemote));
    e.role = storedRole(stored(record::kRole));
    e.tx = storedListIndex(stored(record::kTx));
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
    void add(Severity severity, std::string kind, Elements concerned, std::string sentence) {
        std::sort(concerned.begin(), concerned.end(),
                  [](const Element* a, const Element* b) { return a->position < b->position; });
        Entry entry{{severity, std::move(kind), {}, std::move(sentence)},
                    concerned.empty() ? kNotInDatabase : concerned.front()->position};
        for (const Element* e : concerned)
            entry.finding.sections.push_back(e->section);
        m_entries.push_back(std::move(entry));
    }

    std::vector<Finding> sorted() && {
        std::stable_sort(m_entries.begin(), m_entries.end(), [](const Entry& a, const Entry& b) {
            if (a.finding.severity != b.finding.severity)
                return a.finding.severity < b.finding.severity;
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
    return std::string(field) + (address.stored ? " (\"" + *address.stored + "\")" : " (missing)");
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
            report.add(Severity::Error, "invalid-address", {&e},
                       e.label + " has no valid " + joined(invalid, "or") + ".");
    }
}

void checkDuplicateAddresses(const std::vector<Element>& elements, Report& report) {
    const auto groups =
        groupsOf<std::uint32_t>(elements, [](const Element& e) { return e.ip.value; });
    for (const Elements& group : groups) {
        if (group.size() < 2)
            continue;
        report.add(Severity::Error, "duplicate-ip", group,
                   countWord(group.size()) + " elements use the address " +
                       dotted(*group.front()->ip.value) + ": " + joined(labels(group), "and") +
                       ".");
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
        for (const Element* e : group)
            where.push_back(e->mac + (e->ip.value ? " at " + dotted(*e->ip.value) : std::string()));
        report.add(Severity::Warning, "duplicate-name", group,
                   countWord(group.size()) + " elements share the name " + group.front()->name +
                       ": " + joined(where, "and") + ".");
    }
}

void checkSubnet(const Element& e, Report& report) {
    const std::uint32_t ip = *e.ip.value;
    const std::uint32_t mask = *e.mask.value;
    if (!isContiguous(mask)) {
        report.add(Severity::Warning, "mask-not-contiguous", {&e},
                   e.label + " has the mask " + dotted(mask) +
                       ", whose one-bits are not contiguous.");
        return;
    }
    const std::string subnet = subnetText(ip, mask);
    if (std::popcount(mask) <= kLongestPrefixWithBroadcast) {
        const std::uint32_t network = ip & mask;
        if (ip == network || ip == (network | ~mask))
            report.add(Severity::Error, "address-not-host", {&e},
                       e.label + " uses " + dotted(ip) + ", the " +
                           (ip == network ? "network" : "broadcast") + " address of its subnet " +
                           subnet + ".");
    }
    // 0.0.0.0 is how an element without a gateway is configured.
    const std::optional<std::uint32_t> gateway = e.gateway.value;
    if (gateway && *gateway != 0 && (*gateway & mask) != (ip & mask))
        report.add(Severity::Warning, "gateway-outside-subnet", {&e},
                   "The gateway " + dotted(*gateway) + " of " + e.label +
                       " lies outside its subnet " + subnet + ".");
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
            report.add(Severity::Error, "multicast-to-unicast", {&e},
                       "Encoder " + e.label + " is set to multicast, but its remote IP " + remote +
                           " is not a multicast address (224.0.0.0/4).");
        if (e.tx == 0 && isMulticast(*e.remote.value))
            report.add(Severity::Error, "unicast-to-multicast", {&e},
                       "Encoder " + e.label + " is set to unicast, but its remote IP " + remote +
                           " is a multicast address.");
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
            report.add(Severity::Error, "no-decoder", {&e},
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
        report.add(Severity::Error, "shared-decoder", concerned,
                   "Encoders " + joined(labels(encoders), "and") + " send unicast to " +
                       dotted(target) + ", the address of " +
                       (decoders.size() == 1 ? "decoder " : "decoders ") +
                       joined(labels(decoders), "and") + ".");
    }
}

void checkReach(const std::vector<Element>& elements, const std::vector<Subnet>& subnets,
                Report& report) {
    if (subnets.empty())
        return;
    std::string networks;
    for (const Subnet& subnet : subnets)
        networks += (networks.empty() ? "" : ", ") + subnetText(subnet.address, subnet.mask);
    for (const Element& e : elements) {
        if (!e.ip.value)
            continue;
        const std::uint32_t ip = *e.ip.value;
        const bool reachable = std::any_of(subnets.begin(), subnets.end(), [ip](const Subnet& s) {
            return (ip & s.mask) == (s.address & s.mask);
        });
        if (!reachable)
            report.add(Severity::Error, "unreachable", {&e},
                       e.label + " at " + dotted(ip) + " is on none of the station's networks (" +
                           networks + "); the station cannot configure it without a route.");
    }
}

// A discovery stores every answer from one address under the one MAC the neighbour table
// gives for it, so only the answers themselves show that several elements share it.
struct AnswersFromAddress {
    std::uint32_t address = 0;
    std::vector<std::pair<std::int32_t, int>> elements; // distinct (serial number, role)
};

std::vector<AnswersFromAddress> answersByAddress(const std::vector<FeedbackRecord>& answers) {
    std::unordered_map<std::uint32_t, std::size_t> index;
    std::vector<AnswersFromAddress> groups;
    for (const FeedbackRecord& answer : answers) {
        const std::optional<std::uint32_t> address = addressValue(answer.ElementIP);
        if (!address)
            continue;
        const auto [found, added] = index.emplace(*address, groups.size());
        if (added)
            groups.push_back({*address, {}});
        auto& elements = groups[found->second].elements;
        const std::pair<std::int32_t, int> element{answer.SerialNumber, answer.ElementRole};
        if (std::find(elements.begin(), elements.end(), element) == elements.end())
            elements.push_back(element);
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
        if (group.elements.size() < 2)
            continue;
        std::vector<std::string> answered;
        for (const auto& [serial, role] : group.elements)
            answered.push_back("serial " + std::to_string(serial) + " as " + roleName(role));
        const auto found = holdersOf.find(group.address);
        const Elements holders = found == holdersOf.end() ? Elements() : found->second;
        const std::string held = holders.empty()
                                     ? "the database holds none of them."
                                     : "the database holds only " + joined(labels(holders), "and") +
                                           " for that address.";
        report.add(Severity::Error, "duplicate-ip", holders,
                   countWord(group.elements.size()) + " elements answered the discovery from " +
                       dotted(group.address) + " (" + joined(answered, "and") + "); " + held);
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
    checkSubnets(elements, report);
    checkTxTypes(elements, report);
    checkUnicastTargets(elements, report);
    checkReach(elements, stationSubnets, report);
    return std::move(report).sorted();
}

const char* severityName(Severity severity) {
    return severity == Severity::Error ? "error" : "warning";
}

std::string findingLine(const Finding& finding) {
    std::string line = std::string(severityName(finding.severity)) + " [" + finding.kind + "]";
    for (const std::string& section : finding.sections)
        line += " " + section;
    std::string sentence = finding.sentence;
    std::replace_if(
        sentence.begin(), sentence.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return latin1ToUtf8(line + ": " + sentence);
}

} // namespace varnetix
