#include "station/feedback_handler.h"

#include <string_view>

#include "core/element_record.h"
#include "core/ini_store.h"
#include "core/number_text.h"
#include "core/text_procedures.h"
#include "platform/byte_text.h"

namespace varnetix {

namespace {

const QString kFeedbackCorrupted = QStringLiteral("Feedback is corrupted.");
const QString kCannotSaveElement = QStringLiteral("Cannot save this element info.");

std::string decimal(long long value) {
    return std::to_string(value);
}

} // namespace

FeedbackHandler::FeedbackHandler(WindowControls& controls, OperatorDialogs& dialogs,
                                 MacResolver& resolver, LinkState& state,
                                 const StationSettings& settings, QObject* parent)
    : QObject(parent), m_c(controls), m_dialogs(dialogs), m_resolver(resolver), m_state(state),
      m_settings(settings) {
    m_next.setSingleShot(true);
    m_next.setInterval(0);
    connect(&m_next, &QTimer::timeout, this, &FeedbackHandler::drain);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        // The MAC budget is over once timerGetMAC has ticked (it stops itself).
        if (!m_c.timerGetMAC->isActive())
            conclude({});
        else if (!tryLookup())
            return;
        finish();
    });
}

void FeedbackHandler::ProcessFeedback(const QByteArray& datagram) {
    if (m_queue.size() >= kQueueLimit) {
        ++m_dropped;
        return;
    }
    m_queue.push_back(datagram);
    // Handled from the event loop, not from inside the socket's read: a burst of answers then
    // waits here while the socket keeps being emptied, instead of overflowing its buffer.
    if (!m_busy)
        m_next.start();
}

void FeedbackHandler::drain() {
    // One packet per turn of the event loop; a box shown for it runs a nested loop that may
    // deliver further datagrams, and they wait in the queue instead of opening boxes on top.
    if (m_busy || m_queue.empty())
        return;
    const QByteArray datagram = m_queue.front();
    m_queue.pop_front();
    m_busy = true;
    if (!begin(datagram))
        finish();
}

bool FeedbackHandler::begin(const QByteArray& datagram) {
    const std::string_view bytes(datagram.constData(), static_cast<std::size_t>(datagram.size()));
    // Lengths without a decoding (below 40, 42, 43) carry nothing the station can use.
    if (!DecodeFeedback(bytes, m_record))
        return false;

    const FeedbackCheck check = CheckFeedback(m_record);
    if (check != FeedbackCheck::Passed) {
        m_dialogs.critical(kApplicationTitle,
                           joinLines({fromBytes(FeedbackCheckLine(check)), kFeedbackCorrupted}));
        endPacket();
        return false;
    }

    m_c.timerRemoteSent->stop();
    m_c.timerGetMAC->start();
    return !tryLookup();
}

bool FeedbackHandler::tryLookup() {
    std::string mac;
    if (!m_resolver.LookupMac(m_record.ElementIP, mac, ":")) {
        m_retry.start(m_settings.macRetryMs);
        return false;
    }
    conclude(mac);
    return true;
}

void FeedbackHandler::conclude(const std::string& mac) {
    // An address that was never found and one that is not six bytes long are the same failure.
    if (mac.empty()) {
        m_dialogs.critical(kApplicationTitle,
                           joinLines({fromBytes(MacLookupFailedLine()), kFeedbackCorrupted}));
        endPacket();
        return;
    }
    m_record.ElementMAC = mac;
    if (m_state.AutoDiscoverAwaiting)
        StoreDiscoveredElement();
    else
        ApplyConfigurationAnswer();
}

void FeedbackHandler::endPacket() {
    // During discovery the tree is rebuilt once, when the run ends.
    if (!m_state.AutoDiscoverAwaiting)
        emit reloadTree();
}

void FeedbackHandler::finish() {
    m_busy = false;
    emit packetFinished();
    if (!m_queue.empty())
        m_next.start();
}

void FeedbackHandler::StoreDiscoveredElement() {
    const FeedbackRecord& r = m_record;
    IniEntries entries = {
        {std::string(record::kName), PadElementName(r.ElementName)},
        {std::string(record::kIp), r.ElementIP},
        {std::string(record::kMask), r.ElementMask},
        {std::string(record::kGateway), r.ElementGW},
        {std::string(record::kRemote), r.RemoteIP},
        {std::string(record::kInput), decimal(r.AudioInput)},
        {std::string(record::kType), decimal(r.AudioType)},
        {std::string(record::kTx), decimal(r.TxType)},
        {std::string(record::kRole), decimal(r.ElementRole)},
        {std::string(record::kSerial), decimal(r.SerialNumber)},
        {std::string(record::kVersion), StoredVersion(r.DspVersion)},
        {std::string(record::kSfn), decimal(r.SfnOption)},
        {std::string(record::kBuffer), decimal(r.BufferSize)},
    };
    if (r.ElementRole == record::kRoleDecoder)
        entries.emplace_back(std::string(record::kAttenuation), decimal(r.Attenuation));
    m_pendingStores.emplace_back(MacWithoutColons(r.ElementMAC), std::move(entries));
    // A burst of answers is written in a few rewrites instead of one per element, so that a
    // thousand elements are stored within the discovery's wait.
    if (m_queue.empty() || m_pendingStores.size() >= kStoreBatch)
        flushStores();
}

void FeedbackHandler::flushStores() {
    if (m_pendingStores.empty())
        return;
    WriteSectionsToINI(m_pendingStores, m_settings.databasePath);
    m_pendingStores.clear();
}

void FeedbackHandler::ApplyConfigurationAnswer() {
    const std::string& path = m_settings.databasePath;
    const QString selected = m_c.lblElementMAC->caption();
    if (selected != fromBytes(m_record.ElementMAC)) {
        m_dialogs.critical(
            kApplicationTitle,
            joinLines({QStringLiteral("The response received does not match the selected element."),
                       kCannotSaveElement}));
        emit reloadTree();
        return;
    }
    const std::string sectionName = MacWithoutColons(toBytes(selected));
    if (GetSectionKeyCount(sectionName, path) >= record::kCorruptEntryCount) {
        m_dialogs.critical(
            kApplicationTitle,
            joinLines({QStringLiteral(
                           "The data stored in your computer about this element, is corrupted."),
                       kCannotSaveElement}));
        emit reloadTree();
        return;
    }

    // What was sent is what the panel holds now; taken before any box can open.
    const std::string name = toBytes(m_c.txtElementName->text());
    const std::string ip = m_c.txtElementIP->text().toStdString();
    const std::string mask = m_c.txtElementMask->text().toStdString();
    const std::string gw = m_c.txtElementGW->text().toStdString();
    const std::string remote = m_c.txtRemoteIP->text().toStdString();
    const int input = m_c.cmbAudioInput->currentIndex();
    const int type = m_c.cmbAudioType->currentIndex();
    const int tx = m_c.cmbAudioTX->currentIndex();
    const FeedbackRecord& r = m_record;

    bool answerError = false;
    const auto compare = [&](bool agrees, std::string_view key, const std::string& value,
                             const char* field) {
        if (agrees) {
            WriteToINI(sectionName, std::string(key), value, path);
            return;
        }
        answerError = true;
        m_dialogs.critical(
            kApplicationTitle,
            joinLines(
                {QStringLiteral("An error occured while saving '%1':").arg(QLatin1String(field)),
                 kFeedbackCorrupted}));
    };
    const auto sameIndex = [](int index, std::uint8_t reported) {
        return index >= 0 && index == reported;
    };
    compare(ToUpperAscii(TrimSpaces(name)) == ToUpperAscii(TrimSpaces(r.ElementName)),
            record::kName, PadElementName(name), "Element Name");
    compare(ip == r.ElementIP, record::kIp, ip, "Element IP");
    compare(mask == r.ElementMask, record::kMask, mask, "Element Mask");
    compare(gw == r.ElementGW, record::kGateway, gw, "Element GW");
    compare(remote == r.RemoteIP, record::kRemote, remote, "Remote IP");
    compare(sameIndex(input, r.AudioInput), record::kInput, decimal(input), "Audio Input");
    compare(sameIndex(type, r.AudioType), record::kType, decimal(type), "Audio Type");
    compare(sameIndex(tx, r.TxType), record::kTx, decimal(tx), "Audio TX");

    WriteToINI(sectionName, std::string(record::kRole), decimal(r.ElementRole), path);
    if (r.ElementRole == record::kRoleEncoder) {
        m_c.lblElementType->setCaption(kRoleEncoder);
    } else if (r.ElementRole == record::kRoleDecoder) {
        m_c.lblElementType->setCaption(kRoleDecoder);
    } else {
        m_c.lblElementType->setCaption(kRoleUnknown);
        answerError = true;
    }

    const std::string serial = decimal(r.SerialNumber);
    m_c.lblSerialNumber->setCaption(fromBytes(serial));
    WriteToINI(sectionName, std::string(record::kSerial), serial, path);

    m_c.lblVersion->setCaption(fromBytes(VersionOneDecimal(r.DspVersion)));
    WriteToINI(sectionName, std::string(record::kVersion), StoredVersion(r.DspVersion), path);

    if (r.ElementRole == record::kRoleDecoder) {
        if (m_record.Attenuation < m_c.scrlAtten->minimum())
            m_record.Attenuation = static_cast<std::uint8_t>(m_c.scrlAtten->minimum());
        m_c.scrlAtten->setValue(m_record.Attenuation);
        WriteToINI(sectionName, std::string(record::kAttenuation), decimal(m_record.Attenuation),
                   path);
    }

    if (!answerError)
        m_dialogs.information(
            QStringLiteral("Configuration changed"),
            QStringLiteral("New configuration has been sucessfuly saved and loaded!"));
    emit reloadTree();
}

} // namespace varnetix
