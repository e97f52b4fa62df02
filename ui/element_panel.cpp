#include "ui/element_panel.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTimer>
#include <QValidator>

#include "core/commands.h"
#include "core/text_procedures.h"
#include "platform/byte_text.h"
#include "ui/indicator_widgets.h"

namespace varnetix {

namespace {

const QString kNoSelection = QStringLiteral("-");

QString roleCaption(ElementRole role) {
    switch (role) {
    case ElementRole::Encoder:
        return QStringLiteral("ENCODER");
    case ElementRole::Decoder:
        return QStringLiteral("DECODER");
    case ElementRole::Unknown:
        return QStringLiteral("UNKNOWN");
    case ElementRole::None:
        break;
    }
    return kNoSelection;
}

template <typename Widget> Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QLineEdit* textBox(const char* name, int maxLength) {
    auto* box = named(new QLineEdit, name);
    box->setMaxLength(maxLength);
    return box;
}

QComboBox* dropDown(const char* name, const QStringList& items) {
    auto* list = named(new QComboBox, name);
    list->addItems(items);
    list->setCurrentIndex(-1);
    return list;
}

QScrollBar* scrollBar(const char* name, int minimum, int maximum, int value) {
    auto* bar = named(new QScrollBar(Qt::Horizontal), name);
    bar->setRange(minimum, maximum);
    bar->setValue(value);
    bar->setSingleStep(1);
    bar->setPageStep(10);
    // The value changes when the operator lets the thumb go, not at every pixel of a drag:
    // each change of the attenuation is a command to the decoder.
    bar->setTracking(false);
    // The attenuation is commanded only while its scroll bar is the active control, so both
    // scroll bars take the focus when clicked or tabbed to.
    bar->setFocusPolicy(Qt::StrongFocus);
    // Qt's scroll bars invert the keys for the vertical bar's sake; on a horizontal one Right
    // would lower the value and move the thumb left.
    bar->setInvertedControls(false);
    bar->setMinimumWidth(bar->fontMetrics().averageCharWidth() * 10);
    return bar;
}

// Refuses, as they are typed or pasted, characters that cannot be sent as one byte each.
class Latin1Validator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        for (QChar c : input) {
            if (c.unicode() > 0xFF)
                return Invalid;
        }
        return Acceptable;
    }
};

// A list index that is missing or outside the list shows no selection, so that nothing of the
// previously shown element stays and the send checks catch it.
void selectStoredIndex(QComboBox* list, std::optional<int> index) {
    list->setCurrentIndex(index && *index >= 0 && *index < list->count() ? *index : -1);
}

void setInRange(QScrollBar* bar, std::optional<int> value) {
    if (value && *value >= bar->minimum() && *value <= bar->maximum())
        bar->setValue(*value);
}

// A field and the label that stands in its place while the field is hidden: the field covers
// the label whenever it is shown.
QWidget* overlaid(QWidget* field, QLabel* notApplicable) {
    auto* cell = new QWidget;
    auto* grid = new QGridLayout(cell);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(notApplicable, 0, 0, Qt::AlignLeft | Qt::AlignVCenter);
    grid->addWidget(field, 0, 0);
    field->raise();
    return cell;
}

QWidget* row(std::initializer_list<QWidget*> widgets, int stretchOf = 0) {
    auto* cell = new QWidget;
    auto* box = new QHBoxLayout(cell);
    box->setContentsMargins(0, 0, 0, 0);
    int index = 0;
    for (QWidget* widget : widgets)
        box->addWidget(widget, index++ == stretchOf ? 1 : 0);
    return cell;
}

} // namespace

ElementPanel::ElementPanel(QWidget* parent)
    : QGroupBox(QStringLiteral("Element properties:"), parent) {
    setObjectName(QStringLiteral("frmProperties"));
    createControls();
    layOut();
    setAccessibility();
    connectBehaviour();
}

void ElementPanel::createControls() {
    m_typeLabel = named(new QLabel(kNoSelection), "lblElementType");
    m_macLabel = named(new QLabel(kNoSelection), "lblElementMAC");
    m_versionLabel = named(new QLabel(kNoSelection), "lblVersion");
    m_serialLabel = named(new QLabel(kNoSelection), "lblSerialNumber");
    m_nameEdit = textBox("txtElementName", 16);
    m_nameEdit->setToolTip(QStringLiteral("Max 12 chars"));
    m_nameEdit->setValidator(new Latin1Validator(m_nameEdit));
    m_ipEdit = textBox("txtElementIP", 15);
    m_gatewayEdit = textBox("txtElementGW", 15);
    m_maskEdit = textBox("txtElementMask", 15);
    m_remoteEdit = textBox("txtRemoteIP", 15);
    m_vlanOmEdit = textBox("txtVLAN_OM", 16);
    m_vlanAudioEdit = textBox("txtVLAN_Audio", 16);
    for (QLineEdit* vlan : {m_vlanOmEdit, m_vlanAudioEdit}) {
        vlan->setText(QStringLiteral("1"));
        vlan->setToolTip(QStringLiteral("Max 12 chars"));
    }
    m_audioTypeList =
        dropDown("cmbAudioType", {QStringLiteral("Left/Right"), QStringLiteral("MPX")});
    m_audioInputList =
        dropDown("cmbAudioInput", {QStringLiteral("Digital"), QStringLiteral("Analog")});
    m_txTypeList = dropDown("cmbAudioTX", {QStringLiteral("Unicast"), QStringLiteral("Multicast")});
    m_encoderList = dropDown("cmbEncoders", {QStringLiteral("<None>")});
    m_attenuationBar =
        scrollBar("scrlAtten", kAttenuationMinimum, kAttenuationMaximum, kAttenuationMaximum);
    m_bufferBar = scrollBar("scrlBuffer", kBufferMinimum, kBufferMaximum, kBufferMinimum);
    m_attenuationReadout = named(new QLabel(QStringLiteral("dB")), "lblAttenDB");
    m_latencyReadout = named(new QLabel(QStringLiteral("0mS")), "lblLatency");
    // Wide enough for the longest readouts, so that the row does not jump while they change.
    m_attenuationReadout->setMinimumWidth(
        fontMetrics().horizontalAdvance(QStringLiteral("-120 dB")));
    m_latencyReadout->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("17.5mS")));
    m_attenuationBar->hide();
    m_attenuationReadout->hide();
    m_audioCaption = named(new QLabel(QStringLiteral("Audio source:")), "Label9");
    m_remoteCaption = named(new QLabel(QStringLiteral("Remote IP:")), "Label7");
    m_txCaption = named(new QLabel(QStringLiteral("TX type:")), "Label10");
    m_txNotApplicable = named(new QLabel(QStringLiteral("N/A")), "lblTxNotApplicable");
    m_remoteNotApplicable = named(new QLabel(QStringLiteral("N/A")), "lblRemoteNotApplicable");
    m_sfnCheck = named(new QCheckBox(QStringLiteral("Enabled")), "chkSFNEnabled");
}

void ElementPanel::layOut() {
    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(12);
    const auto caption = [](const QString& text) { return new QLabel(text); };
    const auto place = [grid](int row, QWidget* leftCaption, QWidget* leftField,
                              QWidget* rightCaption, QWidget* rightField) {
        grid->addWidget(leftCaption, row, 0);
        grid->addWidget(leftField, row, 1);
        grid->addWidget(rightCaption, row, 2);
        grid->addWidget(rightField, row, 3);
    };
    place(0, caption(QStringLiteral("System type:")), m_typeLabel,
          caption(QStringLiteral("MAC address:")), m_macLabel);
    place(1, caption(QStringLiteral("DSP version:")), m_versionLabel,
          caption(QStringLiteral("Serial number:")), m_serialLabel);
    place(2, caption(QStringLiteral("System name:")), m_nameEdit,
          caption(QStringLiteral("Audio type:")), m_audioTypeList);
    place(3, caption(QStringLiteral("System IP:")), m_ipEdit, m_audioCaption,
          row({m_audioInputList, m_attenuationBar, m_attenuationReadout}, 1));
    place(4, caption(QStringLiteral("Gateway IP:")), m_gatewayEdit, m_txCaption,
          overlaid(m_txTypeList, m_txNotApplicable));
    place(5, caption(QStringLiteral("Network mask:")), m_maskEdit, m_remoteCaption,
          overlaid(m_remoteEdit, m_remoteNotApplicable));
    place(6, caption(QStringLiteral("VLAN O&M:")),
          row({m_vlanOmEdit, caption(QStringLiteral("Audio:")), m_vlanAudioEdit}),
          caption(QStringLiteral("Bounded to:")), m_encoderList);
    place(7, caption(QStringLiteral("SFN option:")), m_sfnCheck,
          caption(QStringLiteral("Buffer size:")), row({m_bufferBar, m_latencyReadout}, 0));
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(8, 1);
}

void ElementPanel::setAccessibility() {
    const std::pair<QWidget*, const char*> fields[] = {
        {m_nameEdit, "System name"},       {m_ipEdit, "System IP"},
        {m_gatewayEdit, "Gateway IP"},     {m_maskEdit, "Network mask"},
        {m_audioTypeList, "Audio type"},   {m_audioInputList, "Audio source"},
        {m_attenuationBar, "Audio atten"}, {m_txTypeList, "TX type"},
        {m_remoteEdit, "Remote IP"},       {m_encoderList, "Bounded to"},
        {m_sfnCheck, "SFN option"},        {m_bufferBar, "Buffer size"},
        {m_vlanOmEdit, "VLAN O&M"},        {m_vlanAudioEdit, "VLAN Audio"},
    };
    for (const auto& [widget, name] : fields)
        widget->setAccessibleName(QLatin1String(name));
    // Value labels are read by their text; their caption describes them.
    const std::pair<QWidget*, const char*> values[] = {
        {m_typeLabel, "System type"},
        {m_macLabel, "MAC address"},
        {m_versionLabel, "DSP version"},
        {m_serialLabel, "Serial number"},
        {m_attenuationReadout, "Audio attenuation"},
        {m_latencyReadout, "Buffer latency"},
    };
    for (const auto& [widget, description] : values)
        widget->setAccessibleDescription(QLatin1String(description));

    const QWidget* order[] = {m_nameEdit,   m_ipEdit,        m_gatewayEdit,    m_maskEdit,
                              m_vlanOmEdit, m_audioTypeList, m_audioInputList, m_attenuationBar,
                              m_txTypeList, m_remoteEdit,    m_vlanAudioEdit,  m_encoderList,
                              m_sfnCheck,   m_bufferBar};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));
}

QWidget* ElementPanel::firstField() const {
    return m_nameEdit;
}

QWidget* ElementPanel::lastField() const {
    return m_bufferBar;
}

void ElementPanel::connectBehaviour() {
    for (QLineEdit* field : {m_nameEdit, m_ipEdit, m_maskEdit, m_gatewayEdit, m_remoteEdit,
                             m_vlanOmEdit, m_vlanAudioEdit})
        field->installEventFilter(this);
    for (QLineEdit* field : {m_ipEdit, m_maskEdit, m_gatewayEdit, m_remoteEdit})
        connect(field, &QLineEdit::textChanged, field, [field] { colourAddress(field); });
    connect(m_txTypeList, &QComboBox::currentIndexChanged, this, [this] {
        if (m_role == ElementRole::Encoder)
            applyTxRule();
    });
    connect(m_attenuationBar, &QScrollBar::valueChanged, this, [this](int value) {
        m_attenuationReadout->setText(
            fromBytes(AttenuationReadout(value, m_attenuationBar->minimum())));
        emit attenuationChanged(value,
                                m_attenuationBar->window()->focusWidget() == m_attenuationBar);
    });
    connect(m_bufferBar, &QScrollBar::valueChanged, this,
            [this](int value) { m_latencyReadout->setText(fromBytes(LatencyReadout(value))); });
}

void ElementPanel::colourAddress(QLineEdit* field) {
    const QString text = field->text();
    const bool valid = text.isEmpty() || IsValidIp(text.toStdString());
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, valid ? QApplication::palette(field).color(QPalette::Base)
                                           : kColourInvalidAddress);
    field->setPalette(palette);
}

bool ElementPanel::eventFilter(QObject* watched, QEvent* event) {
    auto* field = qobject_cast<QLineEdit*>(watched);
    // Only a move of the focus inside the window counts: when a message box, a context menu or
    // another program takes the activation and gives it back, the field is as it was left.
    if (field && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            return QGroupBox::eventFilter(watched, event);
    }
    if (field && event->type() == QEvent::FocusIn) {
        // After the focus change a mouse press would place the cursor and undo the selection,
        // so select once the press has been handled.
        QTimer::singleShot(0, field, &QLineEdit::selectAll);
    } else if (field == m_nameEdit && event->type() == QEvent::FocusOut) {
        // The rule of the packet and the store, so that no character changes length or byte.
        field->setText(fromBytes(ToUpperLatin1(toBytes(field->text()))));
    }
    return QGroupBox::eventFilter(watched, event);
}

EditedConfiguration ElementPanel::editedConfiguration() const {
    EditedConfiguration edited;
    edited.name = m_nameEdit->text();
    edited.ip = m_ipEdit->text();
    edited.mask = m_maskEdit->text();
    edited.gateway = m_gatewayEdit->text();
    edited.remote = m_remoteEdit->text();
    edited.audioInput = m_audioInputList->currentIndex();
    edited.audioType = m_audioTypeList->currentIndex();
    edited.txType = m_txTypeList->currentIndex();
    return edited;
}

void ElementPanel::showStoredFields(const StoredFields& fields) {
    m_nameEdit->setText(fields.name);
    m_ipEdit->setText(fields.ip);
    m_maskEdit->setText(fields.mask);
    m_gatewayEdit->setText(fields.gateway);
    m_remoteEdit->setText(fields.remote);
    selectStoredIndex(m_audioInputList, fields.audioInput);
    selectStoredIndex(m_audioTypeList, fields.audioType);
    selectStoredIndex(m_txTypeList, fields.txType);
    m_versionLabel->setText(fields.version);
    m_storedBinding = fields.bound;
    selectStoredIndex(m_encoderList, m_storedBinding);
    m_sfnCheck->setChecked(fields.sfnEnabled);
}

void ElementPanel::setAttenuation(std::optional<int> step) {
    setInRange(m_attenuationBar, step);
}

void ElementPanel::setBufferSize(std::optional<int> size) {
    setInRange(m_bufferBar, size);
}

void ElementPanel::showSerialNumber(const QString& text) {
    m_serialLabel->setText(text);
}

void ElementPanel::showVersion(const QString& text) {
    m_versionLabel->setText(text);
}

void ElementPanel::clearFields() {
    m_serialLabel->setText(kNoSelection);
    m_versionLabel->setText(kNoSelection);
    m_latencyReadout->setText(QStringLiteral("0mS"));
    for (QLineEdit* field : {m_nameEdit, m_ipEdit, m_maskEdit, m_gatewayEdit, m_remoteEdit})
        field->clear();
    m_storedBinding.reset();
    for (QComboBox* list : {m_audioInputList, m_audioTypeList, m_txTypeList, m_encoderList})
        list->setCurrentIndex(-1);
}

void ElementPanel::showMacCaption(const QString& caption) {
    m_macLabel->setText(caption);
}

void ElementPanel::setEncoderChoices(const QStringList& encoders) {
    m_encoderList->clear();
    m_encoderList->addItem(QStringLiteral("<None>"));
    m_encoderList->addItems(encoders);
    // The first item added is not a choice: the list shows what the loaded record is bound to,
    // and nothing while no record is loaded.
    selectStoredIndex(m_encoderList, m_storedBinding);
}

void ElementPanel::arrange(ElementRole role) {
    m_role = role;
    m_typeLabel->setText(roleCaption(role));
    // Only an encoder has an audio source, a TX type and a remote address; every other role is
    // laid out as a decoder, with the attenuation in the audio source's place.
    const bool encoder = role == ElementRole::Encoder;
    m_remoteEdit->setVisible(encoder);
    m_audioInputList->setVisible(encoder);
    m_txTypeList->setVisible(encoder);
    m_attenuationBar->setVisible(!encoder);
    m_attenuationReadout->setVisible(!encoder);
    m_audioCaption->setText(encoder ? QStringLiteral("Audio source:")
                                    : QStringLiteral("Audio atten:"));
    if (encoder) {
        applyTxRule();
        m_bufferBar->setValue(0);
        m_bufferBar->setEnabled(false);
        m_latencyReadout->setText(QStringLiteral("0mS"));
    } else {
        m_bufferBar->setEnabled(true);
    }
}

void ElementPanel::applyTxRule() {
    // Multicast has no remote address of its own.
    m_remoteEdit->setVisible(m_txTypeList->currentIndex() <= 0);
}

} // namespace varnetix
