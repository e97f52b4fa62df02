// The private-profile store over a real file: lookups, write placement, the capacities of one
// call, files written by other programs, and rewrites that change only what they write.
#include "core/ini_store.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace varnetix;
using namespace Qt::StringLiterals;

class TestIniStore : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_rewrites = 0;
    std::string path() const { return m_dir.filePath(u"nms.ini"_s).toStdString(); }
    void put(const QByteArray& content) {
        QFile f(m_dir.filePath(u"nms.ini"_s));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    QByteArray file() const {
        QFile f(m_dir.filePath(u"nms.ini"_s));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        QFile::remove(m_dir.filePath(u"nms.ini"_s));
        m_rewrites = 0;
        SetIniCommitHookForTesting([this] { return ++m_rewrites, 0; });
    }
    void cleanupTestCase() { SetIniCommitHookForTesting({}); }

    void readsForeignFiles_data() {
        QTest::addColumn<QByteArray>("content"); // null: no file
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("expected"); // "<d>" for the default

        auto row = [](const char* name, const QByteArray& content, const char* section,
                      const char* key, const QByteArray& expected) {
            QTest::newRow(name) << content << QByteArray(section) << QByteArray(key) << expected;
        };
        row("no file", QByteArray(), "A", "k", "<d>");
        row("empty value", "[A]\r\nNAME=\r\n", "A", "name", "");
        row("missing key", "[A]\r\nNAME=\r\n", "A", "ip", "<d>");
        row("missing section", "[A]\r\nNAME=\r\n", "B", "name", "<d>");
        row("LF, no final newline", "[A]\nx=1\ny=2", "a", "Y", "2");
        row("byte-order mark", "\xEF\xBB\xBF[A]\r\nk=1\r\n", "A", "k", "1");
        row("spaces", "  [ My Sec ]  \r\n  key  =  v a l  \r\n", "my sec", "KEY", "v a l");
        row("comment not an entry", "[A]\r\n;k=1\r\nk=2\r\n", "A", "k", "2");
        row("key before any section", "k=0\r\n[A]\r\n", "A", "k", "<d>");
        row("first section wins", "[A]\r\nk=1\r\n[a]\r\nk=2\r\nj=3\r\n", "A", "j", "<d>");
        row("first key wins", "[A]\r\nk=1\r\nK=2\r\n", "A", "k", "1");
        row("line without =", "[A]\r\nk\r\n", "A", "k", "<d>");
        row("unclosed bracket is no header", "[A]\r\n[B\r\nk=1\r\n", "A", "k", "1");
        row("second = is value", "[A]\r\nk=a=b\r\n", "A", "k", "a=b");
        row("double quotes", "[A]\r\nk=\" x \"\r\n", "A", "k", " x ");
        row("single quotes", "[A]\r\nk='x'\r\n", "A", "k", "x");
        row("unmatched quotes", "[A]\r\nk=\"x'\r\n", "A", "k", "\"x'");
        row("lone quote", "[A]\r\nk=\"\r\n", "A", "k", "\"");
        for (int length : {749, 750, 800})
            row(qPrintable(u"value of %1"_s.arg(length)), "[A]\r\nk=" + QByteArray(length, 'v'),
                "A", "k", QByteArray(749, 'v').left(length));
    }
    void readsForeignFiles() {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, expected);
        if (!content.isNull())
            put(content);
        const std::string s = section.toStdString();
        const std::string k = key.toStdString();
        QCOMPARE(QByteArray::fromStdString(ReadFromINI(s, k, path(), "<d>")), expected);
        QCOMPARE(CheckIfIniKeyExists(s, k, path()), expected != "<d>");
    }

    // Each row: the file, one procedure, the file after it and how many rewrites it took.
    // Lines a rewrite does not change keep their bytes and line ends.
    void rewritesChangeOnlyWhatTheyWrite_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("call"); // procedure|arguments
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<int>("rewrites");
        QTest::addColumn<int>("error");
        auto row = [](const char* name, const QByteArray& before, const char* call,
                      const QByteArray& after, int rewrites, int error = 0) {
            QTest::newRow(name) << before << QByteArray(call) << after << rewrites << error;
        };
        row("new file", QByteArray(), "W|ABC|name|X", "[ABC]\r\nNAME=X\r\n", 1);
        row("new section at the end", "[ABC]\r\nNAME=X\r\n", "W|def|ip|1",
            "[ABC]\r\nNAME=X\r\n[def]\r\nIP=1\r\n", 1);
        row("changed line CRLF, stored key spelling", "[a]\nname = old\nip=1\n", "W|A|name|new",
            "[a]\nname=new\r\nip=1\n", 1);
        row("new key after last entry", "; db\nstray=1\n[a]\nk=1\n\n; end of a\n[B]\n[A]\nz=9\n",
            "W|A|ip|1", "; db\nstray=1\n[a]\nk=1\nIP=1\r\n\n; end of a\n[B]\n[A]\nz=9\n", 1);
        row("line end added before an appended section", "[A]\nz=9", "W|C|k|2",
            "[A]\nz=9\r\n[C]\r\nK=2\r\n", 1);
        row("lone CR completed", "[A]\r\nz=9\r", "W|A|k|2", "[A]\r\nz=9\r\nK=2\r\n", 1);
        row("byte-order mark dropped, section found", "\xEF\xBB\xBF[A]\nK=1\n", "W|A|k|2",
            "[A]\nK=2\r\n", 1);
        row("same value: no rewrite", "[A]\nK=1\n", "W|a|k|1", "[A]\nK=1\n", 0);
        row("value cut at a line break", "[A]\r\nK=1\r\n", "W|A|k|two\r\nX=3", "[A]\r\nK=two\r\n",
            1);
        row("delete key", "[A]\nk=1\nj=2\n[B]\nk=3", "DK|a|K", "[A]\nj=2\n[B]\nk=3", 1);
        row("delete section", "[A]\nk=1\n[B]\nk=3\n", "DS|a", "[B]\nk=3\n", 1);
        row("delete missing key", "[A]\nk=1\n", "DK|A|x", "[A]\nk=1\n", 0);
        row("rename key keeps the whole value", "[A]\r\nold = \"a=b=c\" \r\nz=1\r\n",
            "RK|A|OLD|new", "[A]\r\nz=1\r\nNEW=\"a=b=c\"\r\n", 1);
        row("rename key onto itself", "[A]\r\nk=1\r\n", "RK|A|k|K", "[A]\r\nk=1\r\n", 0);
        QByteArray many; // more than one enumeration of the section sees
        for (int i = 0; i < 60; ++i)
            many += "K" + QByteArray::number(i) + "=a=b=\"" + QByteArray(20, 'x') + "\"\r\n";
        row("rename section moves every entry", "[OLD]\r\n" + many.toLower() + "[N]\r\nK0=keep\r\n",
            "RS|old|n", "[N]\r\n" + many, 1);
        row("rename missing section", "[A]\r\n", "RS|B|C", "[A]\r\n", 0);
        // Names that would read back as something else are refused, the file left alone.
        const QByteArray one = "[A]\r\nK=1\r\n";
        row("unstorable key", one, "W|A|;x=y|1", one, 0, EINVAL);
        row("unstorable section", one, "W|A\nB|k|1", one, 0, EINVAL);
        row("rename to an unstorable key", one, "RK|A|K|[x]", one, 0, EINVAL);
        row("rename to an unstorable section", one, "RS|A|B\rC", one, 0, EINVAL);
    }
    void rewritesChangeOnlyWhatTheyWrite() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, call);
        QFETCH(QByteArray, after);
        QFETCH(int, rewrites);
        QFETCH(int, error);
        if (!before.isNull())
            put(before);
        std::vector<std::string> a;
        for (const QByteArray& argument : call.split('|'))
            a.push_back(argument.toStdString());
        a.resize(4);
        const StoreResult result = a[0] == "W"    ? WriteToINI(a[1], a[2], a[3], path())
                                   : a[0] == "DK" ? DeleteIniKey(a[1], a[2], path())
                                   : a[0] == "DS" ? DeleteIniSection(a[1], path())
                                   : a[0] == "RK" ? RenameIniKey(a[1], a[2], a[3], path())
                                                  : RenameIniSection(a[1], a[2], path());
        QCOMPARE(result.error, error);
        if (error == EINVAL)
            QCOMPARE(result.reason, std::string("the section or key name cannot be stored"));
        QCOMPARE(file(), after);
        QCOMPARE(m_rewrites, rewrites);
    }

    // One enumeration sees 748 characters: each entry plus a separator.
    void entryBudget_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("keys");
        // "K00=123456" is 11 characters with its separator: 68 fill 748.
        QTest::newRow("68 fit exactly")
            << QByteArray("K00=123456\r\n").repeated(70) << QStringList(68, u"K00"_s);
        const QByteArray first = "A=" + QByteArray(738, 'x') + "\r\n"; // 741 used, 7 left
        QTest::newRow("cut entry ends the walk") << first + "KEY2=abcdefgh\r\nK3=1\r\n"
                                                 << QStringList{u"A"_s, u"KEY2"_s};
        QTest::newRow("cut before =") << first + "LONGKEYNAME=1\r\nK3=1\r\n"
                                      << QStringList{u"A"_s, u"LONGKEY"_s};
        QTest::newRow("last fits without separator") << first + "KEY2=ab\r\nK3=1\r\n"
                                                     << QStringList{u"A"_s, u"KEY2"_s};
        QTest::newRow("one oversized entry") << "BIG=" + QByteArray(900, 'x') + "\r\nK=1\r\n"
                                             << QStringList{u"BIG"_s};
    }
    void entryBudget() {
        QFETCH(QByteArray, body);
        QFETCH(QStringList, keys);
        put("[S]\r\n" + body + "[T]\r\nT=1\r\n");
        QCOMPARE(GetSectionKeyCount("S", path()), std::int16_t(keys.size()));
        std::vector<std::string> expected{"kept"};
        for (const QString& key : keys)
            expected.push_back(key.toStdString());
        std::vector<std::string> listed{"kept"};
        LoadIniSectionKeysLB("S", listed, path());
        QCOMPARE(listed, expected);
    }

    void sectionListsAreComplete() {
        std::vector<std::string> names{"kept"};
        LoadIniSectionsLB(names, path()); // no file: nothing added
        QByteArray content;
        for (int i = 0; i < 100; ++i) {
            names.push_back("S" + std::to_string(i));
            content += "[" + QByteArray::fromStdString(names.back()) + "]\r\nk=1\r\n";
        }
        put(content + "[S0]\r\n[]\r\n[after]\r\n");
        names.push_back("S0");
        std::vector<std::string> listed{"kept"};
        LoadIniSectionsLB(listed, path());
        QCOMPARE(listed, names);
        QCOMPARE(LoadIniSectionsArray(path()), std::vector(names.begin() + 1, names.end()));
    }

    // A discovered decoder's record in one rewrite; a 15th entry marks a record corrupt.
    void elementRecordAndEntryCounts() {
        const QByteArray record = "[001A2B3C4D5E]\r\nNAME=STUDIO          \r\nIP=192.168.1.10\r\n"
                                  "MASK=255.255.255.0\r\nGW=192.168.1.1\r\nREMOTE=192.168.1.20\r\n"
                                  "INPUT=1\r\nTYPE=1\r\nTX=0\r\nROLE=2\r\nSN=12345\r\nVER=2.1\r\n"
                                  "SFN=0\r\nBUF=3\r\nATT=240\r\n";
        IniEntries entries;
        for (const QByteArray& line : record.split('\n').mid(1, 14))
            entries.emplace_back(line.split('=')[0].toLower().toStdString(),
                                 line.split('=')[1].chopped(1).toStdString());
        QCOMPARE(GetSectionKeyCount("001A2B3C4D5E", path()), std::int16_t(0));
        QVERIFY(WriteSectionsToINI({{"001A2B3C4D5E", entries}}, path()).ok());
        QCOMPARE(m_rewrites, 1);
        QCOMPARE(file(), record);
        QCOMPARE(ReadFromINI("001A2B3C4D5E", "name", path()), std::string("STUDIO"));
        QCOMPARE(GetSectionKeyCount("001a2b3c4d5e", path()), std::int16_t(14));
        QVERIFY(WriteToINI("001A2B3C4D5E", "bound", "0", path()).ok());
        QCOMPARE(GetSectionKeyCount("001A2B3C4D5E", path()), std::int16_t(15));
        put("[A]\r\n; only a comment\r\n[B]\r\nn=-17x\r\n");
        QVERIFY(!CheckIfIniSectionExists("A", path()) && CheckIfIniSectionExists("b", path()));
        QCOMPARE(GetLongFromINI("B", "N", path(), 7), -17);
    }
};

QTEST_APPLESS_MAIN(TestIniStore)
#include "test_ini_store.moc"
