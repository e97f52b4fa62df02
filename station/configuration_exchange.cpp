#include "station/configuration_exchange.h"

#include <optional>
#include <string_view>

#include "core/commands.h"
#include "core/config_packet.h"
#include "core/configuration_changes.h"

#include "core/element_record.h"
#include "core/event_log_line.h"

#include "core/ini_store.h"
#include "core/number_text.h"
#include "core/replacement_plan.h"
#include "core/text_procedures.h"
#include "core/unicast_destination.h"
#include "platform/byte_text.h"
#include "station/database_messages.h"

#include "station/unreachable_message.h"

namespace varnetix {

namespace {

const QString kFeedbackCorrupted = QStringLiteral("Feedback is corrupted.");
const QString kCannotSaveElement = QStringLiteral("Cannot save this element info.");

std::string decimal(long long value) {
    return std::to_string(value);
}

} // namespace

ConfigurationExchange::ConfigurationExchange(ElementEditor& editor, ElementSelection& selection,
                                             ElementTreeController& tree, ElementDatabase& database,
                                             DatagramLink& link, OperatorDialogs& dialogs,
                                             EventSink& log, const StationSettings& settings,
                                             std::function<std::vector<Subnet>()> subnets,
                                             QObject* parent)
    : QObject(parent), m_editor(editor), m_selection(selection), m_tree(tree), m_database(database),
      m_link(link), m_dialogs(dialogs), m_log(log), m_settings(settings),
      m_subnets(std::move(subnets)) {
    m_answerTimeout.setObjectName(QStringLiteral("timerRemoteSent"));
    m_answerTimeout.setParent(this);
    m_answerTimeout.setInterval(settings.remoteSentMs);
    // A coarse timer may fire early; a time-out must never come before its interval.
    m_answerTimeout.setTimerType(Qt::PreciseTimer);
    connect(&m_answerTimeout, &QTimer::timeout, this, &ConfigurationExchange::timedOut);
}

void ConfigurationExchange::error(const QString& line) {
    m_dialogs.critical(QStringLiteral("Error!"), joinLines({line, QStringLiteral("Cannot save.")}));
}

bool ConfigurationExchange::refusedDestination(const QString& address) {
    if (!IsRefusedDestination(address.toStdString(), m_subnets()))
        return false;
    error(QStringLiteral("The stored address of this element is not a unicast address!"));
    return true;
}

void ConfigurationExchange::sendConfiguration() {
    if (!m_selection.isSelected()) {
        error(QStringLiteral("No Network Element selected!"));
        return;
    }
    const EditedConfiguration edited = m_editor.editedConfiguration();
    if (edited.audioInput < 0 || edited.audioType < 0 || edited.txType < 0) {
        error(QStringLiteral("Please verify that all audio fields are correct!"));
        return;
    }
    if (edited.name.isEmpty()) {
        error(QStringLiteral("Please verify that the name field is correct!"));
        return;
    }
    bool addressesValid = true;
    for (const QString& address : {edited.ip, edited.mask, edited.gateway, edited.remote})
        addressesValid = IsValidIp(address.toStdString()) && addressesValid;
    if (!addressesValid) {
        error(QStringLiteral("Please verify that all IP fields are correct!"));
        return;
    }
    if (!m_database.exists()) {
        error(QStringLiteral("The local database in your computer, is corrupted!"));
        return;
    }
    // An answer that cannot be stored would leave the element and the database apart.
    if (const StoreResult writable = m_database.checkWritable(); !writable.ok()) {
        m_dialogs.critical(QStringLiteral("Error!"),
                           storeFailureMessage(writable, QStringLiteral("Cannot save.")));
        return;
    }
    if (refusedDestination(m_selection.storedAddress(m_database)))
        return;
    // What will change goes in the box's details: its three visible lines stay as they are.
    const bool yes = m_dialogs.questionWithDetails(
        QStringLiteral("Send configuration"),
        joinLines(
            {QStringLiteral("This configuration will be sent to selected Network Element and"),
             QStringLiteral("will also be saved to local database in your computer. "),
             QStringLiteral("Are you sure?")}),
        changedFields(edited).join(QLatin1Char('\r')));
    if (yes)
        sendConfigurationPacket();
}

namespace {

ConfigFields configFields(const EditedConfiguration& edited) {
    ConfigFields fields;
    fields.ip = edited.ip.toStdString();
    fields.mask = edited.mask.toStdString();
    fields.gateway = edited.gateway.toStdString();
    fields.remote = edited.remote.toStdString();
    fields.audioInput = edited.audioInput;
    fields.audioType = edited.audioType;
    fields.txType = edited.txType;
    fields.name = toBytes(edited.name);
    return fields;
}

} // namespace

void ConfigurationExchange::sendConfigurationPacket() {
    const EditedConfiguration edited = m_editor.editedConfiguration();
    const QByteArray packet = toByteArray(BuildConfigPacket(configFields(edited)));

    // The packet goes to the address the database holds, not to an edited one in the panel.
    const QString address = m_selection.storedAddress(m_database);
    // Read again: the database may have changed while the question was open.
    if (refusedDestination(address))
        return;
    m_answerTimeout.start();
    if (m_link.sendDatagram(packet, address, m_settings.configPort)) {
        m_log.record(event_category::kConfig, m_selection.mac(),
                     QStringLiteral("Configuration sent to %1: %2")
                         .arg(address, changedFields(edited).join(QStringLiteral("; "))));
    } else {
        m_answerTimeout.stop();
        m_dialogs.critical(kApplicationTitle,
                           unreachableMessage(address, QStringLiteral("Cannot save.")));
    }
}

QStringList ConfigurationExchange::changedFields(const EditedConfiguration& edited) const {
    ConfigurationFields fields;
    fields.name = toBytes(edited.name);
    fields.ip = toBytes(edited.ip);
    fields.mask = toBytes(edited.mask);
    fields.gateway = toBytes(edited.gateway);
    fields.remote = toBytes(edited.remote);
    fields.audioInput = edited.audioInput;
    fields.audioType = edited.audioType;
    fields.txType = edited.txType;
    QStringList changes;
    for (const std::string& change :
         ConfigurationChanges(m_database.current().document, m_selection.section(), fields))
        changes << fromBytes(change);
    if (changes.isEmpty())
        changes << QLatin1String(kNoFieldChanged);
    return changes;
}

void ConfigurationExchange::refused(const QString& box) {
    m_log.record(EventSeverity::Error, event_category::kConfig, m_selection.mac(),
                 QStringLiteral("Configuration answer refused: %1")
                     .arg(QString(box).replace(QLatin1Char('\r'), QLatin1Char(' '))));
}

void ConfigurationExchange::timedOut() {
    m_log.record(EventSeverity::Error, event_category::kConfig, m_selection.mac(),
                 QStringLiteral("No answer to the configuration"));
    m_answerTimeout.stop();
    error(QStringLiteral("Waiting for a response from Network Element has timed out!"));
}

void ConfigurationExchange::applyConfigurationAnswer(FeedbackRecord& answer) {
    if (!m_selection.isSelected() || m_selection.mac() != fromBytes(answer.ElementMAC)) {
        const QString box =
            joinLines({QStringLiteral("The response received does not match the selected element."),
                       kCannotSaveElement});
        refused(box);
        m_dialogs.critical(kApplicationTitle, box);
        m_tree.reload();
        return;
    }
    const std::string sectionName = m_selection.section();
    if (m_database.entryCount(sectionName) >= record::kCorruptEntryCount) {
        const QString box = joinLines(
            {QStringLiteral("The data stored in your computer about this element, is corrupted."),
             kCannotSaveElement});
        refused(box);
        m_dialogs.critical(kApplicationTitle, box);
        m_tree.reload();
        return;
    }

    // What was sent is what the panel holds now; taken before any box can open.
    // Everything the answer stores goes in one write, before the first box opens: a box waits
    // for the operator, and a crash must not leave a record half old and half new.
    const FeedbackRecord& r = answer;
    AnswerComparison comparison =
        CompareConfigurationAnswer(configFields(m_editor.editedConfiguration()), r);
    IniEntries& entries = comparison.entries;
    QStringList differences;
    for (const std::string& field : comparison.differing)
        differences << QString::fromStdString(field);
    const std::string serial = decimal(r.SerialNumber);
    const bool decoder = r.ElementRole == record::kRoleDecoder;
    if (decoder) {
        if (answer.Attenuation < kAttenuationMinimum)
            answer.Attenuation = static_cast<std::uint8_t>(kAttenuationMinimum);
        entries.emplace_back(record::kAttenuation, decimal(answer.Attenuation));
    }
    // Those who follow the database see the answer once it has been told to the log.
    std::optional<ElementDatabase::Operation> answering(std::in_place, m_database);
    const StoreResult storeFailure = m_database.writeSection(sectionName, entries);

    bool answerError = !differences.isEmpty();
    for (const QString& field : differences)
        m_dialogs.critical(
            kApplicationTitle,
            joinLines({QStringLiteral("An error occured while saving '%1':").arg(field),
                       kFeedbackCorrupted}));

    const ElementRole role = roleFromNumber(r.ElementRole);
    m_selection.setRole(role);
    if (role == ElementRole::Unknown)
        answerError = true;
    m_editor.showSerialNumber(fromBytes(serial));
    m_editor.showVersion(fromBytes(VersionOneDecimal(r.DspVersion)));
    if (decoder)
        m_editor.setAttenuation(answer.Attenuation);

    if (!storeFailure.ok()) {
        // What the element took is not in the database: no success may be announced.
        answerError = true;
        m_dialogs.critical(kApplicationTitle,
                           storeFailureMessage(storeFailure, kCannotSaveElement));
    }
    QString outcome = QStringLiteral("Configuration answered and stored");
    if (!storeFailure.ok())
        outcome = QStringLiteral("Configuration answered but not saved");
    else if (!differences.isEmpty())
        outcome = QStringLiteral("Configuration answered; not taken by the element: %1")
                      .arg(differences.join(QStringLiteral(", ")));
    // A field the element did not take is refused as much as a whole answer is.
    const bool failed = !storeFailure.ok() || !differences.isEmpty();
    m_log.record(failed ? EventSeverity::Error : EventSeverity::Info, event_category::kConfig,
                 m_selection.mac(), outcome);
    answering.reset();
    if (!answerError)
        m_dialogs.information(
            QStringLiteral("Configuration changed"),
            QStringLiteral("New configuration has been sucessfuly saved and loaded!"));
    m_tree.reload();
}

} // namespace varnetix
