// frmProperties: the element panel. It owns its controls and their behaviour as the operator
// sees it (whole text selected on entry, invalid addresses light red, the name upper-cased when
// left, the readouts beside the scroll bars, the arrangement for the shown role); the
// controllers reach it through ElementEditor.
#pragma once

#include <QGroupBox>

#include "station/element_editor.h"
#include "station/element_selection.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QScrollBar;

namespace varnetix {

class ElementPanel : public QGroupBox, public ElementEditor {
    Q_OBJECT
public:
    explicit ElementPanel(QWidget* parent = nullptr);

    EditedConfiguration editedConfiguration() const override;
    void showStoredFields(const StoredFields& fields) override;
    void setAttenuation(std::optional<int> step) override;
    void setBufferSize(std::optional<int> size) override;
    void showSerialNumber(const QString& text) override;
    void showVersion(const QString& text) override;
    void clearFields() override;

    // The role caption and the arrangement that goes with it.
    void arrange(ElementRole role) override;
    void showMacCaption(const QString& caption);
    // "<None>" followed by the encoders a decoder can be bound to; the loaded record's binding
    // stays selected.
    void setEncoderChoices(const QStringList& encoders);
    // The widgets that start and end the panel's tab chain.
    QWidget* firstField() const;
    QWidget* lastField() const;

signals:
    // A new value of the attenuation scroll bar, and whether the operator is using it.
    void attenuationChanged(int value, bool active);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void layOut();
    void setAccessibility();
    void connectBehaviour();
    void applyTxRule();
    static void colourAddress(QLineEdit* field);

    ElementRole m_role = ElementRole::None;

    QLabel* m_typeLabel = nullptr;
    QLabel* m_macLabel = nullptr;
    QLabel* m_versionLabel = nullptr;
    QLabel* m_serialLabel = nullptr;
    QLineEdit* m_nameEdit = nullptr;
    QLineEdit* m_ipEdit = nullptr;
    QLineEdit* m_gatewayEdit = nullptr;
    QLineEdit* m_maskEdit = nullptr;
    QLineEdit* m_remoteEdit = nullptr;
    QLineEdit* m_vlanOmEdit = nullptr;
    QLineEdit* m_vlanAudioEdit = nullptr;
    QComboBox* m_audioTypeList = nullptr;
    QComboBox* m_audioInputList = nullptr;
    QComboBox* m_txTypeList = nullptr;
    QComboBox* m_encoderList = nullptr;
    std::optional<int> m_storedBinding; // the loaded record's "bound", an index of m_encoderList
    QScrollBar* m_attenuationBar = nullptr;
    QScrollBar* m_bufferBar = nullptr;
    QLabel* m_attenuationReadout = nullptr;
    QLabel* m_latencyReadout = nullptr;
    QLabel* m_audioCaption = nullptr;  // "Audio source:" / "Audio atten:"
    QLabel* m_remoteCaption = nullptr; // "Remote IP:"
    QLabel* m_txCaption = nullptr;     // "TX type:"
    QLabel* m_txNotApplicable = nullptr;
    QLabel* m_remoteNotApplicable = nullptr;
    QCheckBox* m_sfnCheck = nullptr;
};

} // namespace varnetix
