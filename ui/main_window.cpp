#include "ui/main_window.h"

#include <QCloseEvent>
#include <QKeyEvent>

#include "core/audio_level.h"
#include "core/commands.h"
#include "core/datagram_route.h"
#include "station/attenuation_control.h"
#include "station/config_sender.h"
#include "station/discovery.h"
#include "station/element_tree_controller.h"
#include "station/element_view.h"
#include "station/feedback_handler.h"
#include "station/field_behaviour.h"
#include "station/level_monitor.h"
#include "station/ping_controller.h"
#include "station/role_layout.h"

// The pictures are compiled into the library, which needs them registered by hand.
static void registerPictures() {
    Q_INIT_RESOURCE(resources);
}

namespace varnetix {

namespace {

// Positions are given in twips, 15 to a pixel, the units the window was designed in.
QRect twips(int left, int top, int width, int height) {
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

template <typename Widget>
Widget* place(Widget* widget, const QRect& geometry, const char* name = nullptr) {
    widget->setGeometry(geometry);
    if (name)
        widget->setObjectName(QLatin1String(name));
    return widget;
}

QLabel* caption(QWidget* parent, const QString& text, int left, int top, int width = 1260) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(twips(left, top + 30, width, 255));
    return label;
}

QLineEdit* textBox(QWidget* parent, const char* name, int maxLength, int left, int top, int width) {
    auto* box = place(new QLineEdit(parent), twips(left, top, width, 315), name);
    box->setMaxLength(maxLength);
    return box;
}

QComboBox* dropDown(QWidget* parent, const char* name, const QStringList& items, int left, int top,
                    int width) {
    auto* list = place(new QComboBox(parent), twips(left, top, width, 315), name);
    list->addItems(items);
    list->setCurrentIndex(-1);
    return list;
}

CaptionLabel* valueLabel(QWidget* parent, const char* name, int left, int top, int width) {
    return place(new CaptionLabel(QStringLiteral("-"), parent), twips(left, top + 30, width, 255),
                 name);
}

QScrollBar* scrollBar(QWidget* parent, const char* name, int minimum, int maximum, int value,
                      const QRect& geometry) {
    auto* bar = place(new QScrollBar(Qt::Horizontal, parent), geometry, name);
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
    return bar;
}

QFont tahoma(bool bold) {
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSizeF(8.25);
    font.setBold(bold);
    return font;
}

} // namespace

QString stationTitle() {
    return QStringLiteral("Varnetix NMS v.%1.%2.%3 - Halvoren Broadcast")
        .arg(VARNETIX_VERSION_MAJOR)
        .arg(VARNETIX_VERSION_MINOR)
        .arg(VARNETIX_VERSION_PATCH);
}

MainWindow::MainWindow(StationSettings settings, OperatorDialogs& dialogs, MacResolver& resolver,
                       EchoProbe& probe, QWidget* parent)
    : QWidget(parent), m_settings(std::move(settings)), m_dialogs(dialogs), m_resolver(resolver),
      m_probe(probe) {
    registerPictures();
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Varnetix NMS - Halvoren Broadcast"));
    setFixedSize(720, 356);
    // The window's positions are laid out for a small dialog font.
    QFont small = font();
    small.setPointSizeF(8.25);
    setFont(small);
    createControls();
    connectControllers();
}

MainWindow::~MainWindow() = default;

void MainWindow::createControls() {
    m_c.frmMain = this;
    createToolbar();

    m_c.frmTreeView = place(new QGroupBox(QStringLiteral("Elements"), this),
                            twips(120, 480, 3975, 4695), "frmTreeView");
    m_c.TreeView1 =
        place(new QTreeWidget(m_c.frmTreeView), twips(120, 240, 3735, 4335), "TreeView1");
    m_c.TreeView1->setHeaderHidden(true);
    m_c.TreeView1->setRootIsDecorated(false);
    m_c.TreeView1->setIconSize(QSize(16, 16));
    m_c.TreeView1->installEventFilter(this);

    m_c.frmProperties = place(new QGroupBox(QStringLiteral("Element properties:"), this),
                              twips(4200, 480, 6495, 3375), "frmProperties");
    m_c.frmDiagnostics = place(new QGroupBox(QStringLiteral("Diagnostics:"), this),
                               twips(4200, 3960, 6495, 1215), "frmDiagnostics");
    createElementPanel();
    createDiagnosticsPanel();

    // Not seen by the operator: the section list, the polling interval and the display switch.
    m_c.lstHidden = place(new QListWidget(this), QRect(0, 0, 10, 10), "lstHidden");
    m_c.lstHidden->hide();
    m_c.Slider1 = place(new QSlider(Qt::Horizontal, this), QRect(0, 0, 10, 10), "Slider1");
    m_c.Slider1->setRange(10, 1000);
    m_c.Slider1->setValue(m_settings.volumeMs);
    m_c.Slider1->hide();
    m_c.chkGetVolume = place(new QCheckBox(this), QRect(0, 0, 10, 10), "chkGetVolume");
    m_c.chkGetVolume->setToolTip(QStringLiteral("Show audio level"));
    m_c.chkGetVolume->hide();

    createTimers();
    setAccessibility();
    setTabOrder();
}

void MainWindow::createToolbar() {
    for (const char* file :
         {"discover", "refresh", "save", "level-start", "level-stop", "encoder", "decoder"})
        m_c.ImageList1.emplace_back(QStringLiteral(":/icons/%1.png").arg(QLatin1String(file)));

    m_c.Toolbar1 = place(new QToolBar(this), twips(0, 0, 10800, 360), "Toolbar1");
    m_c.Toolbar1->setIconSize(QSize(16, 16));
    m_c.Toolbar1->setMovable(false);
    const struct {
        int index;
        int picture;
        const char* tooltip;
    } buttons[] = {{1, 1, "Discover elements"},
                   {2, 2, "Refresh list"},
                   {4, 3, "Save changes"},
                   {6, 4, "Start audio monitoring"},
                   {7, 5, "Stop audio monitoring"}};
    int next = 0;
    for (const auto& button : buttons) {
        while (++next < button.index)
            m_c.toolbarButtons[static_cast<std::size_t>(next)] = m_c.Toolbar1->addSeparator();
        QAction* action = m_c.Toolbar1->addAction(m_c.picture(button.picture), QString());
        action->setToolTip(QLatin1String(button.tooltip));
        action->setObjectName(QStringLiteral("Toolbar1Button%1").arg(button.index));
        m_c.toolbarButtons[static_cast<std::size_t>(button.index)] = action;
        const int index = button.index;
        connect(action, &QAction::triggered, this, [this, index] { toolbarClicked(index); });
        if (QWidget* widget = m_c.Toolbar1->widgetForAction(action)) {
            widget->setAccessibleName(QLatin1String(button.tooltip));
            widget->setObjectName(action->objectName());
        }
    }
}

void MainWindow::createElementPanel() {
    QWidget* p = m_c.frmProperties;
    caption(p, QStringLiteral("System type:"), 240, 360);
    m_c.lblElementType = valueLabel(p, "lblElementType", 1500, 360, 1920);
    caption(p, QStringLiteral("MAC address:"), 3540, 360);
    m_c.lblElementMAC = valueLabel(p, "lblElementMAC", 4800, 360, 1680);

    caption(p, QStringLiteral("DSP version:"), 240, 720);
    m_c.lblVersion = valueLabel(p, "lblVersion", 1500, 720, 1920);
    caption(p, QStringLiteral("Serial number:"), 3540, 720);
    m_c.lblSerialNumber = valueLabel(p, "lblSerialNumber", 4800, 720, 1680);

    caption(p, QStringLiteral("System name:"), 240, 1080);
    m_c.txtElementName = textBox(p, "txtElementName", 16, 1500, 1080, 1920);
    m_c.txtElementName->setToolTip(QStringLiteral("Max 12 chars"));
    caption(p, QStringLiteral("Audio type:"), 3540, 1080);
    m_c.cmbAudioType = dropDown(
        p, "cmbAudioType", {QStringLiteral("Left/Right"), QStringLiteral("MPX")}, 4920, 1080, 1500);

    caption(p, QStringLiteral("System IP:"), 240, 1440);
    m_c.txtElementIP = textBox(p, "txtElementIP", 15, 1500, 1440, 1920);
    m_c.Label9 = caption(p, QStringLiteral("Audio source:"), 3540, 1440);
    m_c.Label9->setObjectName(QStringLiteral("Label9"));
    m_c.cmbAudioInput =
        dropDown(p, "cmbAudioInput", {QStringLiteral("Digital"), QStringLiteral("Analog")}, 4920,
                 1440, 1500);
    m_c.scrlAtten = scrollBar(p, "scrlAtten", kAttenuationMinimum, kAttenuationMaximum,
                              kAttenuationMaximum, twips(4920, 1470, 900, 255));
    m_c.lblAttenDB =
        place(new QLabel(QStringLiteral("dB"), p), twips(5850, 1470, 630, 255), "lblAttenDB");
    m_c.scrlAtten->hide();
    m_c.lblAttenDB->hide();

    caption(p, QStringLiteral("Gateway IP:"), 240, 1800);
    m_c.txtElementGW = textBox(p, "txtElementGW", 15, 1500, 1800, 1920);
    m_c.Label10 = caption(p, QStringLiteral("TX type:"), 3540, 1800);
    m_c.Label10->setObjectName(QStringLiteral("Label10"));
    m_c.lblTxNotApplicable = place(new QLabel(QStringLiteral("N/A"), p),
                                   twips(4980, 1830, 1440, 255), "lblTxNotApplicable");
    m_c.cmbAudioTX =
        dropDown(p, "cmbAudioTX", {QStringLiteral("Unicast"), QStringLiteral("Multicast")}, 4920,
                 1800, 1500);

    caption(p, QStringLiteral("Network mask:"), 240, 2160);
    m_c.txtElementMask = textBox(p, "txtElementMask", 15, 1500, 2160, 1920);
    m_c.Label7 = caption(p, QStringLiteral("Remote IP:"), 3540, 2160);
    m_c.Label7->setObjectName(QStringLiteral("Label7"));
    m_c.lblRemoteNotApplicable = place(new QLabel(QStringLiteral("N/A"), p),
                                       twips(4980, 2190, 1440, 255), "lblRemoteNotApplicable");
    m_c.txtRemoteIP = textBox(p, "txtRemoteIP", 15, 4920, 2160, 1500);

    caption(p, QStringLiteral("VLAN O&M:"), 240, 2520);
    m_c.txtVLAN_OM = textBox(p, "txtVLAN_OM", 16, 1500, 2520, 600);
    m_c.txtVLAN_OM->setText(QStringLiteral("1"));
    m_c.txtVLAN_OM->setToolTip(QStringLiteral("Max 12 chars"));
    caption(p, QStringLiteral("Audio:"), 2160, 2520, 600);
    m_c.txtVLAN_Audio = textBox(p, "txtVLAN_Audio", 16, 2820, 2520, 600);
    m_c.txtVLAN_Audio->setText(QStringLiteral("1"));
    m_c.txtVLAN_Audio->setToolTip(QStringLiteral("Max 12 chars"));
    caption(p, QStringLiteral("Bounded to:"), 3540, 2520);
    m_c.cmbEncoders = dropDown(p, "cmbEncoders", {QStringLiteral("<None>")}, 4920, 2520, 1500);
    m_c.cmbEncoders->setCurrentIndex(0);

    caption(p, QStringLiteral("SFN option:"), 240, 2940);
    m_c.chkSFNEnabled = place(new QCheckBox(QStringLiteral("Enabled"), p),
                              twips(1500, 2940, 1500, 315), "chkSFNEnabled");
    caption(p, QStringLiteral("Buffer size:"), 3540, 2940);
    m_c.scrlBuffer = scrollBar(p, "scrlBuffer", kBufferMinimum, kBufferMaximum, kBufferMinimum,
                               twips(4920, 2970, 900, 255));
    m_c.lblLatency =
        place(new QLabel(QStringLiteral("0mS"), p), twips(5850, 2970, 630, 255), "lblLatency");
}

void MainWindow::createDiagnosticsPanel() {
    QWidget* p = m_c.frmDiagnostics;
    caption(p, QStringLiteral("Ping response:"), 240, 330);
    m_c.shpPing = place(new ShapeIndicator(p), twips(240, 600, 2610, 345), "shpPing");
    m_c.lblPing = place(new CaptionLabel(QStringLiteral("<Unknown>"), p),
                        twips(360, 645, 2370, 255), "lblPing");
    m_c.lblPing->setFont(tahoma(true));
    m_c.lblPing->setAlignment(Qt::AlignCenter);
    m_c.lblPing->setToolTip(QStringLiteral("Click to test ping"));
    m_c.lblPing->setClickable(true);

    caption(p, QStringLiteral("Audio level:"), 3360, 330);
    m_c.picVUMeter = place(new QFrame(p), twips(3360, 640, 2175, 255), "picVUMeter");
    m_c.picVUMeter->setFrameShape(QFrame::StyledPanel);
    m_c.picVUMeter->setAutoFillBackground(true);
    m_c.VUMeter = new LevelBar(kMeterFullScale, m_c.picVUMeter);
    m_c.VUMeter->setObjectName(QStringLiteral("VUMeter"));
    m_c.VUMeter->setGeometry(m_c.picVUMeter->rect().adjusted(1, 1, -1, -1));
    m_c.lblVolume = place(new QLabel(QString::fromLatin1(kNoLevelText), p),
                          twips(5640, 645, 800, 255), "lblVolume");
    m_c.lblVolume->setFont(tahoma(false));
}

void MainWindow::createTimers() {
    const auto timer = [this](const char* name, int interval) {
        auto* t = new QTimer(this);
        t->setObjectName(QLatin1String(name));
        t->setInterval(interval);
        // A coarse timer may fire early; a time-out must never come before its interval.
        t->setTimerType(Qt::PreciseTimer);
        return t;
    };
    m_c.timerRemoteSent = timer("timerRemoteSent", m_settings.remoteSentMs);
    m_c.tmrRetryPing = timer("tmrRetryPing", m_settings.pingRetryMs);
    m_c.timerGetMAC = timer("timerGetMAC", m_settings.macBudgetMs);
    m_c.tmrVolume = timer("tmrVolume", m_settings.volumeMs);
    // The MAC budget ends at its first tick.
    connect(m_c.timerGetMAC, &QTimer::timeout, m_c.timerGetMAC, &QTimer::stop);
}

void MainWindow::setAccessibility() {
    m_c.TreeView1->setAccessibleName(QStringLiteral("Elements"));
    const std::pair<QWidget*, const char*> fields[] = {
        {m_c.txtElementName, "System name"}, {m_c.txtElementIP, "System IP"},
        {m_c.txtElementGW, "Gateway IP"},    {m_c.txtElementMask, "Network mask"},
        {m_c.cmbAudioType, "Audio type"},    {m_c.cmbAudioInput, "Audio source"},
        {m_c.scrlAtten, "Audio atten"},      {m_c.cmbAudioTX, "TX type"},
        {m_c.txtRemoteIP, "Remote IP"},      {m_c.cmbEncoders, "Bounded to"},
        {m_c.chkSFNEnabled, "SFN option"},   {m_c.scrlBuffer, "Buffer size"},
        {m_c.txtVLAN_OM, "VLAN O&M"},        {m_c.txtVLAN_Audio, "VLAN Audio"},
    };
    for (const auto& [widget, name] : fields)
        widget->setAccessibleName(QLatin1String(name));
    // Value labels are read by their text; their caption describes them.
    const std::pair<QWidget*, const char*> values[] = {
        {m_c.lblElementType, "System type"},   {m_c.lblElementMAC, "MAC address"},
        {m_c.lblVersion, "DSP version"},       {m_c.lblSerialNumber, "Serial number"},
        {m_c.lblPing, "Ping response"},        {m_c.lblVolume, "Audio level"},
        {m_c.lblAttenDB, "Audio attenuation"}, {m_c.lblLatency, "Buffer latency"},
    };
    for (const auto& [widget, description] : values)
        widget->setAccessibleDescription(QLatin1String(description));
}

void MainWindow::setTabOrder() {
    const QWidget* order[] = {
        m_c.TreeView1,      m_c.txtElementName, m_c.txtElementIP, m_c.txtElementGW,
        m_c.txtElementMask, m_c.txtVLAN_OM,     m_c.cmbAudioType, m_c.cmbAudioInput,
        m_c.scrlAtten,      m_c.cmbAudioTX,     m_c.txtRemoteIP,  m_c.txtVLAN_Audio,
        m_c.cmbEncoders,    m_c.chkSFNEnabled,  m_c.scrlBuffer,   m_c.lblPing};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));
}

void MainWindow::connectControllers() {
    const std::string& path = m_settings.databasePath;
    m_tree = std::make_unique<ElementTreeController>(m_c, m_dialogs, path);
    m_layout = std::make_unique<RoleLayout>(m_c);
    m_fields = std::make_unique<FieldBehaviour>(m_c);
    m_view = std::make_unique<ElementView>(m_c, m_dialogs, path);
    m_feedback =
        std::make_unique<FeedbackHandler>(m_c, m_dialogs, m_resolver, m_linkState, m_settings);
    m_discovery = std::make_unique<Discovery>(m_c, m_dialogs, m_udpClient, m_linkState, m_settings);
    m_config = std::make_unique<ConfigSender>(m_c, m_dialogs, m_udpClient, m_settings);
    m_attenuation = std::make_unique<AttenuationControl>(m_c, m_dialogs, m_udpClient, m_settings);
    m_level = std::make_unique<LevelMonitor>(m_c, m_dialogs, m_udpClient, m_settings);
    m_ping =
        std::make_unique<PingController>(*m_c.lblPing, *m_c.shpPing, *m_c.tmrRetryPing, m_probe,
                                         m_dialogs, [this] { return m_c.txtElementIP->text(); });

    connect(&m_udpClient, &UdpEndpoint::DataArrival, this, &MainWindow::dispatch);
    connect(m_feedback.get(), &FeedbackHandler::reloadTree, m_tree.get(),
            &ElementTreeController::Load_Config);
    connect(m_discovery.get(), &Discovery::clearElementFields, m_layout.get(),
            &RoleLayout::ClearElementFields);
    connect(m_discovery.get(), &Discovery::emptyLists, m_tree.get(),
            &ElementTreeController::emptyLists);
    connect(m_discovery.get(), &Discovery::reloadTree, this, [this] {
        m_feedback->flushStores();
        m_tree->Load_Config();
    });
    connect(m_c.TreeView1, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        m_view->NodeClick(item->data(0, Qt::UserRole).toString());
    });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // With the keyboard alone, Return or Space on a node loads it as a click does.
    if (watched == m_c.TreeView1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        QTreeWidgetItem* item = m_c.TreeView1->currentItem();
        if (item && (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)) {
            m_view->NodeClick(item->data(0, Qt::UserRole).toString());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool MainWindow::Form_Load() {
    m_c.button(kButtonStartLevel)->setEnabled(false);
    m_c.button(kButtonStopLevel)->setEnabled(false);
    m_tree->Load_Config();
    if (!m_udpClient.Bind(m_settings.localPort)) {
        m_dialogs.critical(kApplicationTitle,
                           QStringLiteral("Unable to use UDP port 2976: occupied."));
        return false;
    }
    m_ping->setCountdown(3);
    setWindowTitle(stationTitle());
    return true;
}

void MainWindow::dispatch(const QByteArray& datagram) {
    switch (RouteDatagram(static_cast<std::size_t>(datagram.size()))) {
    case DatagramRoute::AudioLevel:
        m_level->ShowAudioLevel(datagram);
        break;
    case DatagramRoute::Feedback:
        m_feedback->ProcessFeedback(datagram);
        break;
    case DatagramRoute::Dropped:
        break;
    }
}

void MainWindow::ReloadElementTree() {
    m_c.TreeView1->clear();
    m_tree->Load_Config();
    m_layout->ClearElementFields();
}

void MainWindow::toolbarClicked(int index) {
    switch (index) {
    case kButtonDiscover:
        m_discovery->ConfirmAutoDiscovery();
        break;
    case kButtonRefresh:
        ReloadElementTree();
        break;
    case kButtonSave:
        m_config->SendConfig();
        break;
    case kButtonStartLevel:
        m_c.chkGetVolume->setChecked(true);
        m_c.button(kButtonStartLevel)->setEnabled(false);
        m_c.button(kButtonStopLevel)->setEnabled(true);
        break;
    case kButtonStopLevel:
        m_c.chkGetVolume->setChecked(false);
        m_c.button(kButtonStartLevel)->setEnabled(true);
        m_c.button(kButtonStopLevel)->setEnabled(false);
        break;
    default: // separators and unknown indexes do nothing
        break;
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    m_udpClient.Close();
    QWidget::closeEvent(event);
}

} // namespace varnetix
