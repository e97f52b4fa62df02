#include "core/element_tree.h"

#include "core/element_record.h"
#include "core/ini_store.h"
#include "core/text_procedures.h"

#include <charconv>
#include <limits>

namespace varnetix {

ElementTree BuildElementTree(const IniDocument& document, bool fileExists) {
    ElementTree tree;
    if (!fileExists)
        return tree;
    for (std::string& name : document.sectionNames()) {
        // The section list ends at an empty name, as the database's list of names does.
        if (name.empty())
            break;
        tree.sections.push_back(std::move(name));
    }
    if (tree.sections.empty()) {
        tree.database = ElementTree::Database::NoSections;
        return tree;
    }
    tree.database = ElementTree::Database::Loaded;

    const std::string roleKey(record::kRole);
    const std::string nameKey(record::kName);
    const std::string ipKey(record::kIp);
    for (const std::string& section : tree.sections) {
        ElementNode node;
        node.section = section;
        node.key = MacWithColons(section);
        node.ip = document.value(section, ipKey).value_or(std::string());
        node.text =
            document.value(section, nameKey).value_or(std::string()) + " [" + node.key + "]";
        node.encoder = LeadingNumber(document.value(section, roleKey).value_or(std::string())) ==
                       record::kRoleEncoder;
        if (node.encoder)
            tree.encoders.push_back(node.text);
        tree.nodes.push_back(std::move(node));
    }
    return tree;
}

std::string ElementCountCaption(std::size_t count) {
    return "Select element: (" + std::to_string(count) + " items)";
}

double LeadingNumber(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    auto digitsFrom = [&text](std::size_t from) {
        std::size_t to = from;
        while (to < text.size() && text[to] >= '0' && text[to] <= '9')
            ++to;
        return to;
    };
    const std::size_t intEnd = digitsFrom(i);
    std::string number = intEnd > i ? text.substr(i, intEnd - i) : std::string("0");
    if (intEnd < text.size() && text[intEnd] == '.') {
        const std::size_t fracEnd = digitsFrom(intEnd + 1);
        if (fracEnd > intEnd + 1)
            number += text.substr(intEnd, fracEnd - intEnd);
    }

    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value,
                                              std::chars_format::fixed);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        // Too large gives infinity, too small to represent gives zero.
        const bool large = number.find_first_of("123456789") < number.find('.');
        value = large ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

} // namespace varnetix
