// The neighbour table lookup: addresses that never leave the machine, and, inside two network
// namespaces joined by a veth pair, a real neighbour, a silent address and entries of every
// kind of state.
#include "network_namespace.h"
#include "platform/mac_resolver.h"

#include <QRegularExpression>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;

class TestMacResolver : public QObject {
    Q_OBJECT

private slots:
    void notAHostGivesFalse_data();
    void notAHostGivesFalse();
    void inNamespace_data();
    void inNamespace();
    void cleanupTestCase();

private:
    bool setUpNamespaces();

    TestNamespaces m_namespaces;
    QString m_near;
    QString m_far;
    QString m_peerMac; // upper-case colon form of the far end of the veth
    QString m_setupError;
    bool m_setUp = false;
};

void TestMacResolver::notAHostGivesFalse_data() {
    QTest::addColumn<QString>("address");
    QTest::newRow("0.0.0.0") << u"0.0.0.0"_s;
    QTest::newRow("text") << u"element"_s;
    QTest::newRow("empty") << QString();
    QTest::newRow("loopback has no neighbour entry") << u"127.0.0.1"_s;
}

void TestMacResolver::notAHostGivesFalse() {
    QFETCH(QString, address);
    varnetix::LinuxMacResolver resolver;
    std::string mac = "untouched";
    QVERIFY(!resolver.LookupMac(address.toStdString(), mac, ":"));
    QCOMPARE(mac, std::string("untouched"));
}

bool TestMacResolver::setUpNamespaces() {
    if (m_setUp)
        return true;
    if (!m_setupError.isEmpty())
        return false;
    m_near = m_namespaces.create(u"mac-near"_s);
    m_far = m_near.isEmpty() ? QString() : m_namespaces.create(u"mac-far"_s);
    bool ok = !m_far.isEmpty();
    const QStringList nearSteps{
        u"link add va type veth peer name vb netns "_s + m_far,
        u"addr add 198.18.201.1/24 dev va"_s,
        u"link set va up"_s,
        // Entries the kernel would not make by itself: one per state the lookup must tell apart.
        u"neigh add 198.18.201.50 lladdr 00:00:00:00:12:34 dev va nud permanent"_s,
        u"neigh add 198.18.201.51 lladdr 02:1a:2b:3c:4d:0a dev va nud permanent"_s,
        u"neigh add 198.18.201.52 lladdr 02:00:00:00:00:52 dev va nud stale"_s,
        u"neigh add 198.18.201.53 lladdr 02:00:00:00:00:53 dev va nud noarp"_s,
        u"neigh add 198.18.201.54 lladdr 02:00:00:00:00:54 dev va nud failed"_s,
        u"neigh add 198.18.201.55 dev va nud incomplete"_s,
    };
    for (const QString& step : nearSteps)
        ok = ok && m_namespaces.ipIn(m_near, step);
    ok = ok && m_namespaces.ipIn(m_far, u"addr add 198.18.201.2/24 dev vb"_s) &&
         m_namespaces.ipIn(m_far, u"link set vb up"_s);
    QString link;
    ok = ok && m_namespaces.ipIn(m_far, u"-o link show dev vb"_s, &link);
    if (ok) {
        static const QRegularExpression ether(uR"(link/ether ([0-9a-f]{2}(?::[0-9a-f]{2}){5}))"_s);
        m_peerMac = ether.match(link).captured(1).toUpper();
        ok = !m_peerMac.isEmpty();
        if (!ok)
            m_setupError = u"no hardware address in: "_s + link;
    } else {
        m_setupError = m_namespaces.lastError();
    }
    if (!ok) {
        m_namespaces.removeAll();
        return false;
    }
    m_setUp = true;
    return true;
}

void TestMacResolver::inNamespace_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<int>("attempts");
    QTest::addColumn<QString>("found");    // "<peer>" for the far end's own address, "-" none
    QTest::addColumn<int>("attemptsMade"); // -1: not checked
    QTest::addColumn<int>("datagrams");    // -1: at least one

    // Unknown at first: the first attempt provokes ARP, a later one finds the answer (~2 s).
    QTest::newRow("answering neighbour")
        << u"198.18.201.2"_s << u":"_s << 40 << u"<peer>"_s << -1 << -1;
    // Known now: found at the first attempt, nothing sent.
    QTest::newRow("known neighbour, dashes")
        << u"198.18.201.2"_s << u"-"_s << 1 << u"<peer>"_s << 1 << 0;
    // Never answers: every attempt provokes once more, none finds it.
    QTest::newRow("silent address") << u"198.18.201.99"_s << u":"_s << 10 << u"-"_s << 10 << 10;
    QTest::newRow("0.0.0.0") << u"0.0.0.0"_s << u":"_s << 3 << u"-"_s << 3 << 0;
    QTest::newRow("broadcast") << u"255.255.255.255"_s << u":"_s << 3 << u"-"_s << 3 << 0;
    QTest::newRow("not an address") << u"198.18.201"_s << u":"_s << 3 << u"-"_s << 3 << 0;
    QTest::newRow("first four bytes zero") << u"198.18.201.50"_s << u":"_s << 1 << u"-"_s << 1 << 1;
    QTest::newRow("permanent") << u"198.18.201.51"_s << u":"_s << 1 << u"02:1A:2B:3C:4D:0A"_s << 1
                               << 0;
    QTest::newRow("permanent, no delimiter")
        << u"198.18.201.51"_s << QString() << 1 << u"021A2B3C4D0A"_s << 1 << 0;
    QTest::newRow("stale") << u"198.18.201.52"_s << u":"_s << 1 << u"02:00:00:00:00:52"_s << 1 << 0;
    QTest::newRow("noarp") << u"198.18.201.53"_s << u":"_s << 1 << u"02:00:00:00:00:53"_s << 1 << 0;
    QTest::newRow("failed") << u"198.18.201.54"_s << u":"_s << 1 << u"-"_s << 1 << 1;
    QTest::newRow("incomplete") << u"198.18.201.55"_s << u":"_s << 1 << u"-"_s << 1 << 1;
}

void TestMacResolver::inNamespace() {
    QFETCH(QString, address);
    QFETCH(QString, delimiter);
    QFETCH(int, attempts);
    QFETCH(QString, found);
    QFETCH(int, attemptsMade);
    QFETCH(int, datagrams);

    const QString why = TestNamespaces::unavailableReason();
    if (!why.isEmpty())
        QSKIP(qPrintable(why));
    if (!setUpNamespaces())
        QFAIL(qPrintable(u"could not set up the test namespaces: "_s + m_setupError));
    const QString cli = TestNamespaces::helperProgram(u"mac_lookup_cli"_s);
    QVERIFY2(QFileInfo::exists(cli), qPrintable(cli + u" is missing"_s));

    if (found == u"<peer>"_s)
        found = QString(m_peerMac).replace(u':', delimiter);
    QString output;
    m_namespaces.exec(m_near, {cli, address, delimiter, QString::number(attempts), u"50"_s},
                      &output);
    output = output.trimmed();
    static const QRegularExpression pattern(uR"(^found=(\S*) attempts=(\d+) udp=(\d+)$)"_s);
    const QRegularExpressionMatch match = pattern.match(output);
    QVERIFY2(match.hasMatch(),
             qPrintable(u"unexpected output: "_s + output + u" "_s + m_namespaces.lastError()));
    QCOMPARE(match.captured(1), found);
    if (attemptsMade >= 0)
        QCOMPARE(match.captured(2).toInt(), attemptsMade);
    if (datagrams >= 0)
        QCOMPARE(match.captured(3).toInt(), datagrams);
    else
        QVERIFY(match.captured(3).toInt() >= 1);
}

void TestMacResolver::cleanupTestCase() {
    m_namespaces.removeAll();
}

QTEST_GUILESS_MAIN(TestMacResolver)
#include "test_mac_resolver.moc"
