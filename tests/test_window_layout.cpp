// The main window as the operator first sees it: its controls by name, captions, lists, limits,
// tooltips, timers, the toolbar and its commands, accessibility and the keyboard order.
#include "station_fixture.h"

#include <QToolButton>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;
using varnetix::MainWindow;

namespace {

// A caption label of the panel, found by its text.
QLabel* captionOf(QWidget* panel, const QString& text) {
    for (QLabel* label : panel->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        if (label->text() == text)
            return label;
    }
    return nullptr;
}

const char* const kDatabase = "[001A2B3C4D5E]\r\nNAME=E1\r\nIP=127.0.0.1\r\nROLE=1\r\nTX=0\r\n"
                              "[00000000000D]\r\nNAME=D1\r\nIP=127.0.0.1\r\nROLE=2\r\nATT=200\r\n";

} // namespace

class TestWindowLayout : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_station.reset(); }

    void fixedSizeAndNamedControls();
    void captionsStandBesideTheirFields();
    void listsLimitsTooltipsAndInitialTexts();
    void scrollBarsAndFonts();
    void scrollBarsStepByOneAndTen();
    void timersAtTheirIntervalsAndStopped();
    void hiddenControls();
    void toolbarEntries();
    void separatorsAndUnknownIndexesDoNothing();
    void accessibility();
    void tabOrder();

private:
    varnetix::WindowControls& c() { return m_station->c(); }
    MainWindow& window() { return *m_station->window; }

    std::unique_ptr<Station> m_station;
};

void TestWindowLayout::init() {
    m_station = std::make_unique<Station>();
    m_station->writeDatabase(kDatabase);
    m_station->start();
}

void TestWindowLayout::fixedSizeAndNamedControls() {
    QCOMPARE(window().minimumSize(), QSize(720, 356));
    QCOMPARE(window().maximumSize(), QSize(720, 356));
    QCOMPARE(window().objectName(), u"frmMain"_s);

    const varnetix::WindowControls& w = c();
#define CONTROL(name) std::pair<const char*, QObject*>(#name, w.name)
    const std::pair<const char*, QObject*> named[] = {
        CONTROL(Toolbar1),       CONTROL(frmTreeView),    CONTROL(TreeView1),
        CONTROL(frmProperties),  CONTROL(frmDiagnostics), CONTROL(lstHidden),
        CONTROL(Slider1),        CONTROL(chkGetVolume),   CONTROL(lblElementType),
        CONTROL(lblElementMAC),  CONTROL(lblVersion),     CONTROL(lblSerialNumber),
        CONTROL(txtElementName), CONTROL(txtElementIP),   CONTROL(txtElementGW),
        CONTROL(txtElementMask), CONTROL(txtRemoteIP),    CONTROL(txtVLAN_OM),
        CONTROL(txtVLAN_Audio),  CONTROL(cmbAudioType),   CONTROL(cmbAudioInput),
        CONTROL(cmbAudioTX),     CONTROL(cmbEncoders),    CONTROL(scrlAtten),
        CONTROL(scrlBuffer),     CONTROL(lblAttenDB),     CONTROL(lblLatency),
        CONTROL(Label9),         CONTROL(Label7),         CONTROL(Label10),
        CONTROL(chkSFNEnabled),  CONTROL(lblPing),        CONTROL(shpPing),
        CONTROL(VUMeter),        CONTROL(lblVolume),      CONTROL(timerRemoteSent),
        CONTROL(tmrRetryPing),   CONTROL(timerGetMAC),    CONTROL(tmrVolume),
    };
#undef CONTROL
    for (const auto& [name, control] : named) {
        QVERIFY2(control, name);
        QCOMPARE(window().findChildren<QObject*>(QLatin1String(name)).size(), 1);
        QCOMPARE(window().findChild<QObject*>(QLatin1String(name)), control);
    }
    // The element panel and the diagnostics sit in their frames.
    QCOMPARE(w.txtElementName->parentWidget(), w.frmProperties);
    QCOMPARE(w.scrlBuffer->parentWidget(), w.frmProperties);
    QCOMPARE(w.lblPing->parentWidget(), w.frmDiagnostics);
    QCOMPARE(w.TreeView1->parentWidget(), w.frmTreeView);
    QVERIFY(w.frmDiagnostics->geometry().top() >= w.frmProperties->geometry().bottom());
    QVERIFY(w.frmProperties->geometry().left() >= w.frmTreeView->geometry().right());
}

void TestWindowLayout::captionsStandBesideTheirFields() {
    QCOMPARE(c().frmProperties->title(), u"Element properties:"_s);
    QCOMPARE(c().frmDiagnostics->title(), u"Diagnostics:"_s);

    QWidget* panel = c().frmProperties;
    const std::pair<QString, QWidget*> rows[] = {
        {u"System type:"_s, c().lblElementType},  {u"MAC address:"_s, c().lblElementMAC},
        {u"DSP version:"_s, c().lblVersion},      {u"Serial number:"_s, c().lblSerialNumber},
        {u"System name:"_s, c().txtElementName},  {u"Audio type:"_s, c().cmbAudioType},
        {u"System IP:"_s, c().txtElementIP},      {u"Audio source:"_s, c().cmbAudioInput},
        {u"Gateway IP:"_s, c().txtElementGW},     {u"TX type:"_s, c().cmbAudioTX},
        {u"Network mask:"_s, c().txtElementMask}, {u"Remote IP:"_s, c().txtRemoteIP},
        {u"VLAN O&M:"_s, c().txtVLAN_OM},         {u"Audio:"_s, c().txtVLAN_Audio},
        {u"Bounded to:"_s, c().cmbEncoders},      {u"SFN option:"_s, c().chkSFNEnabled},
        {u"Buffer size:"_s, c().scrlBuffer},
    };
    for (const auto& [text, field] : rows) {
        QLabel* label = captionOf(panel, text);
        QVERIFY2(label, qPrintable(text));
        QVERIFY2(qAbs(label->geometry().center().y() - field->geometry().center().y()) <= 4,
                 qPrintable(text));
        QVERIFY2(label->geometry().right() < field->geometry().left(), qPrintable(text));
    }
    // "&" is shown as written, not taken as a shortcut.
    QVERIFY(!captionOf(panel, u"VLAN O&M:"_s)->buddy());
    QCOMPARE(c().Label9->text(), u"Audio source:"_s);
    QCOMPARE(c().Label7->text(), u"Remote IP:"_s);
    QCOMPARE(c().Label10->text(), u"TX type:"_s);
    QCOMPARE(c().chkSFNEnabled->text(), u"Enabled"_s);

    // The attenuation takes the place of the audio source; "N/A" lies beneath the TX type
    // and the remote address.
    QVERIFY(c().scrlAtten->geometry().intersects(c().cmbAudioInput->geometry()));
    QCOMPARE(c().lblTxNotApplicable->text(), u"N/A"_s);
    QCOMPARE(c().lblRemoteNotApplicable->text(), u"N/A"_s);
    QVERIFY(c().cmbAudioTX->geometry().contains(c().lblTxNotApplicable->geometry().center()));
    QVERIFY(c().txtRemoteIP->geometry().contains(c().lblRemoteNotApplicable->geometry().center()));

    QVERIFY(captionOf(c().frmDiagnostics, u"Ping response:"_s));
    QVERIFY(captionOf(c().frmDiagnostics, u"Audio level:"_s));
}

void TestWindowLayout::listsLimitsTooltipsAndInitialTexts() {
    const auto items = [](QComboBox* list) {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i)
            texts << list->itemText(i);
        return texts;
    };
    QCOMPARE(items(c().cmbAudioType), (QStringList{u"Left/Right"_s, u"MPX"_s}));
    QCOMPARE(items(c().cmbAudioInput), (QStringList{u"Digital"_s, u"Analog"_s}));
    QCOMPARE(items(c().cmbAudioTX), (QStringList{u"Unicast"_s, u"Multicast"_s}));
    QCOMPARE(items(c().cmbEncoders), (QStringList{u"<None>"_s, u"E1 [00:1A:2B:3C:4D:5E]"_s}));
    for (QComboBox* list : {c().cmbAudioType, c().cmbAudioInput, c().cmbAudioTX, c().cmbEncoders})
        QVERIFY2(!list->isEditable(), qPrintable(list->objectName()));

    const std::tuple<QLineEdit*, int, QString, QString> fields[] = {
        {c().txtElementName, 16, u"Max 12 chars"_s, QString()},
        {c().txtElementIP, 15, QString(), QString()},
        {c().txtElementGW, 15, QString(), QString()},
        {c().txtElementMask, 15, QString(), QString()},
        {c().txtRemoteIP, 15, QString(), QString()},
        {c().txtVLAN_OM, 16, u"Max 12 chars"_s, u"1"_s},
        {c().txtVLAN_Audio, 16, u"Max 12 chars"_s, u"1"_s},
    };
    for (const auto& [field, maxLength, tooltip, text] : fields) {
        QCOMPARE(field->maxLength(), maxLength);
        QCOMPARE(field->toolTip(), tooltip);
        QCOMPARE(field->text(), text);
    }
    QCOMPARE(c().lblPing->toolTip(), u"Click to test ping"_s);
    QCOMPARE(c().chkGetVolume->toolTip(), u"Show audio level"_s);

    for (QLabel* label :
         {static_cast<QLabel*>(c().lblElementType), static_cast<QLabel*>(c().lblElementMAC),
          static_cast<QLabel*>(c().lblVersion), static_cast<QLabel*>(c().lblSerialNumber)})
        QCOMPARE(label->text(), u"-"_s);
    QCOMPARE(c().lblPing->text(), u"<Unknown>"_s);
    QCOMPARE(c().lblVolume->text(), u"-oodBFS"_s);
    QCOMPARE(c().lblLatency->text(), u"0mS"_s);
    QCOMPARE(c().lblAttenDB->text(), u"dB"_s);
    QCOMPARE(c().VUMeter->levelWidth(), 0);
    QCOMPARE(c().shpPing->fillColor(), QColor(255, 255, 192));
    QVERIFY(!c().chkSFNEnabled->isChecked());
    QVERIFY(!c().chkGetVolume->isChecked());
}

void TestWindowLayout::scrollBarsAndFonts() {
    const std::tuple<QScrollBar*, int, int, int> bars[] = {
        {c().scrlAtten, 14, 255, 255},
        {c().scrlBuffer, 0, 8, 0},
    };
    for (const auto& [bar, minimum, maximum, value] : bars) {
        QCOMPARE(bar->orientation(), Qt::Horizontal);
        QCOMPARE(bar->minimum(), minimum);
        QCOMPARE(bar->maximum(), maximum);
        QCOMPARE(bar->value(), value);
        QCOMPARE(bar->singleStep(), 1);
        QCOMPARE(bar->pageStep(), 10);
        // The attenuation is commanded only while its scroll bar has the focus.
        QCOMPARE(bar->focusPolicy(), Qt::StrongFocus);
    }

    const QFont ping = c().lblPing->font();
    QCOMPARE(ping.family(), u"Tahoma"_s);
    QCOMPARE(ping.pointSizeF(), 8.25);
    QVERIFY(ping.bold());
    const QFont volume = c().lblVolume->font();
    QCOMPARE(volume.family(), u"Tahoma"_s);
    QCOMPARE(volume.pointSizeF(), 8.25);
    QVERIFY(!volume.bold());
}

void TestWindowLayout::scrollBarsStepByOneAndTen() {
    QVERIFY(m_station->selectNode(u"00:00:00:00:00:0D"_s));
    window().show();
    QVERIFY(QTest::qWaitForWindowActive(&window()));
    QScrollBar* bar = c().scrlAtten;
    bar->setValue(100);
    bar->setFocus(Qt::TabFocusReason);
    // The keys move the thumb the way they point, by the steps the clicks use.
    const std::pair<Qt::Key, int> keys[] = {
        {Qt::Key_Right, 101},  {Qt::Key_Left, 100},    {Qt::Key_Left, 99},
        {Qt::Key_PageUp, 109}, {Qt::Key_PageDown, 99},
    };
    for (const auto& [key, value] : keys) {
        QTest::keyClick(bar, key);
        QCOMPARE(bar->value(), value);
    }
}

void TestWindowLayout::timersAtTheirIntervalsAndStopped() {
    // The station's own intervals, not the fixture's short ones.
    varnetix::StationSettings settings;
    settings.databasePath = m_station->settings.databasePath;
    MainWindow station(settings, m_station->dialogs, m_station->resolver, m_station->probe);
    const varnetix::WindowControls& w = station.controls();
    const std::pair<QTimer*, int> timers[] = {{w.timerRemoteSent, 3000},
                                              {w.tmrRetryPing, 1000},
                                              {w.timerGetMAC, 5000},
                                              {w.tmrVolume, 50}};
    for (const auto& [timer, interval] : timers) {
        QCOMPARE(timer->interval(), interval);
        QVERIFY(!timer->isActive());
    }
    QCOMPARE(w.Slider1->value(), 50);

    for (QTimer* timer : {c().timerRemoteSent, c().tmrRetryPing, c().timerGetMAC, c().tmrVolume})
        QVERIFY2(!timer->isActive(), qPrintable(timer->objectName()));
}

void TestWindowLayout::hiddenControls() {
    window().show();
    QVERIFY(QTest::qWaitForWindowExposed(&window()));
    QVERIFY(!c().lstHidden->isVisible());
    QVERIFY(!c().Slider1->isVisible());
    QVERIFY(!c().chkGetVolume->isVisible());
    QVERIFY(c().TreeView1->isVisible());
    QVERIFY(c().lblVolume->isVisible());
}

void TestWindowLayout::toolbarEntries() {
    const QList<QAction*> actions = c().Toolbar1->actions();
    QCOMPARE(actions.size(), 7);
    QCOMPARE(c().ImageList1.size(), std::size_t(7));
    const std::tuple<int, int, QString> buttons[] = {
        {1, 1, u"Discover elements"_s},     {2, 2, u"Refresh list"_s},
        {4, 3, u"Save changes"_s},          {6, 4, u"Start audio monitoring"_s},
        {7, 5, u"Stop audio monitoring"_s},
    };
    for (const auto& [index, picture, tooltip] : buttons) {
        QAction* button = c().button(index);
        QCOMPARE(actions[index - 1], button);
        QVERIFY(!button->isSeparator());
        QCOMPARE(button->toolTip(), tooltip);
        QVERIFY(button->text().isEmpty());
        QVERIFY(button->shortcut().isEmpty());
        QVERIFY(!c().picture(picture).isNull());
        QCOMPARE(button->icon().cacheKey(), c().picture(picture).cacheKey());
    }
    for (int separator : {3, 5}) {
        QCOMPARE(actions[separator - 1], c().button(separator));
        QVERIFY(c().button(separator)->isSeparator());
    }
    for (const QIcon& picture : c().ImageList1)
        QVERIFY(!picture.pixmap(16, 16).isNull());
}

void TestWindowLayout::separatorsAndUnknownIndexesDoNothing() {
    QVERIFY(m_station->selectNode(u"00:1A:2B:3C:4D:5E"_s));
    const QByteArray database = m_station->database();
    const auto state = [this] {
        return QVariantList{c().chkGetVolume->isChecked(), c().button(6)->isEnabled(),
                            c().button(7)->isEnabled(),    c().TreeView1->topLevelItemCount(),
                            c().lblElementMAC->text(),     c().txtElementName->text(),
                            c().tmrVolume->isActive()};
    };
    const QVariantList before = state();
    for (int index : {3, 5, 0, 8, -1}) {
        window().toolbarClicked(index);
        QCOMPARE(state(), before);
    }
    QVERIFY(m_station->dialogs.boxes.isEmpty());
    QCOMPARE(m_station->database(), database);
}

void TestWindowLayout::accessibility() {
    QCOMPARE(c().TreeView1->accessibleName(), u"Elements"_s);
    for (int index : {1, 2, 4, 6, 7}) {
        QWidget* button = c().Toolbar1->widgetForAction(c().button(index));
        QVERIFY(button);
        QCOMPARE(button->accessibleName(), c().button(index)->toolTip());
    }
    // Every control the operator can operate in the panel is named, each differently.
    QSet<QString> names;
    const QList<QWidget*> children =
        c().frmProperties->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* widget : children) {
        if (widget->focusPolicy() == Qt::NoFocus || qobject_cast<QLabel*>(widget))
            continue;
        QVERIFY2(!widget->accessibleName().isEmpty(), qPrintable(widget->objectName()));
        names.insert(widget->accessibleName());
    }
    QCOMPARE(names.size(), 14);
    // The value labels are read by their text and described by their caption.
    for (QLabel* label :
         {static_cast<QLabel*>(c().lblElementType), static_cast<QLabel*>(c().lblElementMAC),
          static_cast<QLabel*>(c().lblVersion), static_cast<QLabel*>(c().lblSerialNumber),
          static_cast<QLabel*>(c().lblPing), c().lblVolume, c().lblAttenDB, c().lblLatency})
        QVERIFY2(!label->accessibleDescription().isEmpty(), qPrintable(label->objectName()));
}

void TestWindowLayout::tabOrder() {
    const QList<QWidget*> expected = {
        c().txtElementName, c().txtElementIP, c().txtElementGW,  c().txtElementMask,
        c().txtVLAN_OM,     c().cmbAudioType, c().cmbAudioInput, c().scrlAtten,
        c().cmbAudioTX,     c().txtRemoteIP,  c().txtVLAN_Audio,
    };
    QList<QWidget*> order;
    QWidget* widget = c().txtElementName;
    do {
        if (expected.contains(widget) && !order.contains(widget))
            order << widget;
        widget = widget->nextInFocusChain();
    } while (widget != c().txtElementName);
    QCOMPARE(order, expected);
}

QTEST_MAIN(TestWindowLayout)
#include "test_window_layout.moc"
