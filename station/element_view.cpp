#include "station/element_view.h"

#include <charconv>
#include <optional>

#include "core/element_record.h"
#include "core/element_tree.h"
#include "core/ini_store.h"
#include "core/number_text.h"
#include "core/text_procedures.h"
#include "platform/byte_text.h"

namespace varnetix {

namespace {

// A stored whole number, or nothing when the text is not one.
std::optional<int> storedInteger(const std::string& text) {
    const std::string trimmed = TrimSpaces(text);
    int value = 0;
    const char* end = trimmed.data() + trimmed.size();
    const auto [ptr, ec] = std::from_chars(trimmed.data(), end, value);
    if (trimmed.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

} // namespace

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
    fields.audioInput = storedInteger(read(record::kInput));
    fields.audioType = storedInteger(read(record::kType));
    fields.txType = storedInteger(read(record::kTx));
    fields.version = fromBytes(VersionTwoDecimals(read(record::kVersion, "2")));
    fields.bound = storedInteger(read(record::kBound, "0"));
    fields.sfnEnabled = storedInteger(read(record::kSfn, "0")).value_or(0) == 1;
    m_editor.showStoredFields(fields);

    const ElementRole role = roleFromNumber(LeadingNumber(read(record::kRole)));
    m_selection.setRole(role);
    if (role == ElementRole::Encoder) {
        m_editor.setBufferSize(0);
    } else if (role == ElementRole::Decoder) {
        m_editor.setAttenuation(storedInteger(read(record::kAttenuation)));
        m_editor.setBufferSize(storedInteger(read(record::kBuffer, "1")));
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
