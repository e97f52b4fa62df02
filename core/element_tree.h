// What the element tree shows, decided from one reading of the database: the section list,
// one node per section and the encoders that a decoder can be bound to.
#pragma once

#include <string>
#include <vector>

namespace varnetix {

class IniDocument;

struct ElementNode {
    std::string section; // as the file writes it
    std::string key;     // MAC in colon form, "" for a section name that is not 12 characters
    std::string text;    // name, " [", colon form, "]"
    std::string ip;      // where the element is reached
    bool encoder = false;
    bool operator==(const ElementNode&) const = default;
};

struct ElementTree {
    enum class Database { Missing, NoSections, Loaded };
    Database database = Database::Missing;
    std::vector<std::string> sections; // section names in file order, up to an empty one
    std::vector<ElementNode> nodes;    // one per section, same order
    std::vector<std::string> encoders; // node texts of the encoders, file order
};

ElementTree BuildElementTree(const IniDocument& document, bool fileExists);

// Frame caption for a node count: "Select element: (3 items)".
std::string ElementCountCaption(std::size_t count);

// The leading number of a text, as the database's numeric fields are read ("12abc" gives 12,
// "" or "abc" gives 0).
double LeadingNumber(const std::string& text);

} // namespace varnetix
