// The window: its own texts (captions, list items, limits, tooltips, initial texts, accessible
// names), menus and shortcuts, the keyboard order of its fields, timers that wait to be started
// and the station's own timings; the desktop's message boxes; and the window drawn at the
// desktop's default font, at 14 pt and at scale factor 2 (one CTest run each, see
// CMakeLists.txt): nothing cut, nothing overlapping, the element tree given the extra room. With
// VARNETIX_PICTURES_DIR set, the pictures are saved there.
#include "station_fixture.h"
#include "ui/backups_dialog.h"
#include "ui/message_box_dialogs.h"
#include "ui/tray_light.h"

#include <QAccessible>

#include <QAbstractButton>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QToolBar>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

// Objects separated by ";", each its name and "property=value" pairs separated by "|". Three
// properties are the test's own: "labels" are captions inside the object, "items" a list's
// items, "actions" the toolbar's tooltips ("-" a separator).
const char* const kTexts = R"(
frmProperties | title=Element properties: | labels=System type:,MAC address:,DSP version:
frmProperties | labels=Serial number:,System name:,Audio type:,System IP:,Gateway IP:
frmProperties | labels=Network mask:,VLAN O&M:,Audio:,Bounded to:,SFN option:,Buffer size:
frmDiagnostics | title=Diagnostics: | labels=Ping response:,Audio level:
Label9 | text=Audio source: ; Label7 | text=Remote IP: ; Label10 | text=TX type:
lblTxNotApplicable | text=N/A ; lblRemoteNotApplicable | text=N/A ; chkSFNEnabled | text=Enabled
lblElementType | text=- | accessibleDescription=System type
lblElementMAC | text=- | accessibleDescription=MAC address
lblVersion | text=- | accessibleDescription=DSP version
lblSerialNumber | text=- | accessibleDescription=Serial number
lblPing | text=<Unknown> | toolTip=Click to test ping | accessibleDescription=Ping response
lblVolume | text=-oodBFS | accessibleDescription=Audio level
lblLatency | text=0mS | accessibleDescription=Buffer latency
lblAttenDB | text=dB | accessibleDescription=Audio attenuation
txtElementName | maxLength=16 | toolTip=Max 12 chars | accessibleName=System name
txtElementIP | maxLength=15 | accessibleName=System IP ; TreeView1 | accessibleName=Elements
txtElementGW | maxLength=15 | accessibleName=Gateway IP
txtElementMask | maxLength=15 | accessibleName=Network mask
txtRemoteIP | maxLength=15 | accessibleName=Remote IP
txtVLAN_OM | text=1 | maxLength=16 | toolTip=Max 12 chars | accessibleName=VLAN O&M
txtVLAN_Audio | text=1 | maxLength=16 | toolTip=Max 12 chars | accessibleName=VLAN Audio
cmbAudioType | items=Left/Right,MPX | editable=false | accessibleName=Audio type
cmbAudioInput | items=Digital,Analog | editable=false | accessibleName=Audio source
cmbAudioTX | items=Unicast,Multicast | editable=false | accessibleName=TX type
cmbEncoders | items=<None> | editable=false | accessibleName=Bounded to
scrlAtten | minimum=14 | maximum=255 | value=255 | accessibleName=Audio atten
scrlBuffer | minimum=0 | maximum=8 | value=0 | accessibleName=Buffer size
chkSFNEnabled | accessibleName=SFN option ; frmPaging | windowTitle=Paging network...
Toolbar1 | actions=Discover elements,Refresh list,-,Save changes,-,Start audio monitoring
Toolbar1 | actions=Save changes,-,Start audio monitoring,Stop audio monitoring
Label1 | text=Please wait a few seconds while paging the network... ; timerRemoteSent | active=false
tmrRetryPing | active=false ; timerGetMAC | active=false ; tmrVolume | active=false
Timer1 | active=false
)";

// From the tree through the element panel to the ping test.
const QStringList kTabOrder =
    u"TreeView1 txtElementName txtElementIP txtElementGW txtElementMask txtVLAN_OM cmbAudioType "
    u"cmbAudioInput scrlAtten cmbAudioTX txtRemoteIP txtVLAN_Audio cmbEncoders chkSFNEnabled "
    u"scrlBuffer lblPing"_s.split(u' ');

void checkFits(QWidget* widget) {
    const QString what =
        widget->objectName() + u' ' + QLatin1String(widget->metaObject()->className());
    if (auto* label = qobject_cast<QLabel*>(widget); label && !label->text().isEmpty()) {
        const QSize text = label->wordWrap()
                               ? QSize(0, label->heightForWidth(label->width()))
                               : label->fontMetrics().size(Qt::TextShowMnemonic, label->text());
        QVERIFY2(text.width() <= label->contentsRect().width() &&
                     text.height() <= label->contentsRect().height(),
                 qPrintable(what + u" cut: "_s + label->text()));
    } else if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
        QVERIFY2(frame->fontMetrics().horizontalAdvance(frame->title()) < frame->width(),
                 qPrintable(what));
    } else if (qobject_cast<QLineEdit*>(widget) || qobject_cast<QComboBox*>(widget) ||
               qobject_cast<QAbstractButton*>(widget)) {
        QVERIFY2(widget->height() >= widget->minimumSizeHint().height() &&
                     widget->width() >= widget->minimumSizeHint().width(),
                 qPrintable(what));
    }
}

void checkSiblings(QWidget* parent) {
    QList<QWidget*> shown;
    for (QObject* child : parent->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (!widget || !widget->isVisible() || widget->isWindow())
            continue;
        QVERIFY2(parent->rect().contains(widget->geometry()),
                 qPrintable(widget->objectName() + u" outside "_s + parent->objectName()));
        checkFits(widget);
        // The "N/A" labels lie under the control they stand in for, by design.
        if (!widget->objectName().endsWith(u"NotApplicable"_s))
            shown << widget;
        checkSiblings(widget);
    }
    for (qsizetype i = 0; i < shown.size(); ++i)
        for (qsizetype j = i + 1; j < shown.size(); ++j)
            QVERIFY2(!shown[i]->geometry().intersects(shown[j]->geometry()),
                     qPrintable(shown[i]->objectName() + u" overlaps "_s + shown[j]->objectName()));
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT

    Station m_s;

    // The property as the object shows it; for "labels" and "actions", `expected` when it holds.
    QString shown(const QObject* object, const QString& property, const QString& expected) {
        QStringList all;
        if (property == u"items")
            return m_s.items(qPrintable(object->objectName())).join(u',');
        if (property == u"labels")
            for (const QLabel* label : object->findChildren<QLabel*>())
                all << label->text();
        else if (property == u"actions") // seven, none with a caption
            for (const QAction* action : qobject_cast<const QToolBar*>(object)->actions())
                all << (action->isSeparator() ? u"-"_s : action->toolTip());
        else
            return object->property(qPrintable(property)).toString();
        const bool holds =
            property == u"labels"
                ? std::ranges::all_of(expected.split(u','),
                                      [&](const QString& caption) { return all.contains(caption); })
                : all.size() == 7 && all.join(u',').contains(expected);
        return holds ? expected : all.join(u',');
    }

private slots:
    void initTestCase() { m_s.start(); }

    void texts() {
        for (const QString& entry :
             QString::fromUtf8(kTexts).split(QRegularExpression(u"\n| ; "_s), Qt::SkipEmptyParts)) {
            const QStringList parts = entry.split(u" | "_s);
            for (const QString& pair : parts.mid(1)) {
                const QString property = pair.section(u'=', 0, 0);
                const QString value =
                    shown(m_s.find<QObject>(qPrintable(parts[0])), property, pair.section(u'=', 1));
                QCOMPARE(parts[0] + u" | "_s + property + u'=' + value, parts[0] + u" | "_s + pair);
            }
        }
    }

    // Every toolbar command, and every command beyond it, in a menu with its shortcut; the
    // toolbar shows pictures only.
    void commandsInMenus() {
        const QStringList commands =
            u"Toolbar1Button1=Ctrl+D Toolbar1Button2=F5 Toolbar1Button4=Ctrl+S "
            u"Toolbar1Button6=Ctrl+L Toolbar1Button7=Ctrl+Shift+L actionQuit=Ctrl+Q "
            u"actionExport=Ctrl+E actionCheckNetwork=Ctrl+K actionEventLog=Ctrl+J "
            u"actionFindings=Ctrl+Shift+K actionAlarms=Ctrl+Shift+A actionPreferences=Ctrl+, "
            u"actionBackups= actionAbout= actionReplaceElement="_s.split(u' ');
        for (const QString& command : commands) {
            auto* action = m_s.find<QAction>(qPrintable(command.section(u'=', 0, 0)));
            QCOMPARE(command.section(u'=', 0, 0) + u'=' + action->shortcut().toString(), command);
            QVERIFY(std::ranges::any_of(action->associatedObjects(), [](QObject* shown) {
                return qobject_cast<QMenu*>(shown) != nullptr;
            }));
        }
        QCOMPARE(m_s.find<QToolBar>("Toolbar1")->toolButtonStyle(), Qt::ToolButtonIconOnly);
        m_s.find<QAction>("actionAbout")->trigger();
        QCOMPARE(m_s.dialogs.boxes.last(),
                 (RecordedBox{RecordedBox::Information, u"About Varnetix NMS"_s,
                              u"Varnetix NMS v.3.0.0 - Halvoren Broadcast\rNetwork management "
                              u"station of the Varnetix IP studio-to-transmitter audio link."_s}));
    }

    // The station's own timings, which every other test shortens.
    void productionTimings() {
        const varnetix::StationSettings production;
        QCOMPARE(production.macBudgetMs, 5000);
        QCOMPARE(production.pagingWaitMs, 3000);
        varnetix::Station station(production, m_s.dialogs, m_s.resolver, m_s.probe, nullptr);
        varnetix::MainWindow window(station);
        for (const auto& [name, ms] : {std::pair{"timerRemoteSent", 3000},
                                       {"timerGetMAC", 50},
                                       {"tmrVolume", 50},
                                       {"tmrRetryPing", 1000}})
            QCOMPARE(station.findChild<QTimer*>(QLatin1String(name))->interval(), ms);
    }

    // Element > Replace missing element...: the missing decoder, only the spares of its role,
    // and what the spare will be sent and what not.
    void replaceDialog() {
        Station s;
        s.writeDatabase(recordText(
            "0000000000AA",
            replaced(kDecoderEntries, {"NAME=GONE", "IP=127.0.0.2", "SFN=1", "BUF=5", "ATT=100"})));
        QVERIFY(QFile::rename(s.databasePath(), s.databasePath() + u".20260101T000000Z.bak"_s));
        s.start(sampleDatabase());
        QStringList shown;
        QTimer::singleShot(0, [&] {
            shown << s.items("cmbMissingElement") << s.items("cmbSpareElement")
                  << s.find<QPlainTextEdit>("txtReplacementPlan")->toPlainText();
            qobject_cast<QDialog*>(QApplication::activeModalWidget())->reject();
        });
        s.find<QAction>("actionReplaceElement")->trigger();
        QCOMPARE(shown,
                 QStringList({u"GONE [00:00:00:00:00:AA] at 127.0.0.2 (DECODER)"_s,
                              u"D1 [00:00:00:00:00:0D] at 127.0.0.1 (DECODER)"_s,
                              u"Sent to the spare at 127.0.0.1, as \"Save changes\" sends a "
                              u"configuration:\n    Name: GONE\n    Element IP: 127.0.0.2\n"
                              u"    Element Mask: 255.0.0.0\n    Element GW: 127.0.0.1\n"
                              u"    Remote IP: 0.0.0.0\n    Audio Input: Digital\n"
                              u"    Audio Type: Left/Right\n    Audio TX: Unicast\n"
                              u"Once the spare has answered, to 127.0.0.2 port 2977 as the "
                              u"attenuation scroll bar sends it:\n    Attenuation: -77.5 dB\n\n"
                              u"Not sent: SFN and buffer. A configuration neither sends nor "
                              u"stores them; the spare keeps its own (SFN off, buffer 7.5mS), "
                              u"the missing element had SFN on, buffer 12.5mS.\n"
                              u"Nothing is sent while 127.0.0.2 still answers. The spare's answer "
                              u"is stored under its own MAC, 00:00:00:00:00:0D."_s}));
        QCOMPARE(s.dialogs.boxes.size(), 0);
    }

    // The desktop's boxes, each answered with its default button: the icon, "No" the default
    // answer of a question, each line that a carriage return ends on a line of its own.
    void messageBoxes() {
        QStringList shown;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&shown] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                const QString details = box->detailedText();
                shown << u"%1 %2"_s.arg(box->icon()).arg(box->text()) +
                             (details.isEmpty() ? QString() : u" | "_s + details);
                box->defaultButton()->click();
            }
        });
        answer.start(0);
        varnetix::MessageBoxDialogs boxes;
        QVERIFY(!boxes.question(u"Q"_s, u"Send?\rSure?"_s));
        QVERIFY(!boxes.questionWithDetails(u"Q"_s, u"Send?\rSure?"_s, u"a -> b\rc -> d"_s));
        boxes.critical(u"C"_s, u"Failed.\rCannot save."_s);
        boxes.information(u"I"_s, u"Done."_s);
        QCOMPARE(shown, (QStringList{u"4 Send?\nSure?"_s, u"4 Send?\nSure? | a -> b\nc -> d"_s,
                                     u"3 Failed.\nCannot save."_s, u"1 Done."_s}));
    }

    // Station > Backups...: the one selected compared key by key, one that cannot be read not
    // restorable, the list following a restore.
    void backupsDialog() {
        Station s;
        for (const auto& [stamp, content] :
             {std::pair{"20261206T101502Z",
                        recordText("001A2B3C4D5E",
                                   replaced(kEncoderEntries, {"NAME=STUDIO", "IP=127.0.0.9"})) +
                            recordText("00000000000D", kDecoderEntries) +
                            "[00000000000E]\r\nNAME=D2\r\nIP=127.0.0.2\r\n"},
              {"20261205T080000Z", QByteArray()}}) {
            QFile file(s.databasePath() + u'.' + QLatin1String(stamp) + u".bak"_s);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
            file.setPermissions(content.isEmpty() ? QFile::Permissions() : file.permissions());
        }
        s.start(sampleDatabase());
        const WithoutReadOverride unprivileged;
        varnetix::BackupsDialog dialog(s.station->backups(), s.station->database(), s.window.get());
        QVERIFY(Station::activate(&dialog));
        checkSiblings(&dialog);
        auto* list = dialog.findChild<QTableView*>(u"lstBackups"_s);
        auto* restore = dialog.findChild<QPushButton*>(u"cmdRestore"_s);
        const auto preview = [&dialog] {
            QStringList lines;
            auto* tree = dialog.findChild<QTreeWidget*>(u"treeBackupDifferences"_s);
            for (int i = 0; i < tree->topLevelItemCount(); ++i) {
                lines << tree->topLevelItem(i)->text(0);
                for (int j = 0; j < tree->topLevelItem(i)->childCount(); ++j) {
                    const QTreeWidgetItem* key = tree->topLevelItem(i)->child(j);
                    lines << key->text(0) + u' ' + key->text(1) + u' ' + key->text(2);
                }
            }
            return lines;
        };
        list->setCurrentIndex(list->model()->index(1, 0));
        QVERIFY(!restore->isEnabled());
        QCOMPARE(preview(), QStringList{u"This backup cannot be read: Permission denied. It "
                                        u"cannot be restored."_s});
        list->setCurrentIndex(list->model()->index(0, 0));
        QVERIFY(restore->isEnabled());
        QCOMPARE(preview(),
                 (QStringList{u"Changed: STUDIO [00:1A:2B:3C:4D:5E]"_s, u"NAME E1 STUDIO"_s,
                              u"IP 127.0.0.1 127.0.0.9"_s, u"New: D2 [00:00:00:00:00:0E]"_s,
                              u"NAME (none) D2"_s, u"IP (none) 127.0.0.2"_s}));
        if (const QString dir = qEnvironmentVariable("VARNETIX_PICTURES_DIR");
            !dir.isEmpty() && qEnvironmentVariableIsEmpty("VARNETIX_PICTURE_NAME"))
            QVERIFY(dialog.grab().save(dir + u"/backups-dialog.png"_s));

        s.dialogs.answers.enqueue(true);
        restore->click();
        QCOMPARE(list->model()->rowCount(), 3);
        QCOMPARE(preview(), QStringList{u"Same as the current database."_s});
        QCOMPARE(s.rows(), 3);
    }

    void tabOrder() {
        QStringList order;
        QWidget* widget = m_s.tree();
        do {
            if (kTabOrder.contains(widget->objectName()) && !order.contains(widget->objectName()))
                order << widget->objectName();
            widget = widget->nextInFocusChain();
        } while (widget != m_s.tree());
        QCOMPARE(order, kTabOrder);
    }

    // Run by test_tray_light.sh on Xvfb with a tray host: the light takes its place in the tray.
    void trayLightOnADesktop() {
        if (qEnvironmentVariableIsEmpty("VARNETIX_TRAY_HOST"))
            QSKIP("needs a desktop with a system tray (test_tray_light.sh runs it on Xvfb)");
        QTRY_VERIFY(QSystemTrayIcon::isSystemTrayAvailable());
        Station s;
        s.start(sampleDatabase());
        QSystemTrayIcon* icon = s.window->findChild<varnetix::TrayLight*>()->trayIcon();
        QVERIFY(icon && icon->isVisible());
        QCOMPARE(icon->toolTip(), u"Varnetix NMS: 2 alarms, 2 unacknowledged, 2 active"_s);
        QTRY_VERIFY(icon->geometry().isValid()); // embedded by the tray host
    }

    void nothingCutNothingOverlapping() {
        if (const int points = qEnvironmentVariableIntValue("VARNETIX_FONT_POINTS")) {
            QFont font = QApplication::font();
            font.setPointSize(points);
            QApplication::setFont(font);
        }
        // Three elements the watch finds online, offline and not yet known; the encoder sends
        // silence.
        Station s;
        s.settings.audioSecondMs = 200;
        QUdpSocket encoder;
        QVERIFY(encoder.bind(QHostAddress(u"127.0.0.11"_s), s.settings.commandPort));
        connect(&encoder, &QUdpSocket::readyRead, &encoder, [&encoder] {
            while (encoder.hasPendingDatagrams()) {
                const QNetworkDatagram request = encoder.receiveDatagram();
                encoder.writeDatagram(QByteArray(1440, 0), request.senderAddress(),
                                      quint16(request.senderPort()));
            }
        });
        s.writeDatabase(
            recordText("001A2B3C4D5E",
                       replaced(kEncoderEntries, {"IP=127.0.0.11", "REMOTE=127.0.0.12"})) +
            recordText("00000000000D", replaced(kDecoderEntries, {"IP=127.0.0.12"})) +
            recordText("00000000000E", replaced(kDecoderEntries, {"NAME=D2", "IP=127.0.0.13"})));
        QVERIFY(varnetix::PreferencesFile(QString::fromStdString(s.settings.preferencesPath))
                    .save({10, 1, 1024, 5, 1, -50, 2, 1}));
        s.watched = true;
        s.sweeper.answering[u"127.0.0.11"_s] = 2;
        s.sweeper.held << u"127.0.0.13"_s;
        varnetix::MainWindow& window = s.start();
        QTRY_COMPARE(s.text("lblWatchSummary"),
                     u"1 online, 1 offline, 1 unknown, 1 silent - every 10 s"_s);
        window.show();
        // An offscreen screen is small; a desktop shows the window at its preferred size.
        window.resize(window.sizeHint());
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // The longest texts the panel shows.
        QVERIFY(s.selectNode(kDecoderKey));
        s.find<QLabel>("lblPing")->setText(u"Destination Protocol Unreachable"_s);
        s.find<QLabel>("lblVolume")->setText(u"-138.5dBFS"_s);
        s.find<QLineEdit>("txtElementName")->setText(u"WWWWWWWWWWWWWWWW"_s);
        QCoreApplication::processEvents();
        checkSiblings(&window);

        // Extra room goes to the element tree.
        const QSize before = s.tree()->size();
        const int panelWidth = s.find("frmProperties")->width();
        window.resize(window.size() + QSize(200, 100));
        QTRY_COMPARE(s.tree()->width(), before.width() + 200);
        QCOMPARE(s.find("frmProperties")->width(), panelWidth);
        QVERIFY(s.tree()->height() > before.height());
        window.resize(window.sizeHint());
        // Assistive technology sees a frame titled with the station's title.
        QAccessibleInterface* frame = QAccessible::queryAccessibleInterface(&window);
        QCOMPARE(frame->role(), QAccessible::Window);
        QCOMPARE(frame->text(QAccessible::Name), u"Varnetix NMS v.3.0.0 - Halvoren Broadcast"_s);

        const QString dir = qEnvironmentVariable("VARNETIX_PICTURES_DIR");
        const QString name = qEnvironmentVariable("VARNETIX_PICTURE_NAME", u"station-window"_s);
        if (!dir.isEmpty() && qEnvironmentVariableIsEmpty("VARNETIX_PICTURE_NAME"))
            QVERIFY(s.find("frmTreeView")->grab().save(dir + u"/element-tree-states.png"_s));
        if (!dir.isEmpty())
            QVERIFY(window.grab().save(dir + u'/' + name + u".png"_s));
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
