// What the station keeps track of beside the element protocol: the watch over every element,
// what a discovery changed, the event log and its view, the preferences, the network check,
// the inventory and the command line that scripts use.
#include "core/database_file.h"
#include "core/ini_store.h"
#include "core/inventory_csv.h"
#include "station/command_line.h"
#include "station_fixture.h"

#include <QClipboard>
#include <QSpinBox>
#include <QTableView>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace {

const QByteArray kWatched =
    recordText("001A2B3C4D5E", replaced(kEncoderEntries, {"IP=198.18.0.11"})) +
    recordText("00000000000D", replaced(kDecoderEntries, {"IP=198.18.0.12"}));

// Runs the command with its output and errors in memory: the exit status, then what it printed.
template <typename Command> std::pair<int, QByteArray> printed(Command command) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    const int status = command(out, out);
    std::fclose(out);
    const QByteArray result(text, qsizetype(size));
    std::free(text);
    return {status, result};
}

} // namespace

class TestStationWatch : public QObject {
    Q_OBJECT

    std::unique_ptr<Station> m_s;

    // A node's description, without the warning the network check gives the sample records.
    QString state(const QString& key) const { return m_s->described(key).remove(u", warning"_s); }

    void startWatching(const varnetix::StationPreferences& preferences) {
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
        QVERIFY(m_s->tree()->topLevelItem(0)->toolTip(0).contains(u", round trip 3 ms"_s));
        QVERIFY(m_s->tree()->topLevelItem(1)->toolTip(0).startsWith(u"Offline: silent since "_s));
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
        QVERIFY(m_s->probe.addresses.isEmpty()); // the ping test's echo is its own
        QVERIFY(m_s->dialogs.boxes.isEmpty());
    }
    void withoutIcmpTheStatusBarSaysSo() {
        m_s->sweeper.available = false;
        startWatching({});
        QCOMPARE(m_s->text("lblNotice"), u"Elements are not watched: no ICMP socket here"_s);
        QCOMPARE(m_s->text("lblWatchSummary"),
                 u"0 online, 0 offline, 2 unknown - monitoring off"_s);
        QVERIFY(m_s->tree()->topLevelItem(0)->toolTip(0).startsWith(
            u"Not watched: no ICMP socket here\n"_s));
        QVERIFY(m_s->dialogs.boxes.isEmpty() && m_s->sweeper.sent.isEmpty());
    }

    // New and changed elements are marked until the next discovery; the status bar sums it up
    // and the log tells the details, the missing element included.
    void discoveryMarksWhatChanged() {
        m_s->start(sampleDatabase());
        varnetix::FeedbackRecord renamed = studioEncoder(), added = studioEncoder();
        renamed.ElementIP = "127.0.0.1", renamed.ElementName = "E1 RENAMED";
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
        QVERIFY(details.contains(u"00:1A:2B:3C:4D:5E E1 RENAMED [00:1A:2B:3C:4D:5E]: name E1 -> "
                                 u"E1 RENAMED"_s));
    }

    // Every event in the file as one tab-separated line; the view filters by element and text
    // and copies the lines as the file has them.
    void eventLogAndItsView() {
        m_s->start(sampleDatabase());
        m_s->find<QAction>("actionAbout")->trigger();
        auto* log = m_s->window->findChild<varnetix::EventLog*>();
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
            QCOMPARE(table->model()->index(row, 2).data().toString(), kEncoderKey);
        elements->setCurrentIndex(0);
        m_s->find<QLineEdit>("txtLogFilter")->setText(u"about"_s);
        QCOMPARE(table->model()->rowCount(), 1);
        table->selectAll();
        m_s->find<QAction>("actionCopyLogLines")->trigger();
        const QString copied = QApplication::clipboard()->text();
        QVERIFY(copied.contains(u"\tbox\t-\tAbout Varnetix NMS: Varnetix NMS v.3.0.0 - Halvoren "
                                u"Broadcast\\rNetwork management station"_s));

        m_s->window->close(); // the station ends and its log is written out
        m_s->window.reset();
        const QList<QByteArray> lines =
            readFile(QString::fromStdString(m_s->settings.eventLogDirectory) + u"/events.log"_s)
                .split('\n');
        QCOMPARE(lines.size(), events + 2); // and the end, and the end of the last line
        QVERIFY(lines[events].endsWith("\tstation\t-\tStation ended"));
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
        file.write("[watch]\nintervalSeconds=2\n[log]\nfileCount=999\n");
        file.close();
        QFile blocker(m_s->dir.filePath(u"blocker"_s));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        const QString logDirectory = blocker.fileName() + u"/state"_s;
        m_s->settings.eventLogDirectory = logDirectory.toStdString();
        m_s->watched = true;
        m_s->start(QByteArray());
        const auto& lines = m_s->window->findChild<varnetix::EventLog*>()->lines();
        QVERIFY(lines.front().text.endsWith(u" started, database "_s + m_s->databasePath()));
        QCOMPARE(lines[2].category, u"box"_s); // the empty database, after the notice
        QCOMPARE(m_s->text("lblWatchSummary"), u"0 online, 0 offline, 0 unknown - every 2 s"_s);
        const QString badPreference =
            u"Invalid preferences read as their defaults: log/fileCount (%1)"_s.arg(preferences);
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
    // inventory written where the operator says.
    void networkCheckAndExport() {
        m_s->start(sampleDatabase());
        m_s->find<QAction>("actionCheckNetwork")->trigger();
        auto* findings = m_s->find<QTreeWidget>("lstFindings");
        QStringList kinds;
        for (int i = 0; i < findings->topLevelItemCount(); ++i)
            kinds << findings->topLevelItem(i)->text(0) + u' ' + findings->topLevelItem(i)->text(1);
        QCOMPARE(kinds, (QStringList{u"error 00:1A:2B:3C:4D:5E, 00:00:00:00:00:0D"_s,
                                     u"error 00:1A:2B:3C:4D:5E"_s}));
        QVERIFY(findings->topLevelItem(1)->text(2).contains(u"10.0.0.9"_s));
        QCOMPARE(m_s->described(kEncoderKey), u"unknown, warning"_s);
        emit findings->itemActivated(findings->topLevelItem(1), 0);
        QCOMPARE(m_s->text("lblElementMAC"), kEncoderKey);

        m_s->dialogs.saveAs = m_s->dir.filePath(u"inventory.csv"_s);
        m_s->find<QAction>("actionExport")->trigger();
        QCOMPARE(
            readFile(m_s->dialogs.saveAs).toStdString(),
            varnetix::inventoryCsv(varnetix::IniDocument::parse(sampleDatabase().toStdString())));
    }

    void commandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("outcome"); // command, target or problem
        QTest::newRow("window") << QStringList{u"-platform"_s, u"offscreen"_s} << u"0 "_s;
        QTest::newRow("check") << QStringList{u"--check-network"_s} << u"3 "_s;
        QTest::newRow("export") << QStringList{u"--export-csv"_s, u"-"_s} << u"4 -"_s;
        QTest::newRow("export=") << QStringList{u"--export-csv=a.csv"_s} << u"4 a.csv"_s;
        QTest::newRow("no file") << QStringList{u"--export-csv"_s}
                                 << u"5 --export-csv needs a file, or - for the standard output"_s;
        QTest::newRow("two") << QStringList{u"--help"_s, u"--version"_s}
                             << u"5 --version cannot be given with another command"_s;
        QTest::newRow("unknown") << QStringList{u"--bogus"_s} << u"5 unknown option --bogus"_s;
    }
    void commandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, outcome);
        const varnetix::CommandLine line = varnetix::parseCommandLine(arguments);
        QCOMPARE(QString::number(int(line.command)) + u' ' + line.exportTarget + line.problem,
                 outcome);
    }
    // Nothing found without a database (findings and their exit status are the lab test's); the
    // CSV; an unreadable database.
    void commandsForScripts() {
        const std::string path = m_s->settings.databasePath;
        const auto check = [&](std::FILE* out, std::FILE* err) {
            return varnetix::reportNetworkCheck(path, {{0x7F000000, 0xFF000000}}, out, err);
        };
        const auto exportAll = [&](std::FILE* out, std::FILE* err) {
            return varnetix::exportInventoryCsv(path, u"-"_s, out, err);
        };
        QCOMPARE(printed(check), (std::pair{0, QByteArray()})); // no database, nothing wrong
        m_s->writeDatabase(sampleDatabase());
        QCOMPARE(
            printed(exportAll).second.toStdString(),
            varnetix::inventoryCsv(varnetix::IniDocument::parse(sampleDatabase().toStdString())));
        varnetix::FailNextIniReadForTesting(EACCES);
        QCOMPARE(printed(check),
                 (std::pair{2, "varnetix-nms: the database " + QByteArray(path.c_str()) +
                                   " cannot be read: Permission denied\n"}));
        QCOMPARE(m_s->database(), sampleDatabase()); // nothing written
    }
};

QTEST_MAIN(TestStationWatch)
#include "test_station_watch.moc"
