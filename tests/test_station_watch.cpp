// What the station keeps track of beside the element protocol: the watch over every element,
// what a discovery changed, the event log and its view, the preferences, the network check,
// the inventory and the command line that scripts use.
#include "core/database_file.h"
#include "core/ini_store.h"
#include "core/inventory_csv.h"
#include "station/alarm_list.h"
#include "station/command_line.h"
#include "station_fixture.h"
#include "ui/tray_light.h"

#include <QClipboard>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>

using namespace Qt::Literals::StringLiterals;

namespace {

const QByteArray kWatched =
    recordText("001A2B3C4D5E", replaced(kEncoderEntries, {"IP=198.18.0.11"})) +
    recordText("00000000000D", replaced(kDecoderEntries, {"IP=198.18.0.12"}));

} // namespace

class TestStationWatch : public QObject {
    Q_OBJECT

    std::unique_ptr<Station> m_s;

    // A node's description, without the warning the network check gives the sample records.
    QString state(const QString& key) const { return m_s->described(key).remove(u", warning"_s); }

    void startWatching(varnetix::StationPreferences preferences) {
        preferences.audioIntervalSeconds = 0; // no level request leaves loopback
        m_s->watched = true;
        QVERIFY(varnetix::PreferencesFile(QString::fromStdString(m_s->settings.preferencesPath))
                    .save(preferences));
        m_s->start(kWatched);
    }

private slots:
    void init() { m_s = std::make_unique<Station>(); }

    // Online at the first answer, offline after the missed echoes of the preferences, online
    // again when it answers: on the node, in its tooltip, in the status bar and in the log.
    void watchMarksEveryElement() {
        m_s->sweeper.answering[u"198.18.0.11"_s] = 3;
        startWatching({1, 2, 1024, 5});
        QTRY_COMPARE(state(kDecoderKey), u"offline"_s);
        QCOMPARE(state(kEncoderKey), u"online"_s);
        QVERIFY(m_s->tip(0).contains(u", round trip 3 ms"_s));
        QVERIFY(m_s->tip(1).startsWith(u"Offline: silent since "_s));
        QCOMPARE(m_s->text("lblWatchSummary"), u"1 online, 1 offline, 0 unknown - every 1 s"_s);
        m_s->button(2)->trigger(); // a refreshed tree keeps what is known
        QCOMPARE(state(kEncoderKey), u"online"_s);
        m_s->sweeper.answering[u"198.18.0.12"_s] = 1;
        QTRY_COMPARE(state(kDecoderKey), u"online"_s);
        QCOMPARE(
            m_s->logged("status"),
            (QStringList{u"00:1A:2B:3C:4D:5E E1 [00:1A:2B:3C:4D:5E] is online (was unknown)"_s,
                         u"00:00:00:00:00:0D D1 [00:00:00:00:00:0D] is offline (was unknown)"_s,
                         u"00:00:00:00:00:0D D1 [00:00:00:00:00:0D] is online (was offline)"_s}));
        QCOMPARE(
            m_s->logged("status", varnetix::EventSeverity::Warning),
            QStringList{u"00:00:00:00:00:0D D1 [00:00:00:00:00:0D] is offline (was unknown)"_s});
        QCOMPARE(
            m_s->logged("alarm").filter(u"(offline)"_s),
            (QStringList{u"00:00:00:00:00:0D Alarm raised (offline): D1 [00:00:00:00:00:0D] "
                         u"is offline"_s,
                         u"00:00:00:00:00:0D Alarm cleared (offline): D1 [00:00:00:00:00:0D]"_s}));
        QCOMPARE(m_s->logged("alarm", varnetix::EventSeverity::Error).size(), 1);
        QCOMPARE(m_s->node(kDecoderKey).data(varnetix::kNodeAlarmsRole).toStringList(),
                 QStringList{u"offline"_s});
        QVERIFY(m_s->tip(1).endsWith(u"\nAlarm offline: cleared, unacknowledged"_s));
        QVERIFY(m_s->probe.addresses.isEmpty()); // the ping test's echo is its own
        QVERIFY(m_s->dialogs.boxes.isEmpty());
        m_s->writeDatabase({}); // an emptied database leaves nothing to watch or count
        m_s->button(2)->trigger();
        QCOMPARE(m_s->text("lblWatchSummary"), u"0 online, 0 offline, 0 unknown - every 1 s"_s);
    }
    void withoutIcmpTheStatusBarSaysSo() {
        m_s->sweeper.available = false;
        startWatching({});
        QCOMPARE(m_s->text("lblNotice"), u"Elements are not watched: no ICMP socket here"_s);
        QCOMPARE(m_s->text("lblWatchSummary"),
                 u"0 online, 0 offline, 2 unknown - monitoring off"_s);
        QVERIFY(m_s->tip(0).startsWith(u"Not watched: no ICMP socket here\n"_s));
        QVERIFY(m_s->dialogs.boxes.isEmpty() && m_s->sweeper.sent.isEmpty());
    }

    // New and changed elements are marked until the next discovery; the status bar sums it up
    // and the log tells the details, the missing element included.
    void discoveryMarksWhatChanged() {
        m_s->start(sampleDatabase());
        varnetix::FeedbackRecord renamed = studioEncoder(), added = studioEncoder();
        renamed.ElementIP = "127.0.0.1", renamed.ElementName = "STUDIO \xC9"; // byte n is U+00nn
        added.ElementIP = "127.0.0.2", added.SerialNumber = 5;
        m_s->resolver.macs = {{"127.0.0.1", kEncoderKey.toStdString()},
                              {"127.0.0.2", "00:00:00:00:00:AA"}};
        m_s->discover([&] {
            m_s->sendToStation(packet(renamed));
            m_s->sendToStation(packet(added));
            QTRY_VERIFY(m_s->database().contains("[0000000000AA]"));
        });
        QCOMPARE(state(kEncoderKey), u"unknown, changed"_s);
        QCOMPARE(state(u"00:00:00:00:00:AA"_s), u"unknown, new"_s);
        QCOMPARE(m_s->text("lblDiscoverySummary"),
                 u"Discovery: 2 elements, 1 new, 1 missing, 1 changed"_s);
        const QStringList details = m_s->logged("discovery");
        QVERIFY(details.contains(u"00:00:00:00:00:0D Missing element D1 [00:00:00:00:00:0D] at "
                                 u"127.0.0.1"_s));
        QVERIFY(details.contains(u"00:1A:2B:3C:4D:5E STUDIO \u00C9 [00:1A:2B:3C:4D:5E]: name E1 -> "
                                 u"STUDIO \u00C9"_s));
    }

    // Every event in the file as one tab-separated line; the view filters by element and text
    // and copies the lines as the file has them.
    void eventLogAndItsView() {
        m_s->start(sampleDatabase());
        m_s->find<QAction>("actionAbout")->trigger();
        auto* log = m_s->station->findChild<varnetix::EventLog*>();
        log->record("ping", kEncoderKey, u"Ping 127.0.0.1: 1 ms"_s);
        m_s->find<QAction>("actionEventLog")->trigger();
        auto* table = m_s->find<QTableView>("tblEventLog");
        const int events =
            int(log->lines().size()); // start, the check's findings, the box, the ping
        QTRY_COMPARE(table->model()->rowCount(), events);
        auto* elements = m_s->find<QComboBox>("cmbLogElement");
        elements->setCurrentIndex(elements->findData(kEncoderKey));
        QVERIFY(table->model()->rowCount() > 0 && table->model()->rowCount() < events);
        for (int row = 0; row < table->model()->rowCount(); ++row)
            QCOMPARE(table->model()->index(row, 3).data().toString(), kEncoderKey);
        elements->setCurrentIndex(0);
        m_s->find<QLineEdit>("txtLogFilter")->setText(u"about"_s);
        QCOMPARE(table->model()->rowCount(), 1);
        table->selectAll();
        m_s->find<QAction>("actionCopyLogLines")->trigger();
        const QString copied = QApplication::clipboard()->text();
        QVERIFY(
            copied.contains(u"\tinfo\tbox\t-\tAbout Varnetix NMS: Varnetix NMS v.3.0.0 - Halvoren "
                            u"Broadcast\\rNetwork management station"_s));

        m_s->window->close(); // the station ends and its log is written out
        m_s->window.reset();
        m_s->station.reset();
        const QList<QByteArray> lines =
            readFile(QString::fromStdString(m_s->settings.eventLogDirectory) + u"/events.log"_s)
                .split('\n');
        QCOMPARE(lines.size(), events + 2); // and the end, and the end of the last line
        QVERIFY(lines[events].endsWith("\tinfo\tstation\t-\tStation ended"));
    }

    void preferencesAreCheckedAndKept() {
        startWatching({});
        QTimer::singleShot(0, this, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->findChild<QSpinBox*>(u"spnWatchInterval"_s)->setValue(5000);
            dialog->accept(); // refused, the dialog stays open
            dialog->findChild<QSpinBox*>(u"spnWatchInterval"_s)->setValue(20);
            dialog->accept();
        });
        m_s->find<QAction>("actionPreferences")->trigger();
        QCOMPARE(m_s->dialogs.texts(),
                 QStringList{u"The watch interval must be between 0 and 3600 seconds (0 turns it "
                             u"off).\rThe preferences were not saved."_s});
        QCOMPARE(m_s->logged("box", varnetix::EventSeverity::Error).size(), 1);
        QCOMPARE(varnetix::PreferencesFile(QString::fromStdString(m_s->settings.preferencesPath))
                     .load()
                     .watchIntervalSeconds,
                 20);
        QVERIFY(m_s->text("lblWatchSummary").endsWith(u" - every 20 s"_s));
    }

    // A preference out of its range reads as its default, the others are kept and the status
    // bar names it until they are saved. The log begins with the start, before the start-up's
    // box; the notice of a log the disk refuses ends when the disk takes it again.
    void badPreferenceAndUnwritableLog() {
        const QString preferences = QString::fromStdString(m_s->settings.preferencesPath);
        QFile file(preferences);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            "[watch]\nintervalSeconds=2\n[log]\nfileCount=999\n[audio]\nsilenceLevelDbfs=-5\n"
            "[metrics]\nendpoint=host:1\n");
        file.close();
        QFile blocker(m_s->dir.filePath(u"blocker"_s));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        const QString logDirectory = blocker.fileName() + u"/state"_s;
        m_s->settings.eventLogDirectory = logDirectory.toStdString();
        m_s->watched = true;
        m_s->start(QByteArray());
        const auto& lines = m_s->station->findChild<varnetix::EventLog*>()->lines();
        QVERIFY(lines.front().text.endsWith(u" started, database "_s + m_s->databasePath()));
        QCOMPARE(lines[2].category, u"box"_s); // the empty database, after the notice
        QVERIFY(lines[1].severity == varnetix::EventSeverity::Warning &&
                lines[2].severity == varnetix::EventSeverity::Info);
        QCOMPARE(m_s->text("lblWatchSummary"),
                 u"0 online, 0 offline, 0 unknown, 0 silent - every 2 s"_s);
        const QString badPreference =
            u"Invalid preferences read as their defaults: log/fileCount, audio/silenceLevelDbfs, "
            u"metrics/endpoint (%1)"_s.arg(preferences);
        QTRY_COMPARE(m_s->text("lblNotice"),
                     badPreference +
                         u"; Event log not written: %1: Not a directory"_s.arg(logDirectory));
        QVERIFY(blocker.remove());
        m_s->find<QAction>("actionAbout")->trigger();
        QTRY_COMPARE(m_s->text("lblNotice"), badPreference);
        QTimer::singleShot(0, this, [] { // saved preferences are all valid
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            dialog->findChild<QSpinBox*>(u"spnWatchInterval"_s)->setValue(3);
            dialog->accept();
        });
        m_s->find<QAction>("actionPreferences")->trigger();
        QCOMPARE(m_s->text("lblNotice"), QString());
    }

    // The findings in their dock and on the tree; a finding chosen selects its element. The
    // inventory written where the operator says, as a .csv file.
    void networkCheckAndExport() {
        m_s->settings.stationNetworks.emplace(); // unknown: whatever this machine's networks are
        m_s->start(sampleDatabase());
        m_s->find<QAction>("actionCheckNetwork")->trigger();
        auto* findings = m_s->find<QTreeWidget>("lstFindings");
        QStringList kinds;
        for (int i = 0; i < findings->topLevelItemCount(); ++i)
            kinds << findings->topLevelItem(i)->text(0) + u' ' + findings->topLevelItem(i)->text(1);
        QCOMPARE(kinds,
                 (QStringList{u"error 00:1A:2B:3C:4D:5E, 00:00:00:00:00:0D"_s,
                              u"error 00:1A:2B:3C:4D:5E"_s, u"warning 00:00:00:00:00:0D"_s}));
        QCOMPARE(m_s->logged("check", varnetix::EventSeverity::Warning).size(), 1);
        QVERIFY(findings->topLevelItem(1)->text(2).contains(u"10.0.0.9"_s));
        QCOMPARE(m_s->described(kEncoderKey), u"unknown, warning"_s);
        emit findings->itemActivated(findings->topLevelItem(1), 0);
        QCOMPARE(m_s->text("lblElementMAC"), kEncoderKey);

        m_s->dialogs.saveAs = m_s->dir.filePath(u"inventory"_s); // typed without its suffix
        m_s->find<QAction>("actionExport")->trigger();
        QCOMPARE(
            readFile(m_s->dialogs.saveAs + u".csv"_s).toStdString(),
            varnetix::inventoryCsv(varnetix::IniDocument::parse(sampleDatabase().toStdString())));
    }

    // The alarms in their dock, newest first, and the tray light's model: its state, counts,
    // menu and pictures (told apart by shape). Acknowledged and then cleared, an alarm leaves.
    // With VARNETIX_PICTURES_DIR set, the dock's picture is saved there.
    void alarmsDockAndTrayLight() {
        m_s->sweeper.answering[u"198.18.0.11"_s] = 3;
        startWatching({1, 2, 1024, 5});
        QTRY_COMPARE(state(kDecoderKey), u"offline"_s);
        m_s->window->show();
        m_s->window->resize(900, 560);
        m_s->find<QAction>("actionAlarms")->trigger();
        auto* list = m_s->find<QTreeWidget>("lstAlarms");
        const auto rows = [list] {
            QStringList shown;
            for (int i = 0; i < list->topLevelItemCount(); ++i)
                shown << list->topLevelItem(i)->text(2) + u' ' + list->topLevelItem(i)->text(4);
            return shown.join(u", "_s);
        };
        auto* tray = m_s->window->findChild<varnetix::TrayLight*>();
        QCOMPARE(rows(), u"offline active, unacknowledged, network active, unacknowledged"_s);
        QCOMPARE(list->topLevelItem(0)->text(3), u"D1 [00:00:00:00:00:0D]"_s);
        list->topLevelItem(1)->setSelected(true);
        m_s->find<QPushButton>("btnAcknowledge")->click();
        QCOMPARE(m_s->logged("alarm").last(),
                 u"00:1A:2B:3C:4D:5E Alarm acknowledged (network): E1 [00:1A:2B:3C:4D:5E]"_s);
        m_s->sweeper.answering[u"198.18.0.12"_s] = 1;
        QTRY_COMPARE(rows(), u"offline cleared, unacknowledged, network active, acknowledged"_s);
        QCOMPARE(tray->toolTip(), u"Varnetix NMS: 2 alarms, 1 unacknowledged, 1 active"_s);
        QCOMPARE(tray->state(), varnetix::TrayState::Unacknowledged);
        list->clearSelection();
        if (const QString dir = qEnvironmentVariable("VARNETIX_PICTURES_DIR"); !dir.isEmpty())
            QVERIFY(m_s->find("dockAlarms")->grab().save(dir + u"/alarms-dock.png"_s));
        m_s->find<QAction>("actionTrayAcknowledgeAll")->trigger();
        QCOMPARE(rows(), u"network active, acknowledged"_s);
        QCOMPARE(tray->state(), varnetix::TrayState::Acknowledged);
        emit list->itemActivated(list->topLevelItem(0), 0);
        QCOMPARE(m_s->text("lblElementMAC"), kEncoderKey);
        QVERIFY(!m_s->find<QPushButton>("btnAcknowledgeAll")->isEnabled());

        QImage strip(3 * 48, 48, QImage::Format_ARGB32);
        strip.fill(Qt::transparent);
        QPainter painter(&strip);
        for (int i = 0; i < 3; ++i)
            painter.drawPixmap(i * 48, 0,
                               varnetix::TrayLight::picture(varnetix::TrayState(i)).pixmap(48));
        painter.end();
        const auto shape = [&strip](int i) {
            return strip.copy(i * 48, 0, 48, 48).convertToFormat(QImage::Format_Alpha8);
        };
        QVERIFY(shape(0) != shape(1) && shape(1) != shape(2) && shape(0) != shape(2));
        if (const QString dir = qEnvironmentVariable("VARNETIX_PICTURES_DIR"); !dir.isEmpty())
            QVERIFY(strip.save(dir + u"/tray-light.png"_s));
        m_s->window->hide();
        m_s->find<QAction>("actionTrayShow")->trigger();
        QVERIFY(m_s->window->isVisible());
        m_s->find<QAction>("actionTrayQuit")->trigger(); // the window closes, the station ends
        QCOMPARE(m_s->logged("station").last(), u" Station ended"_s);
    }

    // Each step "+kind X" raises, "-kind X" clears, "ack kind X" acknowledges an alarm of
    // element 00:00:00:00:00:0X ("-" for none); "ackall", "follow kind X,Y" (the causes that
    // last now) and "keep X" (the elements of a new database). The list as it stands after the
    // steps, newest first, and the log's verbs.
    void alarmLifecycle_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("logged");
        const QString active = u"active, unacknowledged"_s;
        QTest::newRow("acknowledged, stays while it lasts")
            << u"+offline A; ack offline A"_s << u"offline 0A active, acknowledged"_s
            << u"raised,acknowledged"_s;
        QTest::newRow("acknowledged, then cleared: gone")
            << u"+offline A; ack offline A; -offline A"_s << QString()
            << u"raised,acknowledged,cleared"_s;
        QTest::newRow("cleared, stays until acknowledged")
            << u"+offline A; -offline A"_s << u"offline 0A cleared, unacknowledged"_s
            << u"raised,cleared"_s;
        QTest::newRow("cleared, then acknowledged: gone")
            << u"+offline A; -offline A; ackall"_s << QString() << u"raised,cleared,acknowledged"_s;
        QTest::newRow("one alarm per kind and element")
            << u"+offline A; +offline A; +silent A; +no-level B; -network A"_s
            << u"no-level 0B %1; silent 0A %1; offline 0A %1"_s.arg(active)
            << u"raised,raised,raised"_s;
        QTest::newRow("back after it was seen to clear: a new alarm")
            << u"+offline A; -offline A; ack offline A; +offline A"_s << u"offline 0A "_s + active
            << u"raised,cleared,acknowledged,raised"_s;
        QTest::newRow("back before it was seen: raised again")
            << u"+offline A; +silent B; -offline A; +offline A"_s
            << u"offline 0A %1; silent 0B %1"_s.arg(active) << u"raised,raised,cleared,raised"_s;
        QTest::newRow("causes followed")
            << u"follow network A,B; ack network B; follow network B"_s
            << u"network 0B active, acknowledged; network 0A cleared, unacknowledged"_s
            << u"raised,raised,acknowledged,cleared"_s;
        QTest::newRow("an element leaves the database")
            << u"+network -; +offline A; +silent B; ack silent B; keep A"_s
            << u"offline 0A %1; network  %1"_s.arg(active)
            << u"raised,raised,raised,acknowledged,cleared"_s;
    }
    void alarmLifecycle() {
        QFETCH(QString, steps);
        varnetix::EventLog log(nullptr);
        varnetix::AlarmList alarms(log);
        const auto kind = [](const QString& word) {
            return *std::ranges::find_if(
                varnetix::kAlarmKinds, [&](auto k) { return varnetix::alarmKindWord(k) == word; });
        };
        const auto mac = [](const QString& x) {
            return x == u"-" ? QString() : u"00000000000"_s + x;
        };
        for (const QString& step : steps.split(u"; "_s)) {
            const QStringList w = step.split(u' ');
            if (w[0] == u"ackall") {
                alarms.acknowledgeAll();
            } else if (w[0] == u"keep") {
                alarms.keepElements({mac(w[1]).toStdString()});
            } else if (w[0] == u"follow") {
                std::map<QString, QString> causes;
                for (const QString& x : w[2].split(u','))
                    causes[mac(x)];
                alarms.follow(kind(w[1]), causes);
            } else if (w[0] == u"ack") {
                const auto& all = alarms.alarms();
                alarms.acknowledge(std::ranges::find_if(all, [&](const varnetix::Alarm& a) {
                                       return a.kind == kind(w[1]) && a.mac.endsWith(w[2]);
                                   })->id);
            } else if (w[0].startsWith(u'+')) {
                alarms.raise(kind(w[0].mid(1)), mac(w[1]));
            } else {
                alarms.clear(kind(w[0].mid(1)), mac(w[1]).toLower());
            }
        }
        QStringList list, logged;
        for (const varnetix::Alarm& a : alarms.alarms())
            list << varnetix::alarmKindWord(a.kind) + u' ' + a.mac.right(2) + u' ' +
                        varnetix::alarmStateWords(a);
        for (const auto& line : log.lines())
            logged << line.text.section(u' ', 1, 1);
        QTEST(list.join(u"; "_s), "list");
        QTEST(logged.join(u','), "logged");
    }

    // The program as a script runs it, with no display to open a window on. %1 is a directory
    // holding the row's database as nms.ini and a read-only file.
    void commandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("database");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out"); // HELP for the help text
        QTest::addColumn<QString>("err");
        const QString version = u"varnetix-nms 3.0.0\n"_s, at = u"--database=%1/nms.ini"_s;
        const auto wrong = [](const QString& problem) {
            return u"varnetix-nms: %1\nTry 'varnetix-nms --help'.\n"_s.arg(problem);
        };
        // No gateway: the sample decoder's is its own address, a finding of its own.
        const QByteArray escapes =
            recordText("001A2B3C4D5E",
                       replaced(kDecoderEntries, {"NAME=\x1B]0;PWN\x07\x1B[31m", "GW=0.0.0.0"})) +
            recordText("00000000000D",
                       replaced(kDecoderEntries, {"NAME=D\xC9\x9B\\", "GW=0.0.0.0"}));
        const QByteArray namesake =
            recordText("00000000000D", replaced(kDecoderEntries, {"GW=0.0.0.0"})) +
            recordText("00000000000E", replaced(kDecoderEntries, {"IP=127.0.0.2", "GW=0.0.0.0"}));
        QTest::newRow("-v") << QStringList{u"-v"_s} << QByteArray() << 0 << version << QString();
        QTest::newRow("help wins") << QStringList{u"--bogus"_s, u"-x"_s, u"-h"_s} << QByteArray()
                                   << 0 << u"HELP"_s << QString();
        QTest::newRow("Qt's options")
            << QStringList{u"-platform"_s, u"xcb"_s, u"-style=fusion"_s, u"--version"_s}
            << QByteArray() << 0 << version << QString();
        QTest::newRow("unknown") << QStringList{u"-V"_s} << QByteArray() << 2 << QString()
                                 << wrong(u"unknown option -V"_s);
        QTest::newRow("stray word") << QStringList{u"check-network"_s} << QByteArray() << 2
                                    << QString() << wrong(u"unexpected argument check-network"_s);
        QTest::newRow("two commands")
            << QStringList{u"--version"_s, u"--check-network"_s} << QByteArray() << 2 << QString()
            << wrong(u"--version and --check-network cannot be given together"_s);
        QTest::newRow("metrics endpoint")
            << QStringList{u"--metrics=localhost:9464"_s} << QByteArray() << 2 << QString()
            << wrong(u"--metrics needs [ADDRESS:]PORT, e.g. 9464 or 0.0.0.0:9464, not "
                     u"'localhost:9464'"_s);
        QTest::newRow("end of options") << QStringList{u"--"_s, u"--help"_s} << QByteArray() << 2
                                        << QString() << wrong(u"unexpected argument --help"_s);
        QTest::newRow("missing database")
            << QStringList{u"--check-network"_s, at} << QByteArray() << 2 << QString()
            << u"varnetix-nms: the database %1/nms.ini cannot be read: No such file or "
               u"directory\n"_s;
        QTest::newRow("unreadable database")
            << QStringList{u"--export-csv"_s, u"-"_s, u"--database"_s, u"%1"_s} << QByteArray() << 2
            << QString() << u"varnetix-nms: the database %1 cannot be read: Is a directory\n"_s;
        QTest::newRow("errors, escaped")
            << QStringList{u"--check-network"_s, at} << escapes << 1
            << u"error [duplicate-ip] 001A2B3C4D5E 00000000000D: Two elements use the address "
               u"127.0.0.1: \\x1B]0;PWN\\x07\\x1B[31m [00:1A:2B:3C:4D:5E] and D\u00C9\\x9B\\ "
               u"[00:00:00:00:00:0D].\n"_s
            << QString();
        QTest::newRow("errors, JSON")
            << QStringList{u"--check-network"_s, u"--format"_s, u"json"_s, at} << escapes << 1
            << u"{\"database\":\"%1/nms.ini\",\"findings\":[{\"severity\":\"error\",\"kind\":"
               u"\"duplicate-ip\",\"text\":\"Two elements use the address 127.0.0.1: "
               u"\\u001B]0;PWN\\u0007\\u001B[31m [00:1A:2B:3C:4D:5E] and D\u00C9\\u009B\\\\ "
               u"[00:00:00:00:00:0D].\",\"elements\":[{\"section\":\"001A2B3C4D5E\",\"name\":"
               u"\"\\u001B]0;PWN\\u0007\\u001B[31m\",\"address\":\"127.0.0.1\"},{\"section\":"
               u"\"00000000000D\",\"name\":\"D\u00C9\\u009B\\\\\",\"address\":\"127.0.0.1\"}]}]}"
               u"\n"_s
            << QString();
        const QString warning = u"warning [duplicate-name] 00000000000D 00000000000E: Two "
                                u"elements share the name D1: 00:00:00:00:00:0D at 127.0.0.1 and "
                                u"00:00:00:00:00:0E at 127.0.0.2.\n"_s;
        QTest::newRow("warnings") << QStringList{u"--check-network"_s, at} << namesake << 0
                                  << warning << QString();
        QTest::newRow("warnings, strict") << QStringList{u"--check-network"_s, u"--strict"_s, at}
                                          << namesake << 1 << warning << QString();
        QTest::newRow("full output")
            << QStringList{u"--check-network"_s, at, u">/dev/full"_s} << namesake << 2 << QString()
            << u"varnetix-nms: cannot write the standard output: No space left on device\n"_s;
        QTest::newRow("export to a pipe")
            << QStringList{u"--export-csv"_s, u"/dev/stdout"_s, at} << namesake << 0
            << QString::fromStdString(
                   varnetix::inventoryCsv(varnetix::IniDocument::parse(namesake.toStdString())))
            << QString();
        QTest::newRow("export to a device")
            << QStringList{u"--export-csv=/dev/full"_s, at} << namesake << 2 << QString()
            << u"varnetix-nms: cannot write /dev/full: No space left on device\n"_s;
        QTest::newRow("discovery into a missing folder")
            << QStringList{u"--discover"_s, u"--database=%1/none/nms.ini"_s} << QByteArray() << 2
            << QString()
            << u"varnetix-nms: the database %1/none/nms.ini cannot be written: No such file or "
               u"directory\n"_s;
        QTest::newRow("export over a read-only file")
            << QStringList{u"--export-csv=%1/kept.csv"_s, at} << namesake << 2 << QString()
            << u"varnetix-nms: cannot write %1/kept.csv: the file is read-only\n"_s;
    }
    void commandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, database);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QTemporaryDir dir;
        const QString kept = dir.filePath(u"kept.csv"_s);
        QVERIFY(QFile(kept).open(QIODevice::WriteOnly) && QFile::setPermissions(kept, {}));
        QVERIFY(database.isEmpty() ||
                varnetix::WriteFileAtomically(dir.filePath(u"nms.ini"_s).toStdString(),
                                              database.toStdString())
                    .ok());
        QProcess run;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QT_QPA_PLATFORM"_s, u"none-such"_s); // a window would fail to start
        run.setProcessEnvironment(environment);
        for (QString& argument : arguments)
            argument.replace(u"%1"_s, dir.path());
        if (arguments.last() == u">/dev/full")
            run.setStandardOutputFile(arguments.takeLast().mid(1));
        // In a network namespace of its own the station has no network, so the check's findings
        // do not depend on this machine's interfaces.
        static const bool isolated = QProcess::execute(u"unshare"_s, {u"-rn"_s, u"true"_s}) == 0;
        if (!isolated && arguments.contains(u"--check-network"_s))
            QSKIP("unshare -rn cannot make a network namespace here");
        const QString station = qEnvironmentVariable("VARNETIX_BUILD_BIN") + u"/varnetix-nms"_s;
        if (isolated)
            run.start(u"unshare"_s, QStringList{u"-rn"_s, station} + arguments);
        else
            run.start(station, arguments);
        QVERIFY(run.waitForFinished(10000));
        QCOMPARE(QString::fromUtf8(run.readAllStandardError()), err.replace(u"%1"_s, dir.path()));
        QCOMPARE(QString::fromUtf8(run.readAllStandardOutput()),
                 out == u"HELP" ? varnetix::commandLineHelp() : out.replace(u"%1"_s, dir.path()));
        QTEST(run.exitCode(), "status");
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    }
};

QTEST_MAIN(TestStationWatch)
#include "test_station_watch.moc"
