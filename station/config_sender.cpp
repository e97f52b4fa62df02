#include "station/config_sender.h"

#include <QFile>

#include "core/config_packet.h"
#include "core/element_record.h"
#include "core/ini_store.h"
#include "core/text_procedures.h"
#include "platform/byte_text.h"

namespace varnetix {

QString selectedElementAddress(const WindowControls& controls, const std::string& databasePath) {
    const std::string section = MacWithoutColons(toBytes(controls.lblElementMAC->caption()));
    return fromBytes(ReadFromINI(section, std::string(record::kIp), databasePath, ""));
}

QString unreachableMessage(const QString& address, const QString& consequence) {
    return joinLines(
        {QStringLiteral("Unable to reach the Network Element at '%1'.").arg(address), consequence});
}

ConfigSender::ConfigSender(WindowControls& controls, OperatorDialogs& dialogs, DatagramLink& link,
                           const StationSettings& settings, QObject* parent)
    : QObject(parent), m_c(controls), m_dialogs(dialogs), m_link(link), m_settings(settings) {
    connect(m_c.timerRemoteSent, &QTimer::timeout, this, &ConfigSender::timedOut);
}

void ConfigSender::error(const QString& line) {
    m_dialogs.critical(QStringLiteral("Error!"), joinLines({line, QStringLiteral("Cannot save.")}));
}

void ConfigSender::SendConfig() {
    if (m_c.lblElementMAC->caption() == kNoSelection) {
        error(QStringLiteral("No Network Element selected!"));
        return;
    }
    if (m_c.cmbAudioInput->currentIndex() < 0 || m_c.cmbAudioType->currentIndex() < 0 ||
        m_c.cmbAudioTX->currentIndex() < 0) {
        error(QStringLiteral("Please verify that all audio fields are correct!"));
        return;
    }
    if (m_c.txtElementName->text().isEmpty()) {
        error(QStringLiteral("Please verify that the name field is correct!"));
        return;
    }
    bool addressesValid = true;
    for (const QLineEdit* field :
         {m_c.txtElementIP, m_c.txtElementMask, m_c.txtElementGW, m_c.txtRemoteIP})
        addressesValid = IsValidIp(field->text().toStdString()) && addressesValid;
    if (!addressesValid) {
        error(QStringLiteral("Please verify that all IP fields are correct!"));
        return;
    }
    if (!QFile::exists(QString::fromStdString(m_settings.databasePath))) {
        error(QStringLiteral("The local database in your computer, is corrupted!"));
        return;
    }
    const bool yes = m_dialogs.question(
        QStringLiteral("Send configuration"),
        joinLines(
            {QStringLiteral("This configuration will be sent to selected Network Element and"),
             QStringLiteral("will also be saved to local database in your computer. "),
             QStringLiteral("Are you sure?")}));
    if (yes)
        SendConfigPacket();
}

void ConfigSender::SendConfigPacket() {
    ConfigFields fields;
    fields.ip = m_c.txtElementIP->text().toStdString();
    fields.mask = m_c.txtElementMask->text().toStdString();
    fields.gateway = m_c.txtElementGW->text().toStdString();
    fields.remote = m_c.txtRemoteIP->text().toStdString();
    fields.audioInput = m_c.cmbAudioInput->currentIndex();
    fields.audioType = m_c.cmbAudioType->currentIndex();
    fields.txType = m_c.cmbAudioTX->currentIndex();
    fields.name = toBytes(m_c.txtElementName->text());
    const QByteArray packet = toByteArray(BuildConfigPacket(fields));

    // The packet goes to the address the database holds, not to an edited one in the panel.
    const QString address = selectedElementAddress(m_c, m_settings.databasePath);
    m_c.timerRemoteSent->start(m_settings.remoteSentMs);
    if (!m_link.sendDatagram(packet, address, m_settings.configPort)) {
        m_c.timerRemoteSent->stop();
        m_dialogs.critical(kApplicationTitle,
                           unreachableMessage(address, QStringLiteral("Cannot save.")));
    }
}

void ConfigSender::timedOut() {
    m_c.timerRemoteSent->stop();
    error(QStringLiteral("Waiting for a response from Network Element has timed out!"));
}

} // namespace varnetix
