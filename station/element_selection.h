// The element the operator has selected in the tree, and its role. Every command, every send
// and every configuration answer concerns this element; the panel only shows it.
#pragma once

#include <QObject>
#include <QString>
#include <optional>
#include <string>

#include "station/element_database.h"

namespace varnetix {

enum class ElementRole { None, Encoder, Decoder, Unknown };

// A stored or reported role number as the station treats it: 1 and 2 are the two roles,
// anything else is unknown.
ElementRole roleFromNumber(double role);

class ElementSelection : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The tree node's key (colon form; empty for a section whose name is not a MAC). Nothing
    // selected is not the same as an empty key.
    bool isSelected() const { return m_mac.has_value(); }
    QString mac() const { return m_mac.value_or(QString()); }
    // The element's section of the database.
    std::string section() const;
    ElementRole role() const { return m_role; }

    void select(const QString& mac);
    // The layout follows every setting of the role, also to the role shown already, so that the
    // audio-level commands always match the loaded element.
    void setRole(ElementRole role);
    void clearRole() { setRole(ElementRole::None); }
    void clearMac();

    // The address the database holds for the selected element: where every command goes.
    QString storedAddress(ElementDatabase& database) const;

signals:
    void roleChanged(varnetix::ElementRole role);
    // The caption that shows the selection: the MAC, or "-" when nothing is selected.
    void macCaptionChanged(const QString& caption);

private:
    std::optional<QString> m_mac;
    ElementRole m_role = ElementRole::None;
};

} // namespace varnetix
