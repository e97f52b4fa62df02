// The private-profile store over a real file: lookups, write placement, the capacities of one
// call, files written by other programs, and writes that must never damage the database.
#include "core/ini_store.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace varnetix;
using namespace Qt::StringLiterals;

namespace {

QByteArray bytes(const std::string& s) {
    return QByteArray(s.data(), qsizetype(s.size()));
}
std::string text(const QByteArray& b) {
    return std::string(b.constData(), std::size_t(b.size()));
}

} // namespace

class TestIniStore : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
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
    QStringList dirEntries() const {
        return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        for (const QString& name : dirEntries())
            QFile::remove(m_dir.filePath(name));
        SetIniCommitHookForTesting({});
    }
    void cleanup() { SetIniCommitHookForTesting({}); }

    void writesKeepFirstWriteOrderWithUpperCaseKeys() {
        WriteToINI("ABC", "name", "X", path());
        QCOMPARE(file(), QByteArray("[ABC]\r\nNAME=X\r\n"));
        QCOMPARE(ReadFromINI("ABC", "name", path()), std::string("X"));
        QCOMPARE(ReadFromINI("abc", "NAME", path()), std::string("X"));

        WriteToINI("def", "ip", "1.2.3.4", path());
        WriteToINI("Abc", "Ip", "5", path());
        WriteToINI("ABC", "NAME", "Y", path());
        QCOMPARE(file(), QByteArray("[ABC]\r\nNAME=Y\r\nIP=5\r\n[def]\r\nIP=1.2.3.4\r\n"));
    }

    void readsDefaults() {
        QCOMPARE(ReadFromINI("ABC", "name", path(), "d"), std::string("d"));
        put("[ABC]\r\nNAME=\r\n");
        QCOMPARE(ReadFromINI("ABC", "name", path(), "d"), std::string());
        QCOMPARE(ReadFromINI("ABC", "ip", path(), "d"), std::string("d"));
        QCOMPARE(ReadFromINI("XYZ", "name", path(), "d"), std::string("d"));
        QVERIFY(CheckIfIniKeyExists("ABC", "name", path()));
        QVERIFY(!CheckIfIniKeyExists("ABC", "ip", path()));
        QVERIFY(!CheckIfIniKeyExists("XYZ", "name", path()));
    }

    void readsForeignFiles_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("expected"); // "<d>" for the default

        QTest::newRow("LF, no final newline")
            << QByteArray("[A]\nx=1\ny=2") << QByteArray("a") << QByteArray("Y") << QByteArray("2");
        QTest::newRow("spaces") << QByteArray("  [ My Sec ]  \r\n  key  =  v a l  \r\n")
                                << QByteArray("my sec") << QByteArray("KEY") << QByteArray("v a l");
        QTest::newRow("comment not an entry")
            << QByteArray("[A]\r\n;k=1\r\nk=2\r\n") << QByteArray("A") << QByteArray("k")
            << QByteArray("2");
        QTest::newRow("key before any section") << QByteArray("k=0\r\n[A]\r\n") << QByteArray("A")
                                                << QByteArray("k") << QByteArray("<d>");
        QTest::newRow("first section wins")
            << QByteArray("[A]\r\nk=1\r\n[a]\r\nk=2\r\nj=3\r\n") << QByteArray("A")
            << QByteArray("j") << QByteArray("<d>");
        QTest::newRow("first key wins") << QByteArray("[A]\r\nk=1\r\nK=2\r\n") << QByteArray("A")
                                        << QByteArray("k") << QByteArray("1");
        QTest::newRow("line without =") << QByteArray("[A]\r\nk\r\n") << QByteArray("A")
                                        << QByteArray("k") << QByteArray("<d>");
        QTest::newRow("unclosed bracket is no header")
            << QByteArray("[A]\r\n[B\r\nk=1\r\n") << QByteArray("A") << QByteArray("k")
            << QByteArray("1");
        QTest::newRow("second = is value") << QByteArray("[A]\r\nk=a=b\r\n") << QByteArray("A")
                                           << QByteArray("k") << QByteArray("a=b");
        QTest::newRow("double quotes") << QByteArray("[A]\r\nk=\" x \"\r\n") << QByteArray("A")
                                       << QByteArray("k") << QByteArray(" x ");
        QTest::newRow("single quotes") << QByteArray("[A]\r\nk='x'\r\n") << QByteArray("A")
                                       << QByteArray("k") << QByteArray("x");
        QTest::newRow("unmatched quotes") << QByteArray("[A]\r\nk=\"x'\r\n") << QByteArray("A")
                                          << QByteArray("k") << QByteArray("\"x'");
        QTest::newRow("lone quote") << QByteArray("[A]\r\nk=\"\r\n") << QByteArray("A")
                                    << QByteArray("k") << QByteArray("\"");
    }
    void readsForeignFiles() {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, expected);
        put(content);
        QCOMPARE(bytes(ReadFromINI(text(section), text(key), path(), "<d>")), expected);
    }

    void rewritesForeignFileKeepingWhatItDoesNotChange() {
        put("; station database\nstray=1\n[a]\nname = old\n\n; end of a\n[B]\nx=1\n[A]\nz=9");
        WriteToINI("A", "name", "new", path()); // stored spelling of the key stays
        WriteToINI("A", "ip", "1", path());     // after the last entry of the first [a]
        WriteToINI("C", "k", "2", path());
        QCOMPARE(file(),
                 QByteArray("; station database\r\nstray=1\r\n[a]\r\nname=new\r\nIP=1\r\n"
                            "\r\n; end of a\r\n[B]\r\nx=1\r\n[A]\r\nz=9\r\n[C]\r\nK=2\r\n"));
    }

    void refusesWhatCannotBeStored() {
        put("[A]\r\nK=1\r\n");
        WriteToINI("A", "x=y", "1", path());
        WriteToINI("A", "[B]", "1", path());
        WriteToINI("A", ";c", "1", path());
        WriteToINI("A\r\nB", "k", "1", path());
        QCOMPARE(file(), QByteArray("[A]\r\nK=1\r\n"));
        WriteToINI("A", "k", "two\r\nX=3", path());
        QCOMPARE(file(), QByteArray("[A]\r\nK=two\r\n"));
    }

    void valueLimit_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("read");
        QTest::newRow("749") << 749 << 749;
        QTest::newRow("750") << 750 << 749;
        QTest::newRow("800") << 800 << 749;
    }
    void valueLimit() {
        QFETCH(int, length);
        QFETCH(int, read);
        const std::string value(std::size_t(length), 'v');
        WriteToINI("A", "k", value, path());
        QCOMPARE(ReadFromINI("A", "k", path()), value.substr(0, std::size_t(read)));
    }

    void entryCountsMarkCorruptRecords() {
        QCOMPARE(GetSectionKeyCount("A", path()), std::int16_t(0));
        QVERIFY(!CheckIfIniSectionExists("A", path()));
        put("[A]\r\n; only a comment\r\n");
        QVERIFY(!CheckIfIniSectionExists("A", path()));
        IniEntries entries;
        for (int i = 0; i < 14; ++i)
            entries.emplace_back("k" + std::to_string(i), "v");
        WriteSectionToINI("A", entries, path());
        QCOMPARE(GetSectionKeyCount("a", path()), std::int16_t(14));
        QVERIFY(CheckIfIniSectionExists("a", path()));
        WriteToINI("A", "bound", "0", path());
        QCOMPARE(GetSectionKeyCount("A", path()), std::int16_t(15));
    }

    // One enumeration sees 748 characters: each entry plus a separator.
    void entryBudget_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("keys");
        const QByteArray tenChars = "K00=123456"; // 11 with its separator; 68 fill 748
        QByteArray full;
        QStringList fullKeys;
        for (int i = 0; i < 70; ++i) {
            full += tenChars + "\r\n";
            if (i < 68)
                fullKeys << u"K00"_s;
        }
        QTest::newRow("68 fit exactly") << full << fullKeys;
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
        std::vector<std::string> listed{"kept"};
        LoadIniSectionKeysLB("S", listed, path());
        QStringList got;
        for (std::size_t i = 1; i < listed.size(); ++i)
            got << QString::fromStdString(listed[i]);
        QCOMPARE(listed.front(), std::string("kept"));
        QCOMPARE(got, keys);
    }

    void getLong_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("expected");
        QTest::newRow("missing") << QByteArray() << 7;
        QTest::newRow("empty") << QByteArray("n=") << 0;
        QTest::newRow("plain") << QByteArray("n=42") << 42;
        QTest::newRow("negative") << QByteArray("n=-17") << -17;
        QTest::newRow("leading digits") << QByteArray("n=12abc") << 12;
        QTest::newRow("no digits") << QByteArray("n=abc") << 0;
        QTest::newRow("plus is no digit") << QByteArray("n=+5") << 0;
        QTest::newRow("quoted") << QByteArray("n=\"15\"") << 15;
        QTest::newRow("max") << QByteArray("n=2147483647") << 2147483647;
        QTest::newRow("min") << QByteArray("n=-2147483648") << int(INT32_MIN);
        QTest::newRow("overflow") << QByteArray("n=99999999999999999999") << 2147483647;
        QTest::newRow("underflow") << QByteArray("n=-2147483649") << int(INT32_MIN);
    }
    void getLong() {
        QFETCH(QByteArray, line);
        QFETCH(int, expected);
        put("[A]\r\n" + line + "\r\n");
        QCOMPARE(GetLongFromINI("A", "N", path(), 7), expected);
    }

    void deletes() {
        put("[A]\r\nk=1\r\nj=2\r\n[B]\r\nk=3\r\n");
        DeleteIniKey("a", "K", path());
        QCOMPARE(file(), QByteArray("[A]\r\nj=2\r\n[B]\r\nk=3\r\n"));
        DeleteIniSection("a", path());
        QCOMPARE(file(), QByteArray("[B]\r\nk=3\r\n"));
    }

    // The renames move every entry with its whole value in one rewrite.
    void renameSectionMovesEverything() {
        QByteArray body;
        for (int i = 0; i < 60; ++i)
            body += "k" + QByteArray::number(i) + "=a=b=\"" + QByteArray(20, 'x') + "\"\r\n";
        put("[OLD]\r\n" + body + "[N]\r\nK0=keep\r\n");
        int rewrites = 0;
        SetIniCommitHookForTesting([&rewrites] { return ++rewrites, true; });
        RenameIniSection("old", "n", path());
        QCOMPARE(rewrites, 1);
        QByteArray expected = "[N]\r\nK0=a=b=\"" + QByteArray(20, 'x') + "\"\r\n";
        for (int i = 1; i < 60; ++i)
            expected += "K" + QByteArray::number(i) + "=a=b=\"" + QByteArray(20, 'x') + "\"\r\n";
        QCOMPARE(file(), expected);

        RenameIniSection("missing", "X", path());
        RenameIniSection("n", "N", path());
        QCOMPARE(file(), expected);
    }

    void renameKey() {
        put("[A]\r\nold = \"a=b=c\" \r\nz=1\r\n");
        RenameIniKey("A", "OLD", "new", path());
        QCOMPARE(file(), QByteArray("[A]\r\nz=1\r\nNEW=\"a=b=c\"\r\n"));
        RenameIniKey("A", "missing", "x", path());
        RenameIniKey("A", "new", "New", path());
        QCOMPARE(file(), QByteArray("[A]\r\nz=1\r\nNEW=\"a=b=c\"\r\n"));
    }

    void sectionListsAreComplete() {
        std::vector<std::string> listed{"kept"};
        LoadIniSectionsLB(listed, path());
        QCOMPARE(listed, std::vector<std::string>{"kept"});

        QByteArray content;
        std::vector<std::string> names{"kept"};
        for (int i = 0; i < 100; ++i) {
            names.push_back(
                QByteArray::number(0x001A2B3C4D00LL + i, 16).rightJustified(12, '0').toStdString());
            content += "[" + bytes(names.back()) + "]\r\nk=1\r\n";
        }
        content += "[" + bytes(names[1]) + "]\r\n[]\r\n[after]\r\n";
        names.push_back(names[1]);
        put(content);
        LoadIniSectionsLB(listed, path());
        QCOMPARE(listed, names);
        QCOMPARE(LoadIniSectionsArray(path()),
                 std::vector<std::string>(names.begin() + 1, names.end()));
    }

    void elementRecordInOneRewrite() {
        int rewrites = 0;
        SetIniCommitHookForTesting([&rewrites] { return ++rewrites, true; });
        WriteSectionToINI("001A2B3C4D5E",
                          {{"name", "STUDIO          "},
                           {"ip", "192.168.1.10"},
                           {"mask", "255.255.255.0"},
                           {"gw", "192.168.1.1"},
                           {"remote", "192.168.1.20"},
                           {"input", "1"},
                           {"type", "1"},
                           {"tx", "0"},
                           {"role", "2"},
                           {"sn", "12345"},
                           {"ver", "2.1"},
                           {"sfn", "0"},
                           {"buf", "3"},
                           {"att", "240"}},
                          path());
        QCOMPARE(rewrites, 1);
        QCOMPARE(file(),
                 QByteArray("[001A2B3C4D5E]\r\nNAME=STUDIO          \r\nIP=192.168.1.10\r\n"
                            "MASK=255.255.255.0\r\nGW=192.168.1.1\r\nREMOTE=192.168.1.20\r\n"
                            "INPUT=1\r\nTYPE=1\r\nTX=0\r\nROLE=2\r\nSN=12345\r\nVER=2.1\r\n"
                            "SFN=0\r\nBUF=3\r\nATT=240\r\n"));
        QCOMPARE(ReadFromINI("001A2B3C4D5E", "name", path()), std::string("STUDIO"));
        QCOMPARE(GetSectionKeyCount("001A2B3C4D5E", path()), std::int16_t(14));

        WriteToINI("001A2B3C4D5E", "att", "240", path());
        QCOMPARE(rewrites, 1); // same value: nothing to rewrite
    }

    void interruptedWriteKeepsOldDatabase() {
        // Left behind by an earlier crash in the middle of a write.
        QFile stale(m_dir.filePath(u".nms.ini.Ab12Cd"_s));
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("[STALE]\r\nK=1\r\n");
        stale.close();

        WriteToINI("A", "k", "1", path());
        QVERIFY(::chmod(path().c_str(), 0640) == 0);
        const QByteArray before = file();
        SetIniCommitHookForTesting([] { return false; });
        WriteToINI("A", "k", "2", path());
        WriteToINI("B", "k", "2", path());
        QCOMPARE(file(), before);
        QCOMPARE(ReadFromINI("A", "k", path()), std::string("1"));
        QCOMPARE(dirEntries(), (QStringList{u".nms.ini.Ab12Cd"_s, u"nms.ini"_s}));

        SetIniCommitHookForTesting({});
        WriteToINI("A", "k", "3", path());
        QCOMPARE(file(), QByteArray("[A]\r\nK=3\r\n"));
        QCOMPARE(LoadIniSectionsArray(path()), std::vector<std::string>{"A"});
        QCOMPARE(dirEntries(), (QStringList{u".nms.ini.Ab12Cd"_s, u"nms.ini"_s}));
        struct stat st {};
        QVERIFY(::stat(path().c_str(), &st) == 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0640));
    }

    void unwritablePathChangesNothing() {
        const std::string missingDir = m_dir.filePath(u"no/such/nms.ini"_s).toStdString();
        WriteToINI("A", "k", "1", missingDir);
        QCOMPARE(ReadFromINI("A", "k", missingDir, "d"), std::string("d"));
        const std::string directory = m_dir.path().toStdString();
        WriteToINI("A", "k", "1", directory);
        QCOMPARE(GetSectionKeyCount("A", directory), std::int16_t(0));
        QVERIFY(dirEntries().isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestIniStore)
#include "test_ini_store.moc"
