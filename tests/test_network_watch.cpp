// The pure parts of watching the network: echo status per element, an encoder's audio, what a
// discovery changed, and the event log's line format.
#include "core/audio_status.h"
#include "core/database_diff.h"
#include "core/element_status.h"
#include "core/event_log_line.h"
#include "core/ini_store.h"

#include <QTest>
#include <ctime>
#include <map>

using namespace varnetix;

namespace {

const char* const kA = "001A2B3C4D5E";

QByteArray bytes(const std::string& s) {
    return QByteArray::fromStdString(s);
}

QByteArray changeText(const std::optional<StateChange>& change) {
    return change ? bytes(StateWord(change->from) + ">" + StateWord(change->to) + ",") : "";
}

} // namespace

class TestNetworkWatch : public QObject {
    Q_OBJECT

private slots:
    // Each echo i (from 1) is at i * 1000 ms: 'a' answered in 3 ms, 'm' missed. Expected: the
    // changes reported, then the tooltip.
    void echoSequence_data() {
        QTest::addColumn<QByteArray>("echoes");
        QTest::addColumn<int>("misses");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray answered = "Online: last answer at 1000, round trip 3 ms";
        const QByteArray silent = "Offline: silent since 1000";
        QTest::newRow("two misses")
            << QByteArray("mm") << 3 << QByteArray("Unknown: not yet answered");
        QTest::newRow("never answered") << QByteArray("mmm") << 3 << "unknown>offline," + silent;
        QTest::newRow("online, missing")
            << QByteArray("amm") << 3 << "unknown>online," + answered + ", 2 missed";
        QTest::newRow("answer resets misses")
            << QByteArray("ammammm") << 3
            << QByteArray("unknown>online,online>offline,Offline: silent since 4000");
        QTest::newRow("back online")
            << QByteArray("mmma") << 3
            << QByteArray(
                   "unknown>offline,offline>online,Online: last answer at 4000, round trip 3 ms");
        QTest::newRow("one miss is enough")
            << QByteArray("am") << 1 << "unknown>online,online>offline," + silent;
    }
    void echoSequence() {
        QFETCH(QByteArray, echoes);
        QFETCH(int, misses);
        StatusBook book(misses);
        book.rebuild({kA});
        QByteArray result;
        for (int i = 0; i < echoes.size(); ++i) {
            const std::int64_t now = (i + 1) * 1000;
            result += changeText(echoes[i] == 'a' ? book.answered("001a2b3c4d5e", now, 3)
                                                  : book.missed("001a2b3c4d5e", now));
        }
        const auto formatTime = [](std::int64_t ms) { return std::to_string(ms); };
        QTEST(result + bytes(StatusTooltip(*book.find(kA), formatTime)), "expected");
    }

    void rebuildKeepsStatesOfElementsThatStay() {
        StatusBook book;
        book.rebuild({kA, "00000000000B"});
        book.answered(kA, 1000, 1);
        for (int i = 0; i < 3; ++i)
            book.missed("00000000000B", 1000);
        book.rebuild({"00000000000b", "00000000000C", "00000000000B"});
        QCOMPARE(book.sections(), (std::vector<std::string>{"00000000000b", "00000000000C"}));
        QVERIFY(!book.find(kA) && !book.missed(kA, 2000));
        QCOMPARE(bytes(StateWord(book.state("00000000000B"))), "offline");
        QCOMPARE(bytes(StatusSummary(book.counts(), 10)),
                 "0 online, 1 offline, 1 unknown - every 10 s");
        book.answered("00000000000C", 2000, 1);
        QCOMPARE(bytes(StatusSummary(book.counts(), 0)),
                 "1 online, 1 offline, 0 unknown - monitoring off");
    }

    // Answer i (from 1) comes at i * 1000 ms, after the check for answers of that moment: 'q'
    // no positive peak, 'b' -50.1 dBFS, 'e' -50 dBFS, 'l' -6 dBFS, '-' none. Silence below
    // -50 dBFS for 3 s, restored after 2 s. Expected: the changes, then the tooltip.
    void audioSequence_data() {
        QTest::addColumn<QByteArray>("answers");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("silent") << QByteArray("qbqb")
                                << QByteArray("0>1,1>2 since 1000,Audio: -50.1dBFS at 4000, "
                                              "silent since 1000");
        QTest::newRow("the level itself breaks a run")
            << QByteArray("qqeqqq") << QByteArray("0>1,Audio: -oodBFS at 6000, audio since 1000");
        QTest::newRow("a missing answer does not")
            << QByteArray("q-qq")
            << QByteArray("0>1,1>2 since 1000,Audio: -oodBFS at 4000, "
                          "silent since 1000");
        QTest::newRow("restored")
            << QByteArray("qqqqlqlll")
            << QByteArray("0>1,1>2 since 1000,2>1 after 6000,Audio: -6dBFS at 9000, audio "
                          "since 7000");
        QTest::newRow("no answer for 5 s")
            << QByteArray("qqqq----q")
            << QByteArray("0>1,1>2 since 1000,2>3,3>1,Audio: -oodBFS at 9000, audio since 9000");
        QTest::newRow("never answered")
            << QByteArray("-----")
            << QByteArray("0>3,Audio: level unknown since 5000, no answer to a level request");
        QTest::newRow("gone") << QByteArray("l-----")
                              << QByteArray("0>1,1>3,Audio: level unknown since 6000, last -6dBFS "
                                            "at 1000");
    }
    void audioSequence() {
        QFETCH(QByteArray, answers);
        const AudioRules rules{-50, 3000, 2000, 5000};
        const std::map<char, std::pair<double, std::string>> levels = {
            {'q', {-std::numeric_limits<double>::infinity(), "-oodBFS"}},
            {'b', {-50.1, "-50.1dBFS"}},
            {'e', {-50, "-50dBFS"}},
            {'l', {-6, "-6dBFS"}}};
        AudioStatus status(0);
        QByteArray result;
        const auto record = [&](const std::optional<AudioChange>& change) {
            if (!change)
                return;
            result +=
                QByteArray::number(int(change->from)) + '>' + QByteArray::number(int(change->to));
            if (change->to == AudioState::Silent)
                result += " since " + QByteArray::number(change->silentSinceMs);
            else if (change->from == AudioState::Silent && change->to == AudioState::Audio)
                result += " after " + QByteArray::number(change->silenceMs);
            result += ',';
        };
        for (int i = 0; i < answers.size(); ++i) {
            const std::int64_t now = (i + 1) * 1000;
            record(status.checkAnswers(now, rules));
            if (const auto level = levels.find(answers[i]); level != levels.end())
                record(status.answered(now, level->second.first, level->second.second, rules));
        }
        const auto formatTime = [](std::int64_t ms) { return std::to_string(ms); };
        QTEST(result + bytes(AudioTooltip(status, formatTime)), "expected");
    }

    // Expected: the summary, then the details.
    void compare_data() {
        QTest::addColumn<QByteArray>("previous"); // null: no earlier database
        QTest::addColumn<QByteArray>("current");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray studio = "[001A2B3C4D5E]\nNAME=STUDIO\nIP=192.168.1.10\nROLE=2\nVER=2.1\n";
        QTest::newRow("no earlier database")
            << QByteArray() << studio
            << QByteArray("Discovery: 1 element, no earlier database to compare\n"
                          "Found element STUDIO [00:1A:2B:3C:4D:5E] at 192.168.1.10\n");
        QTest::newRow("same in other forms")
            << QByteArray("[001a2b3c4d5e]\nname=STUDIO   \nip = 192.168.1.10\nrole=2\nver=2.10\n")
            << studio << QByteArray("Discovery: 1 element, 0 new, 0 missing, 0 changed\n");
        QTest::newRow("new, missing, changed")
            << studio + "[00000000000B]\nNAME=TX1\nIP=192.168.1.20\n"
            << QByteArray("[001A2B3C4D5E]\nNAME=MAIN\nIP=192.168.1.11\nROLE=1\nVER=2.2\n"
                          "[00000000000C]\n")
            << QByteArray("Discovery: 2 elements, 1 new, 1 missing, 1 changed\n"
                          "New element [00:00:00:00:00:0C]\n"
                          "Missing element TX1 [00:00:00:00:00:0B] at 192.168.1.20\n"
                          "MAIN [00:1A:2B:3C:4D:5E]: address 192.168.1.10 -> 192.168.1.11\n"
                          "MAIN [00:1A:2B:3C:4D:5E]: name STUDIO -> MAIN\n"
                          "MAIN [00:1A:2B:3C:4D:5E]: role DECODER -> ENCODER\n"
                          "MAIN [00:1A:2B:3C:4D:5E]: version 2.1 -> 2.2\n");
        QTest::newRow("empty values, no version, not a MAC")
            << QByteArray("[x]\nNAME=OLD\n") << QByteArray("[X]\nIP=10.0.0.1\nVER=2.0\n")
            << QByteArray("Discovery: 1 element, 0 new, 0 missing, 1 changed\n"
                          "[X]: address (none) -> 10.0.0.1\n[X]: name OLD -> (none)\n");
    }
    void compare() {
        QFETCH(QByteArray, previous);
        QFETCH(QByteArray, current);
        const IniDocument before = IniDocument::parse(previous.toStdString());
        const DatabaseDiff diff = CompareDatabases(previous.isNull() ? nullptr : &before,
                                                   IniDocument::parse(current.toStdString()));
        QByteArray result = bytes(DiffSummary(diff) + "\n");
        for (const DiffLine& line : DiffDetails(diff)) {
            QVERIFY(line.text.find("[" + line.element + "]") != std::string::npos);
            result += bytes(line.text + "\n");
        }
        QTEST(result, "expected");
    }

    void logLine_data() {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<int>("severity");
        QTest::addColumn<QByteArray>("element");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("one hour east")
            << QByteArray("UTC-1") << Q_INT64_C(1796558645123) << int(EventSeverity::Info)
            << QByteArray("00:1A:2B:3C:4D:5E") << QByteArray("Online")
            << QByteArray("2026-12-06T13:04:05.123+01:00\tinfo\tstatus\t00:1A:2B:3C:4D:5E\tOnline");
        QTest::newRow("west, half hour, escapes")
            << QByteArray("XST3:30") << Q_INT64_C(1796558645000) << int(EventSeverity::Warning)
            << QByteArray() << QByteArray("a\tb\\c\r\nd")
            << QByteArray("2026-12-06T08:34:05.000-03:30\twarning\tstatus\t-\ta\\tb\\\\c\\r\\nd");
        // A name off the wire must not command the terminal of whoever reads the log: C0, DEL
        // and C1 (U+009B in UTF-8) as \xHH; a backslash stays apart from an escape.
        QTest::newRow("control characters")
            << QByteArray("UTC0") << Q_INT64_C(0) << int(EventSeverity::Error)
            << QByteArray("A\x1B") << QByteArray("\x1B]0;PWN\x07\x1B[31m\x7F\xC2\x9B\xC3\xA9\\x1B")
            << QByteArray(
                   "1970-01-01T00:00:00.000+00:00\terror\tstatus\tA\\x1B\t\\x1B]0;PWN\\x07\\x1B[31m"
                   "\\x7F\\x9B\xC3\xA9\\\\x1B");
        QTest::newRow("before the epoch")
            << QByteArray("UTC0") << Q_INT64_C(-1) << int(EventSeverity::Info) << QByteArray()
            << QByteArray("\\")
            << QByteArray("1969-12-31T23:59:59.999+00:00\tinfo\tstatus\t-\t\\\\");
    }
    void logLine() {
        QFETCH(QByteArray, zone);
        QFETCH(qint64, ms);
        QFETCH(int, severity);
        QFETCH(QByteArray, element);
        QFETCH(QByteArray, text);
        qputenv("TZ", zone);
        tzset();
        const std::string line = FormatEventLine(ms, EventSeverity(severity), "status",
                                                 element.toStdString(), text.toStdString());
        QTEST(bytes(line), "line");
        const auto entry = ParseEventLine(line + "\n");
        QVERIFY(entry);
        QCOMPARE(int(entry->severity), severity);
        QCOMPARE(bytes(entry->category + "|" + entry->element + "|" + entry->text),
                 "status|" + element + "|" + text);
    }

    // A log of the old four-field form reads as info; a line of neither form, or one cut where
    // a severity stands in the category's place, is none.
    void parseOldFormAndRejectOthers() {
        const auto old = ParseEventLine("t\tstatus\t-\ta\\tb\r\n");
        QVERIFY(old && old->severity == EventSeverity::Info);
        QCOMPARE(bytes(old->category + "|" + old->element + "|" + old->text), "status||a\tb");
        QVERIFY(!ParseEventLine("t\tstation\t-"));
        QVERIFY(!ParseEventLine("t\tstation\t-\ta\tb"));
        QVERIFY(!ParseEventLine("t\twarning\tstation\t-"));
        QVERIFY(!ParseEventLine("t\terror\tstation\t-\ta\tb"));
        QCOMPARE(bytes(UnescapeLogField("a\\x\\")), "a\\x\\");
    }
};

QTEST_APPLESS_MAIN(TestNetworkWatch)
#include "test_network_watch.moc"
