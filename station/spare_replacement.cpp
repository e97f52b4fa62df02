#include "station/spare_replacement.h"

#include "core/commands.h"
#include "core/database_backup.h"
#include "core/echo_status.h"
#include "core/element_record.h"
#include "core/event_log_line.h"
#include "core/text_procedures.h"
#include "core/unicast_destination.h"
#include "platform/byte_text.h"
#include "station/database_messages.h"
#include "station/unreachable_message.h"

#include <algorithm>

namespace varnetix {

namespace {

const QString kTitle = QStringLiteral("Replace missing element");
const QString kNothingSent = QStringLiteral("Nothing has been sent.");
const QString kUnchanged = QStringLiteral("The database has not been changed.");
const QString kTwoOnOneAddress =
    QStringLiteral("Two elements on one address would be worse than one that is gone.");

QString label(const ReplacementUnit& unit) {
    const QString mac = u'[' + fromBytes(unit.mac) + u']';
    return unit.name.empty() ? mac : fromBytes(unit.name) + u' ' + mac;
}

const ReplacementUnit* findUnit(const std::vector<ReplacementUnit>& units,
                                const std::string& section) {
    const auto found = std::ranges::find(units, section, &ReplacementUnit::section);
    return found == units.end() ? nullptr : &*found;
}

// "name STUDIO, ip 10.0.0.5, ..., tx Unicast": what a configuration of these fields sends.
QString sentFields(const ReplacementConfiguration& configuration) {
    const ConfigFields& f = configuration.fields;
    static const QStringList kInputs = {QStringLiteral("Digital"), QStringLiteral("Analog")};
    static const QStringList kTypes = {QStringLiteral("Left/Right"), QStringLiteral("MPX")};
    static const QStringList kTx = {QStringLiteral("Unicast"), QStringLiteral("Multicast")};
    QString text =
        QStringLiteral("name %1, ip %2, mask %3, gateway %4, remote %5, input %6, "
                       "type %7, tx %8")
            .arg(fromBytes(TrimSpaces(PadElementName(f.name))), fromBytes(f.ip), fromBytes(f.mask),
                 fromBytes(f.gateway), fromBytes(f.remote), kInputs.value(f.audioInput),
                 kTypes.value(f.audioType), kTx.value(f.txType));
    if (configuration.attenuation)
        text += QStringLiteral(", attenuation %1")
                    .arg(fromBytes(AttenuationReadout(*configuration.attenuation)));
    return text;
}

} // namespace

SpareReplacement::SpareReplacement(ElementDatabase& database, DatagramLink& link, EchoProbe& probe,
                                   MacResolver& resolver, OperatorDialogs& dialogs, EventSink& log,
                                   const StationSettings& settings,
                                   std::function<std::vector<Subnet>()> subnets, QObject* parent)
    : QObject(parent), m_database(database), m_link(link), m_probe(probe), m_resolver(resolver),
      m_dialogs(dialogs), m_log(log), m_settings(settings), m_subnets(std::move(subnets)) {
    m_answerTimeout.setParent(this);
    m_answerTimeout.setObjectName(QStringLiteral("timerSpareAnswer"));
    m_answerTimeout.setSingleShot(true);
    // The same wait as "Save changes", and never shorter.
    m_answerTimeout.setInterval(settings.remoteSentMs);
    m_answerTimeout.setTimerType(Qt::PreciseTimer);
    connect(&m_answerTimeout, &QTimer::timeout, this, &SpareReplacement::timedOut);
    connect(&m_probe, &EchoProbe::finished, this, &SpareReplacement::echoFinished);
}

SpareReplacement::~SpareReplacement() = default;

std::optional<IniDocument> SpareReplacement::newestBackup() const {
    const std::vector<std::string> backups = listDatabaseBackups(m_database.path());
    if (backups.empty())
        return std::nullopt;
    IniLoad load = readIniFile(backups.front());
    if (load.state != FileState::Loaded)
        return std::nullopt;
    return std::move(load.document);
}

ReplacementCandidates SpareReplacement::candidates() {
    const std::optional<IniDocument> backup = newestBackup();
    if (!backup)
        return {};
    return FindReplacementCandidates(*backup, m_database.current().document);
}

std::optional<ReplacementConfiguration>
SpareReplacement::configurationOf(const std::string& missing, std::string* why) {
    const std::optional<IniDocument> backup = newestBackup();
    if (!backup) {
        if (why)
            *why = record::kIp;
        return std::nullopt;
    }
    return StoredConfiguration(*backup, missing, why);
}

QString SpareReplacement::missingLabel() const {
    return label(m_missing);
}

QString SpareReplacement::spareLabel() const {
    return label(m_spare);
}

bool SpareReplacement::refusedDestination(const std::string& address) const {
    return IsRefusedDestination(address, m_subnets());
}

void SpareReplacement::refuseBeforeSending(const QStringList& lines) {
    const QString text = lines.join(u'\r');
    m_log.record(EventSeverity::Error, event_category::kConfig,
                 m_spare.mac.empty() ? QString() : fromBytes(m_spare.mac),
                 QStringLiteral("Replacement refused: %1").arg(QString(text).replace(u'\r', u' ')));
    finish();
    m_dialogs.critical(kTitle, text);
}

void SpareReplacement::replace(const std::string& missing, const std::string& spare) {
    if (busy())
        return;
    m_missing = {};
    m_spare = {};
    const ReplacementCandidates listed = candidates();
    const ReplacementUnit* missingUnit = findUnit(listed.missing, missing);
    const ReplacementUnit* spareUnit = findUnit(listed.spares, spare);
    if (!missingUnit || !spareUnit) {
        refuseBeforeSending({QStringLiteral("The missing element or the spare is no longer "
                                            "what the last discovery found."),
                             kNothingSent});
        return;
    }
    m_missing = *missingUnit;
    m_spare = *spareUnit;
    if (m_missing.role != m_spare.role) {
        refuseBeforeSending(
            {QStringLiteral("A spare takes the place of an element of its own role only."),
             kNothingSent});
        return;
    }
    std::string why;
    const std::optional<ReplacementConfiguration> configuration = configurationOf(missing, &why);
    if (!configuration) {
        refuseBeforeSending({QStringLiteral("The record of %1 holds no valid '%2'.")
                                 .arg(missingLabel(), fromBytes(why)),
                             kNothingSent});
        return;
    }
    m_configuration = *configuration;
    if (refusedDestination(m_spare.ip) || refusedDestination(m_configuration.fields.ip)) {
        refuseBeforeSending({QStringLiteral("The address of %1 or of %2 is not a unicast address!")
                                 .arg(spareLabel(), missingLabel()),
                             kNothingSent});
        return;
    }
    // An answer that cannot be stored would leave the spare and the database apart.
    if (const StoreResult writable = m_database.checkWritable(); !writable.ok()) {
        refuseBeforeSending({storeFailureMessage(writable, kNothingSent)});
        return;
    }
    if (m_database.entryCount(m_spare.section) >= record::kCorruptEntryCount) {
        refuseBeforeSending({QStringLiteral("The data stored in your computer about this element, "
                                            "is corrupted."),
                             kNothingSent});
        return;
    }
    if (!listenForTheAddress())
        return;
    // Only what is heard once the operator has agreed counts.
    m_addressInUse.reset();
    // The question's loop may bring anything, another replacement among it: this one is under
    // way from here.
    m_stage = Stage::Asking;
    emit busyChanged(true);
    const bool yes = m_dialogs.question(
        kTitle,
        joinLines({QStringLiteral("The configuration of %1 will be sent to the spare %2 at %3;")
                       .arg(missingLabel(), spareLabel(), fromBytes(m_spare.ip)),
                   QStringLiteral("the spare then answers at %1 in its place and is stored under "
                                  "its own MAC.")
                       .arg(fromBytes(m_configuration.fields.ip)),
                   QStringLiteral("Are you sure?")}));
    if (!yes) {
        finish();
        return;
    }
    if (!listenForTheAddress())
        return;
    m_stage = Stage::Checking;
    m_echoesLeft = kEchoes;
    nextEcho();
}

void SpareReplacement::nextEcho() {
    // The ping test's echo in flight keeps the probe; ours follows once it is done.
    if (m_probe.busy())
        return;
    if (addressStillHeld())
        return;
    const QString address = fromBytes(m_configuration.fields.ip);
    if (!m_probe.StartSockets() || !m_probe.start(address)) {
        refuseBeforeSending({QStringLiteral("The station cannot ping %1, so it cannot tell "
                                            "whether another element still uses it.")
                                 .arg(address),
                             kNothingSent});
        return;
    }
    m_echoInFlight = true;
    --m_echoesLeft;
}

void SpareReplacement::echoFinished(const EchoReply& reply) {
    if (m_stage != Stage::Checking)
        return;
    if (!m_echoInFlight) {
        // Another's echo has ended; it stops its sockets after this, then ours may start.
        QTimer::singleShot(0, this, [this] {
            if (m_stage == Stage::Checking && !m_echoInFlight)
                nextEcho();
        });
        return;
    }
    m_echoInFlight = false;
    m_probe.StopSockets();
    const QString address = fromBytes(m_configuration.fields.ip);
    if (addressStillHeld())
        return;
    if (reply.status == kEchoSuccess) {
        refuseBeforeSending(
            {QStringLiteral("%1 of %2 still answers a ping.").arg(address, missingLabel()),
             kTwoOnOneAddress, kNothingSent});
        return;
    }
    if (reply.status < 0) {
        refuseBeforeSending({QStringLiteral("%1 could not be pinged: %2.")
                                 .arg(address, QString::fromStdString(GetStatusText(reply.status))),
                             kNothingSent});
        return;
    }
    if (m_echoesLeft > 0) {
        nextEcho();
        return;
    }
    m_addressInUse.reset();
    send();
}

bool SpareReplacement::listenForTheAddress() {
    std::string why;
    m_addressInUse = m_resolver.lookUpAfresh(m_configuration.fields.ip, &why);
    if (m_addressInUse)
        return true;
    refuseBeforeSending(
        {QStringLiteral("The spare's answer could not be told from another host's: %1.")
             .arg(fromBytes(why)),
         kNothingSent});
    return false;
}

bool SpareReplacement::addressStillHeld() {
    std::string holder;
    if (!m_addressInUse->poll(holder, ":"))
        return false;
    refuseBeforeSending(
        {QStringLiteral("%1 of %2 still answers ARP requests (from %3).")
             .arg(fromBytes(m_configuration.fields.ip), missingLabel(), fromBytes(holder)),
         kTwoOnOneAddress, kNothingSent});
    return true;
}

void SpareReplacement::send() {
    // Read again: the database may have changed while the question was open.
    const std::string address =
        m_database.value(m_spare.section, std::string(record::kIp), std::string());
    if (address != m_spare.ip || refusedDestination(address)) {
        refuseBeforeSending({QStringLiteral("The spare %1 is no longer at %2 in the database.")
                                 .arg(spareLabel(), fromBytes(m_spare.ip)),
                             kNothingSent});
        return;
    }
    const QByteArray packet = toByteArray(BuildConfigPacket(m_configuration.fields));
    m_stage = Stage::Waiting;
    m_answerTimeout.start();
    if (!m_link.sendDatagram(packet, fromBytes(address), m_settings.configPort)) {
        m_answerTimeout.stop();
        refuseBeforeSending({unreachableMessage(fromBytes(address), kNothingSent)});
        return;
    }
    m_log.record(
        event_category::kConfig, fromBytes(m_spare.mac),
        QStringLiteral("Configuration of %1 sent to the spare %2 at %3: %4")
            .arg(missingLabel(), spareLabel(), fromBytes(address), sentFields(m_configuration)));
}

bool SpareReplacement::takeAnswer() {
    if (m_stage != Stage::Waiting)
        return false;
    m_answerTimeout.stop();
    m_stage = Stage::Answered;
    return true;
}

void SpareReplacement::timedOut() {
    if (m_stage != Stage::Waiting)
        return;
    m_log.record(EventSeverity::Error, event_category::kConfig, fromBytes(m_spare.mac),
                 QStringLiteral("No answer from the spare %1 to the configuration of %2; %3")
                     .arg(spareLabel(), missingLabel(), kUnchanged));
    finish();
    m_dialogs.critical(
        kTitle, joinLines({QStringLiteral("Waiting for a response from the spare %1 has timed out!")
                               .arg(spareLabel()),
                           kUnchanged}));
}

void SpareReplacement::refuseAnswer(const QString& line) {
    const QString text = joinLines({line, kUnchanged});
    m_log.record(
        EventSeverity::Error, event_category::kConfig, fromBytes(m_spare.mac),
        QStringLiteral("Configuration answer refused: %1").arg(QString(text).replace(u'\r', u' ')));
    finish();
    m_dialogs.critical(kTitle, text);
}

bool SpareReplacement::sendAttenuation(int step) {
    const QString address = fromBytes(m_configuration.fields.ip);
    if (m_link.sendDatagram(toByteArray(AttenuationCommand(static_cast<std::uint8_t>(step))),
                            address, m_settings.commandPort))
        return true;
    m_dialogs.critical(
        kTitle, unreachableMessage(address, QStringLiteral("The attenuation was not changed.")));
    return false;
}

void SpareReplacement::applyAnswer(const FeedbackRecord& answer) {
    if (m_stage != Stage::Answered)
        return;
    if (answer.ElementMAC.empty()) {
        refuseAnswer(
            QStringLiteral("No MAC address answers for %1 now.").arg(fromBytes(answer.ElementIP)));
        return;
    }
    if (ToUpperAscii(MacWithoutColons(answer.ElementMAC)) != ToUpperAscii(m_spare.section)) {
        refuseAnswer(
            QStringLiteral("The response received does not match the spare %1: %2 "
                           "answers for %3.")
                .arg(spareLabel(), fromBytes(answer.ElementMAC), fromBytes(answer.ElementIP)));
        return;
    }
    if (m_database.entryCount(m_spare.section) >= record::kCorruptEntryCount) {
        refuseAnswer(
            QStringLiteral("The data stored in your computer about this element, is corrupted."));
        return;
    }
    AnswerComparison comparison = CompareConfigurationAnswer(m_configuration.fields, answer);
    const bool taken = comparison.differing.empty();
    // A decoder that took the whole configuration gets the missing unit's attenuation as well,
    // stored as a step of the scroll bar stores it; otherwise what it reports, as an answer does.
    const std::string attenuationKey(record::kAttenuation);
    const std::string attenuationBefore = m_database.value(m_spare.section, attenuationKey);
    bool attenuationSent = false;
    if (answer.ElementRole == record::kRoleDecoder) {
        int step = std::max<int>(answer.Attenuation, kAttenuationMinimum);
        if (taken && m_configuration.attenuation && sendAttenuation(*m_configuration.attenuation)) {
            step = *m_configuration.attenuation;
            attenuationSent = true;
        }
        comparison.entries.emplace_back(attenuationKey, std::to_string(step));
    }
    // One write, told to the log before those who follow the database see it.
    std::optional<ElementDatabase::Operation> replacing(std::in_place, m_database);
    const StoreResult stored = m_database.writeSection(m_spare.section, comparison.entries);
    const QString spareMac = fromBytes(m_spare.mac);
    if (attenuationSent) {
        const auto readout = [](const std::string& step) {
            return step.empty() ? QStringLiteral("?")
                                : fromBytes(AttenuationReadout(std::atoi(step.c_str())));
        };
        m_log.record(event_category::kAttenuation, spareMac,
                     QStringLiteral("Attenuation %1 -> %2")
                         .arg(readout(attenuationBefore),
                              readout(std::to_string(*m_configuration.attenuation))));
    }
    QStringList differing;
    for (const std::string& field : comparison.differing)
        differing << fromBytes(field);
    const QString place = fromBytes(m_configuration.fields.ip);
    if (!stored.ok())
        m_log.record(EventSeverity::Error, event_category::kConfig, spareMac,
                     QStringLiteral("The spare %1 answered but its settings were not saved")
                         .arg(spareLabel()));
    else if (!taken)
        m_log.record(EventSeverity::Error, event_category::kConfig, spareMac,
                     QStringLiteral("The spare %1 did not take the whole configuration of %2; "
                                    "not taken: %3")
                         .arg(spareLabel(), missingLabel(), differing.join(QStringLiteral(", "))));
    else
        m_log.record(event_category::kConfig, spareMac,
                     QStringLiteral("The spare %1 replaced %2 at %3")
                         .arg(spareLabel(), missingLabel(), place));
    replacing.reset();
    const QString spare = spareLabel();
    const QString missing = missingLabel();
    finish();
    for (const QString& field : differing)
        m_dialogs.critical(
            kApplicationTitle,
            joinLines({QStringLiteral("An error occured while saving '%1':").arg(field),
                       QStringLiteral("Feedback is corrupted.")}));
    if (!stored.ok())
        m_dialogs.critical(
            kTitle, storeFailureMessage(stored, QStringLiteral("Cannot save this element info.")));
    else if (taken)
        m_dialogs.information(
            kTitle,
            QStringLiteral("The spare %1 has replaced %2 at %3.").arg(spare, missing, place));
}

void SpareReplacement::finish() {
    m_answerTimeout.stop();
    m_addressInUse.reset();
    m_echoInFlight = false;
    if (std::exchange(m_stage, Stage::Idle) != Stage::Idle)
        emit busyChanged(false);
}

} // namespace varnetix
