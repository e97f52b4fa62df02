#include "station/element_selection.h"

#include "core/element_record.h"
#include "core/ini_store.h"
#include "core/text_procedures.h"
#include "platform/byte_text.h"

namespace varnetix {

ElementRole roleFromNumber(double role) {
    if (role == record::kRoleEncoder)
        return ElementRole::Encoder;
    if (role == record::kRoleDecoder)
        return ElementRole::Decoder;
    return ElementRole::Unknown;
}

std::string ElementSelection::section() const {
    return MacWithoutColons(toBytes(mac()));
}

void ElementSelection::select(const QString& mac) {
    m_mac = mac;
    emit macCaptionChanged(mac);
}

void ElementSelection::setRole(ElementRole role) {
    m_role = role;
    emit roleChanged(role);
}

void ElementSelection::clearMac() {
    m_mac.reset();
    emit macCaptionChanged(QStringLiteral("-"));
}

QString ElementSelection::storedAddress(ElementDatabase& database) const {
    return fromBytes(database.value(section(), record::kIp));
}

} // namespace varnetix
