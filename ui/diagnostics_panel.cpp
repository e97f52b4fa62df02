#include "ui/diagnostics_panel.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>

#include "core/audio_level.h"
#include "ui/indicator_widgets.h"

namespace varnetix {

DiagnosticsPanel::DiagnosticsPanel(QWidget* parent)
    : QGroupBox(QStringLiteral("Diagnostics:"), parent) {
    setObjectName(QStringLiteral("frmDiagnostics"));

    m_pingShape = new ShapeIndicator;
    m_pingShape->setObjectName(QStringLiteral("shpPing"));
    m_pingLabel = new ClickableLabel(QStringLiteral("<Unknown>"));
    m_pingLabel->setObjectName(QStringLiteral("lblPing"));
    // The readouts' own face, at the desktop's size (where Tahoma is missing, a similar face).
    QFont readout = m_pingLabel->font();
    readout.setFamilies({QStringLiteral("Tahoma"), readout.family()});
    QFont bold = readout;
    bold.setBold(true);
    m_pingLabel->setFont(bold);
    m_pingLabel->setAlignment(Qt::AlignCenter);
    m_pingLabel->setToolTip(QStringLiteral("Click to test ping"));
    m_pingLabel->setAccessibleDescription(QStringLiteral("Ping response"));
    // Room for the longest caption the test shows.
    m_pingLabel->setMinimumWidth(m_pingLabel->fontMetrics().horizontalAdvance(
        QStringLiteral("Destination Host Unreachable")));
    auto* shapeLayout = new QHBoxLayout(m_pingShape);
    shapeLayout->setContentsMargins(4, 2, 4, 2);
    shapeLayout->addWidget(m_pingLabel);
    connect(m_pingLabel, &ClickableLabel::clicked, this, &DiagnosticsPanel::pingClicked);

    auto* meterFrame = new QFrame;
    meterFrame->setObjectName(QStringLiteral("picVUMeter"));
    meterFrame->setFrameShape(QFrame::StyledPanel);
    meterFrame->setAutoFillBackground(true);
    m_levelBar = new LevelBar(kMeterFullScale);
    m_levelBar->setObjectName(QStringLiteral("VUMeter"));
    auto* meterLayout = new QHBoxLayout(meterFrame);
    meterLayout->setContentsMargins(1, 1, 1, 1);
    meterLayout->addWidget(m_levelBar);
    m_levelReadout = new QLabel(QString::fromLatin1(kNoLevelText));
    m_levelReadout->setObjectName(QStringLiteral("lblVolume"));
    m_levelReadout->setFont(readout);
    m_levelReadout->setAccessibleDescription(QStringLiteral("Audio level"));
    m_levelReadout->setMinimumWidth(
        m_levelReadout->fontMetrics().horizontalAdvance(QStringLiteral("-138.5dBFS")));

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Ping response:")), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Audio level:")), 0, 1);
    grid->addWidget(m_pingShape, 1, 0);
    grid->addWidget(meterFrame, 1, 1);
    grid->addWidget(m_levelReadout, 1, 2);
    grid->setColumnStretch(1, 1);
}

QWidget* DiagnosticsPanel::pingReadout() const {
    return m_pingLabel;
}

void DiagnosticsPanel::showPingCaption(const QString& caption) {
    m_pingLabel->setText(caption);
}

void DiagnosticsPanel::showPingColour(PingColour colour) {
    switch (colour) {
    case PingColour::NotTested:
        m_pingShape->setFillColor(kColourNotTested);
        break;
    case PingColour::Answered:
        m_pingShape->setFillColor(kColourAnswered);
        break;
    case PingColour::Failed:
        m_pingShape->setFillColor(kColourFailed);
        break;
    }
}

void DiagnosticsPanel::showLevelWidth(int units) {
    m_levelBar->setLevelWidth(units);
}

void DiagnosticsPanel::showLevelText(const QString& text) {
    m_levelReadout->setText(text);
}

void DiagnosticsPanel::enableLevelBar(bool enabled) {
    m_levelBar->setEnabled(enabled);
}

} // namespace varnetix
