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

// A list index that is missing or outside the list shows no selection, so that nothing of the
// previously shown element stays and the send checks catch it.
void selectStoredIndex(QComboBox* list, const std::string& text) {
    const std::optional<int> index = storedInteger(text);
    list->setCurrentIndex(index && *index >= 0 && *index < list->count() ? *index : -1);
}

// A value outside the scroll bar's range leaves it where it was.
void setStoredScroll(QScrollBar* bar, const std::string& text) {
    const std::optional<int> value = storedInteger(text);
    if (value && *value >= bar->minimum() && *value <= bar->maximum())
        bar->setValue(*value);
}

} // namespace

ElementView::ElementView(WindowControls& controls, OperatorDialogs& dialogs,
                         std::string databasePath, QObject* parent)
    : QObject(parent), m_c(controls), m_dialogs(dialogs), m_databasePath(std::move(databasePath)) {}

void ElementView::NodeClick(const QString& nodeKey) {
    m_c.shpPing->setFillColor(kColourNotTested);
    m_c.button(kButtonStartLevel)->setEnabled(false);
    m_c.button(kButtonStopLevel)->setEnabled(false);

    const std::string section = MacWithoutColons(toBytes(nodeKey));
    const IniDocument record = IniDocument::load(m_databasePath);
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

    m_c.txtElementName->setText(fromBytes(read(record::kName)));
    m_c.txtElementIP->setText(fromBytes(read(record::kIp)));
    m_c.txtElementMask->setText(fromBytes(read(record::kMask)));
    m_c.txtElementGW->setText(fromBytes(read(record::kGateway)));
    m_c.txtRemoteIP->setText(fromBytes(read(record::kRemote)));
    selectStoredIndex(m_c.cmbAudioInput, read(record::kInput));
    selectStoredIndex(m_c.cmbAudioType, read(record::kType));
    selectStoredIndex(m_c.cmbAudioTX, read(record::kTx));
    m_c.lblVersion->setCaption(fromBytes(VersionTwoDecimals(read(record::kVersion, "2"))));
    selectStoredIndex(m_c.cmbEncoders, read(record::kBound, "0"));
    m_c.chkSFNEnabled->setChecked(storedInteger(read(record::kSfn, "0")).value_or(0) == 1);

    const double role = LeadingNumber(read(record::kRole));
    if (role == record::kRoleEncoder) {
        m_c.lblElementType->setCaption(kRoleEncoder);
        m_c.scrlBuffer->setValue(0);
    } else if (role == record::kRoleDecoder) {
        m_c.lblElementType->setCaption(kRoleDecoder);
        setStoredScroll(m_c.scrlAtten, read(record::kAttenuation));
        setStoredScroll(m_c.scrlBuffer, read(record::kBuffer, "1"));
    } else {
        m_c.lblElementType->setCaption(kRoleUnknown);
    }
    m_c.lblElementMAC->setCaption(nodeKey);
    m_c.lblSerialNumber->setCaption(fromBytes(read(record::kSerial)));
    m_c.lblPing->setCaption(QStringLiteral("<Click to test>"));
}

} // namespace varnetix
