#include "station/attenuation_control.h"

#include "core/commands.h"
#include "core/element_record.h"
#include "core/event_log_line.h"

#include "core/ini_store.h"
#include "core/unicast_destination.h"
#include "platform/byte_text.h"
#include "station/database_messages.h"

#include "station/unreachable_message.h"

namespace varnetix {

AttenuationControl::AttenuationControl(const ElementSelection& selection, ElementDatabase& database,
                                       DatagramLink& link, OperatorDialogs& dialogs, EventSink& log,
                                       const StationSettings& settings,
                                       std::function<std::vector<Subnet>()> subnets,
                                       QObject* parent)
    : QObject(parent), m_selection(selection), m_database(database), m_link(link),
      m_dialogs(dialogs), m_log(log), m_settings(settings), m_subnets(std::move(subnets)) {}

void AttenuationControl::attenuationChanged(int value, bool active) {
    if (m_selection.role() != ElementRole::Decoder || !active)
        return;
    if (!sendAttenuation(static_cast<std::uint8_t>(value)))
        return;
    const std::string key(record::kAttenuation);
    const std::string before = m_database.value(m_selection.section(), key);
    const auto readout = [](const std::string& step) {
        return step.empty() ? QStringLiteral("?")
                            : fromBytes(AttenuationReadout(std::atoi(step.c_str())));
    };
    m_log.record(event_category::kAttenuation, m_selection.mac(),
                 QStringLiteral("Attenuation %1 -> %2")
                     .arg(readout(before), readout(std::to_string(value))));
    const StoreResult stored =
        m_database.writeValue(m_selection.section(), key, std::to_string(value));
    // The decoder has its new attenuation either way. A failing store is told once, not at
    // every step of the scroll bar.
    if (stored.ok()) {
        m_storeFailureTold = false;
    } else if (!m_storeFailureTold) {
        m_storeFailureTold = true;
        m_dialogs.critical(
            kApplicationTitle,
            storeFailureMessage(stored,
                                QStringLiteral("The attenuation was changed but not saved.")));
    }
}

bool AttenuationControl::sendAttenuation(std::uint8_t step) {
    const QString address = m_selection.storedAddress(m_database);
    if (IsRefusedDestination(address.toStdString(), m_subnets())) {
        // Every step of the scroll bar comes here; the status bar shows the notice once.
        emit notice(QStringLiteral("Attenuation not sent: %1 is not the address of one element")
                        .arg(address));
        return false;
    }
    if (m_link.sendDatagram(toByteArray(AttenuationCommand(step)), address, m_settings.commandPort))
        return true;
    m_dialogs.critical(
        kApplicationTitle,
        unreachableMessage(address, QStringLiteral("The attenuation was not changed.")));
    return false;
}

} // namespace varnetix
