#include "station/attenuation_control.h"

#include "core/commands.h"
#include "core/element_record.h"
#include "core/ini_store.h"
#include "core/text_procedures.h"
#include "platform/byte_text.h"
#include "station/config_sender.h"

namespace varnetix {

AttenuationControl::AttenuationControl(WindowControls& controls, OperatorDialogs& dialogs,
                                       DatagramLink& link, const StationSettings& settings,
                                       QObject* parent)
    : QObject(parent), m_c(controls), m_dialogs(dialogs), m_link(link), m_settings(settings) {
    connect(m_c.scrlAtten, &QScrollBar::valueChanged, this,
            &AttenuationControl::attenuationChanged);
    connect(m_c.scrlBuffer, &QScrollBar::valueChanged, this,
            [this](int value) { m_c.lblLatency->setText(fromBytes(LatencyReadout(value))); });
}

void AttenuationControl::attenuationChanged(int value) {
    m_c.lblAttenDB->setText(fromBytes(AttenuationReadout(value, m_c.scrlAtten->minimum())));
    // Only the operator's own use of the scroll bar commands the decoder: a value set by code
    // while another control has the focus (loading an element) sends nothing.
    const bool active = m_c.scrlAtten->window()->focusWidget() == m_c.scrlAtten;
    if (m_c.lblElementType->caption() != kRoleDecoder || !active)
        return;
    if (!SendAttenuation(static_cast<std::uint8_t>(value)))
        return;
    const std::string section = MacWithoutColons(toBytes(m_c.lblElementMAC->caption()));
    WriteToINI(section, std::string(record::kAttenuation), std::to_string(value),
               m_settings.databasePath);
}

bool AttenuationControl::SendAttenuation(std::uint8_t step) {
    const QString address = selectedElementAddress(m_c, m_settings.databasePath);
    if (m_link.sendDatagram(toByteArray(AttenuationCommand(step)), address, m_settings.commandPort))
        return true;
    m_dialogs.critical(
        kApplicationTitle,
        unreachableMessage(address, QStringLiteral("The attenuation was not changed.")));
    return false;
}

} // namespace varnetix
