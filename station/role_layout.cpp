#include "station/role_layout.h"

#include "core/audio_level.h"

namespace varnetix {

RoleLayout::RoleLayout(WindowControls& controls, QObject* parent) : QObject(parent), m_c(controls) {
    connect(m_c.lblElementType, &CaptionLabel::captionChanged, this, &RoleLayout::applyLayout);
    connect(m_c.cmbAudioTX, &QComboBox::currentIndexChanged, this, [this] {
        if (m_c.lblElementType->caption() == kRoleEncoder)
            applyTxRule();
    });
}

void RoleLayout::applyLayout(const QString& role) {
    const bool encoder = role == kRoleEncoder;
    m_c.txtRemoteIP->setVisible(encoder);
    m_c.cmbAudioInput->setVisible(encoder);
    m_c.cmbAudioTX->setVisible(encoder);
    m_c.scrlAtten->setVisible(!encoder);
    m_c.lblAttenDB->setVisible(!encoder);
    m_c.Label9->setText(encoder ? QStringLiteral("Audio source:") : QStringLiteral("Audio atten:"));
    if (encoder)
        applyTxRule();
    resetLevelDisplay(encoder);
    if (encoder) {
        m_c.scrlBuffer->setValue(0);
        m_c.scrlBuffer->setEnabled(false);
        m_c.lblLatency->setText(QStringLiteral("0mS"));
    } else {
        m_c.scrlBuffer->setEnabled(true);
    }
}

void RoleLayout::applyTxRule() {
    m_c.txtRemoteIP->setVisible(m_c.cmbAudioTX->currentIndex() <= 0);
}

void RoleLayout::resetLevelDisplay(bool encoder) {
    m_c.tmrVolume->stop();
    m_c.chkGetVolume->setChecked(false);
    m_c.chkGetVolume->setVisible(false);
    m_c.button(kButtonStartLevel)->setEnabled(encoder);
    m_c.button(kButtonStopLevel)->setEnabled(false);
    m_c.VUMeter->setEnabled(encoder);
    m_c.VUMeter->setLevelWidth(0);
    m_c.lblVolume->setText(QString::fromLatin1(kNoLevelText));
}

void RoleLayout::ClearElementFields() {
    m_c.lblElementType->setCaption(kNoSelection);
    m_c.lblElementMAC->setCaption(kNoSelection);
    m_c.lblSerialNumber->setCaption(kNoSelection);
    m_c.lblPing->setCaption(QStringLiteral("<Unknown>"));
    m_c.lblVersion->setCaption(kNoSelection);
    m_c.lblLatency->setText(QStringLiteral("0mS"));
    m_c.shpPing->setFillColor(kColourNotTested);
    for (QLineEdit* field : {m_c.txtElementName, m_c.txtElementIP, m_c.txtElementMask,
                             m_c.txtElementGW, m_c.txtRemoteIP})
        field->clear();
    for (QComboBox* list : {m_c.cmbAudioInput, m_c.cmbAudioType, m_c.cmbAudioTX})
        list->setCurrentIndex(-1);
}

} // namespace varnetix
