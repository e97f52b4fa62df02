// The element panel as the controllers see it: the values the operator edits, and the fields
// that show a loaded record or an element's answer.
#pragma once

#include <QString>
#include <optional>

#include "station/element_selection.h"

namespace varnetix {

// What a configuration sends, as the panel holds it now. A list without a selection is -1.
struct EditedConfiguration {
    QString name, ip, mask, gateway, remote;
    int audioInput = -1, audioType = -1, txType = -1;
};

// The fields of a stored record that a load sets before the role. Indexes that are missing or
// not numbers are nullopt.
struct StoredFields {
    QString name, ip, mask, gateway, remote;
    std::optional<int> audioInput, audioType, txType;
    QString version; // as the panel shows it: "2.00"
    std::optional<int> bound;
    bool sfnEnabled = false;
};

class ElementEditor {
public:
    virtual ~ElementEditor() = default;

    virtual EditedConfiguration editedConfiguration() const = 0;

    // Sets the fields in their fixed order; each runs its own change handling.
    virtual void showStoredFields(const StoredFields& fields) = 0;
    // A value outside the scroll bar's range (or none) leaves it where it was.
    virtual void setAttenuation(std::optional<int> step) = 0;
    virtual void setBufferSize(std::optional<int> size) = 0;
    virtual void showSerialNumber(const QString& text) = 0;
    virtual void showVersion(const QString& text) = 0;
    // Empties the texts, the lists' selections and the readouts of a cleared panel.
    virtual void clearFields() = 0;
    // The panel relays itself out for the selected element's role.
    virtual void arrange(ElementRole role) = 0;
};

} // namespace varnetix
