#include "ui/replace_element_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>

#include "core/commands.h"
#include "core/element_record.h"
#include "core/text_procedures.h"
#include "platform/byte_text.h"
#include "station/spare_replacement.h"

namespace varnetix {

namespace {

QString unitText(const ReplacementUnit& unit) {
    const QString role =
        unit.role == record::kRoleDecoder ? QStringLiteral("DECODER") : QStringLiteral("ENCODER");
    return QStringLiteral("%1 [%2] at %3 (%4)")
        .arg(fromBytes(unit.name), fromBytes(unit.mac), fromBytes(unit.ip), role);
}

// "SFN on, buffer 7.5mS" as the record holds them.
QString sfnAndBuffer(const ReplacementUnit& unit) {
    const QString sfn = unit.sfn.empty()  ? QStringLiteral("not stored")
                        : unit.sfn == "0" ? QStringLiteral("off")
                                          : QStringLiteral("on");
    const bool bufferKnown = !unit.buffer.empty() &&
                             unit.buffer.find_first_not_of("0123456789") == std::string::npos &&
                             unit.buffer.size() <= 3;
    const QString buffer = bufferKnown ? fromBytes(LatencyReadout(std::stoi(unit.buffer)))
                                       : QStringLiteral("not stored");
    return QStringLiteral("SFN %1, buffer %2").arg(sfn, buffer);
}

} // namespace

ReplaceElementDialog::ReplaceElementDialog(SpareReplacement& replacement,
                                           ReplacementCandidates candidates, QWidget* parent)
    : QDialog(parent), m_replacement(replacement), m_candidates(std::move(candidates)),
      m_missing(new QComboBox), m_spare(new QComboBox), m_plan(new QPlainTextEdit) {
    setObjectName(QStringLiteral("dlgReplaceElement"));
    setWindowTitle(QStringLiteral("Replace missing element"));
    m_missing->setObjectName(QStringLiteral("cmbMissingElement"));
    m_spare->setObjectName(QStringLiteral("cmbSpareElement"));
    m_plan->setObjectName(QStringLiteral("txtReplacementPlan"));
    m_plan->setReadOnly(true);
    m_plan->setAccessibleName(QStringLiteral("What the spare will be sent"));
    // Room for the whole plan at the desktop's font, so that nothing of it hides below.
    const QFontMetrics metrics = m_plan->fontMetrics();
    m_plan->setMinimumSize(metrics.averageCharWidth() * 80, metrics.lineSpacing() * 22);
    for (const ReplacementUnit& unit : m_candidates.missing)
        m_missing->addItem(unitText(unit));

    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("&Missing element:"), m_missing);
    form->addRow(QStringLiteral("&Spare:"), m_spare);
    form->addRow(m_plan);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    m_replace = buttons->addButton(QStringLiteral("&Replace..."), QDialogButtonBox::AcceptRole);
    m_replace->setObjectName(QStringLiteral("btnReplace"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);

    connect(m_missing, &QComboBox::currentIndexChanged, this, &ReplaceElementDialog::listSpares);
    connect(m_spare, &QComboBox::currentIndexChanged, this, &ReplaceElementDialog::showPlan);
    listSpares();
}

std::string ReplaceElementDialog::missing() const {
    const int index = m_missing->currentIndex();
    return index < 0 ? std::string()
                     : m_candidates.missing[static_cast<std::size_t>(index)].section;
}

std::string ReplaceElementDialog::spare() const {
    const QVariant section = m_spare->currentData();
    return section.isValid() ? section.toString().toStdString() : std::string();
}

void ReplaceElementDialog::listSpares() {
    const QSignalBlocker blocked(m_spare);
    m_spare->clear();
    const int index = m_missing->currentIndex();
    if (index >= 0) {
        const int role = m_candidates.missing[static_cast<std::size_t>(index)].role;
        for (const ReplacementUnit& unit : m_candidates.spares) {
            if (unit.role == role)
                m_spare->addItem(unitText(unit), QString::fromStdString(unit.section));
        }
    }
    showPlan();
}

void ReplaceElementDialog::showPlan() {
    m_replace->setEnabled(false);
    const int missingIndex = m_missing->currentIndex();
    if (missingIndex < 0) {
        m_plan->setPlainText(QStringLiteral("The last discovery found no element missing."));
        return;
    }
    const ReplacementUnit& missing = m_candidates.missing[static_cast<std::size_t>(missingIndex)];
    const auto spare =
        std::ranges::find(m_candidates.spares, this->spare(), &ReplacementUnit::section);
    if (spare == m_candidates.spares.end()) {
        m_plan->setPlainText(QStringLiteral(
            "The last discovery found no new element of this role. Connect the spare, run a "
            "discovery, and choose it here."));
        return;
    }
    std::string why;
    const std::optional<ReplacementConfiguration> configuration =
        m_replacement.configurationOf(missing.section, &why);
    if (!configuration) {
        m_plan->setPlainText(
            QStringLiteral("The record of the missing element holds no valid '%1': it makes no "
                           "configuration to send.")
                .arg(fromBytes(why)));
        return;
    }
    static const QStringList kInputs = {QStringLiteral("Digital"), QStringLiteral("Analog")};
    static const QStringList kTypes = {QStringLiteral("Left/Right"), QStringLiteral("MPX")};
    static const QStringList kTx = {QStringLiteral("Unicast"), QStringLiteral("Multicast")};
    const ConfigFields& f = configuration->fields;
    QStringList lines = {
        QStringLiteral("Sent to the spare at %1, as \"Save changes\" sends a configuration:")
            .arg(fromBytes(spare->ip)),
        QStringLiteral("    Name: %1").arg(fromBytes(TrimSpaces(PadElementName(f.name)))),
        QStringLiteral("    Element IP: %1").arg(fromBytes(f.ip)),
        QStringLiteral("    Element Mask: %1").arg(fromBytes(f.mask)),
        QStringLiteral("    Element GW: %1").arg(fromBytes(f.gateway)),
        QStringLiteral("    Remote IP: %1").arg(fromBytes(f.remote)),
        QStringLiteral("    Audio Input: %1").arg(kInputs.value(f.audioInput)),
        QStringLiteral("    Audio Type: %1").arg(kTypes.value(f.audioType)),
        QStringLiteral("    Audio TX: %1").arg(kTx.value(f.txType))};
    if (missing.role == record::kRoleDecoder) {
        lines << (configuration->attenuation
                      ? QStringLiteral("Once the spare has answered, to %1 port 2977 as the "
                                       "attenuation scroll bar sends it:\n    Attenuation: %2")
                            .arg(fromBytes(f.ip),
                                 fromBytes(AttenuationReadout(*configuration->attenuation)))
                      : QStringLiteral("No attenuation is sent: the missing element's record "
                                       "holds none."));
    }
    lines << QString()
          << QStringLiteral("Not sent: SFN and buffer. A configuration neither sends nor stores "
                            "them; the spare keeps its own (%1), the missing element had %2.")
                 .arg(sfnAndBuffer(*spare), sfnAndBuffer(missing))
          << QStringLiteral("Nothing is sent while %1 still answers. The spare's answer is stored "
                            "under its own MAC, %2.")
                 .arg(fromBytes(f.ip), fromBytes(spare->mac));
    m_plan->setPlainText(lines.join(u'\n'));
    m_replace->setEnabled(true);
}

} // namespace varnetix
