#include "station/element_view.h"

#include <optional>

#include "core/element_record.h"
#include "core/element_tree.h"
#include "core/ini_store.h"
#include "core/number_text.h"
#include "core/text_procedures.h"
#include "platform/byte_text.h"

namespace varnetix {

ElementView::ElementView(ElementEditor& editor, ElementSelection& selection,
                         ElementTreeController& tree, LevelMonitor& level, PingController& ping,
                         OperatorDialogs& dialogs, ElementDatabase& database, QObject* parent)
    : QObject(parent), m_editor(editor), m_selection(selection), m_tree(tree), m_level(level),
      m_ping(ping), m_dialogs(dialogs), m_database(database) {}

void ElementView::loadElement(const QString& nodeKey) {
    m_ping.setColour(PingColour::NotTested);
    m_level.disableCommands();

    const std::string section = MacWithoutColons(toBytes(nodeKey));
    const IniDocument record = m_database.current().document;
    if (static_cast<int>(record.sectionEntries(section).size()) >= record::kCorruptEntryCount) {
        m_dialogs.critical(
            kApplicationTitle,
            joinLines(
                {QStringLiteral(
                     "The data stored in your computer about this element, is corrupted (1)."),
                 QStringLiteral("Cannot load this element info.")}));
        return;
    }
    const auto read = [&](std::string_view key, const char* fallback = "") {
        return record.value(section, std::string(key)).value_or(fallback);
    };

    StoredFields fields;
    fields.name = fromBytes(read(record::kName));
    fields.ip = fromBytes(read(record::kIp));
    fields.mask = fromBytes(read(record::kMask));
    fields.gateway = fromBytes(read(record::kGateway));
    fields.remote = fromBytes(read(record::kRemote));
    fields.audioInput = WholeNumber(read(record::kInput));
    fields.audioType = WholeNumber(read(record::kType));
    fields.txType = WholeNumber(read(record::kTx));
    fields.version = fromBytes(VersionTwoDecimals(read(record::kVersion, "2")));
    fields.bound = WholeNumber(read(record::kBound, "0"));
    fields.sfnEnabled = WholeNumber(read(record::kSfn, "0")).value_or(0) == 1;
    m_editor.showStoredFields(fields);

    const ElementRole role = roleFromNumber(LeadingNumber(read(record::kRole)));
    m_selection.setRole(role);
    if (role == ElementRole::Encoder) {
        m_editor.setBufferSize(0);
    } else if (role == ElementRole::Decoder) {
        m_editor.setAttenuation(WholeNumber(read(record::kAttenuation)));
        m_editor.setBufferSize(WholeNumber(read(record::kBuffer, "1")));
    }
    m_selection.select(nodeKey);
    m_editor.showSerialNumber(fromBytes(read(record::kSerial)));
    m_ping.setCaption(QStringLiteral("<Click to test>"));
}

void ElementView::clearElementFields() {
    m_selection.clearRole();
    m_selection.clearMac();
    m_ping.setCaption(QStringLiteral("<Unknown>"));
    m_ping.setColour(PingColour::NotTested);
    m_editor.clearFields();
}

void ElementView::reloadElementTree() {
    m_tree.reload();
    clearElementFields();
}

} // namespace varnetix
