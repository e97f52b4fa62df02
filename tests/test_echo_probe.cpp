// The Linux ICMP echo: a real echo on loopback, addresses that send nothing, and, inside
// network namespaces of its own, a silent neighbour, router errors and local route errors.
#include "network_namespace.h"
#include "platform/linux_echo_probe.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;
using varnetix::EchoReply;
using varnetix::LinuxEchoProbe;
using Kind = varnetix::LinuxEchoProbe::SocketKind;

Q_DECLARE_METATYPE(Kind)

namespace {

QString kindName(Kind kind) {
    switch (kind) {
    case Kind::Datagram:
        return u"dgram"_s;
    case Kind::Raw:
        return u"raw"_s;
    case Kind::None:
        break;
    }
    return u"any"_s;
}

EchoReply replyOf(const QSignalSpy& spy) {
    return spy.constFirst().constFirst().value<EchoReply>();
}

} // namespace

class TestEchoProbe : public QObject {
    Q_OBJECT

private slots:
    void loopbackEcho_data();
    void loopbackEcho();
    void noHostAddressSendsNothing_data();
    void noHostAddressSendsNothing();
    void stopWhileInFlightEndsOnce();
    void stopWithNothingOpenIsHarmless();
    void inNamespace_data();
    void inNamespace();
    void cleanupTestCase();

private:
    bool setUpNamespaces();

    TestNamespaces m_namespaces;
    QString m_host;
    QString m_router;
    QString m_setupError;
    bool m_setUp = false;
};

void TestEchoProbe::loopbackEcho_data() {
    QTest::addColumn<Kind>("kind");
    QTest::newRow("first that opens") << Kind::None;
    QTest::newRow("datagram") << Kind::Datagram;
    QTest::newRow("raw") << Kind::Raw;
}

void TestEchoProbe::loopbackEcho() {
    QFETCH(Kind, kind);
    LinuxEchoProbe probe(kind);
    if (!probe.StartSockets()) {
        QSKIP("no ICMP socket of this kind may be opened here (ICMP datagram sockets need "
              "net.ipv4.ping_group_range to include our group, raw sockets CAP_NET_RAW)");
    }
    QVERIFY(probe.socketKind() != Kind::None);
    if (kind != Kind::None)
        QCOMPARE(probe.socketKind(), kind);

    QSignalSpy spy(&probe, &varnetix::EchoProbe::finished);
    QVERIFY(probe.start(u"127.0.0.1"_s));
    QCOMPARE(spy.count(), 0); // never from inside start()
    QVERIFY(probe.busy());
    QVERIFY(!probe.start(u"127.0.0.1"_s)); // one echo at a time

    QVERIFY(spy.wait(3000));
    QCOMPARE(replyOf(spy).status, 0);
    QVERIFY(replyOf(spy).roundTripMs < 1000);
    QVERIFY(!probe.busy());
    QVERIFY(!spy.wait(50)); // exactly once

    // The socket serves a second echo; the first one's leftovers are not taken for it.
    QVERIFY(probe.start(u"127.0.0.1"_s));
    QVERIFY(spy.wait(3000));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).constFirst().value<EchoReply>().status, 0);
    probe.StopSockets();
    QCOMPARE(probe.socketKind(), Kind::None);
}

void TestEchoProbe::noHostAddressSendsNothing_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("withSocket");
    for (const bool withSocket : {true, false}) {
        const char* suffix = withSocket ? ", socket open" : ", no socket";
        QTest::addRow("0.0.0.0%s", suffix) << u"0.0.0.0"_s << withSocket;
        QTest::addRow("255.255.255.255%s", suffix) << u"255.255.255.255"_s << withSocket;
        QTest::addRow("text%s", suffix) << u"element"_s << withSocket;
        QTest::addRow("empty%s", suffix) << QString() << withSocket;
        QTest::addRow("three parts%s", suffix) << u"127.0.1"_s << withSocket;
    }
    // A host address with no socket to send it from.
    QTest::addRow("127.0.0.1, no socket") << u"127.0.0.1"_s << false;
}

void TestEchoProbe::noHostAddressSendsNothing() {
    QFETCH(QString, address);
    QFETCH(bool, withSocket);
    LinuxEchoProbe probe;
    if (withSocket && !probe.StartSockets())
        QSKIP("no ICMP socket may be opened here");

    QSignalSpy spy(&probe, &varnetix::EchoProbe::finished);
    QVERIFY(probe.start(address));
    QCOMPARE(spy.count(), 0);
    QVERIFY(probe.busy());
    QVERIFY(spy.wait(1000));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(replyOf(spy).status, -1);
    QCOMPARE(replyOf(spy).roundTripMs, 0u);
    QVERIFY(!probe.busy());
    QVERIFY(!spy.wait(50));
}

void TestEchoProbe::stopWhileInFlightEndsOnce() {
    LinuxEchoProbe probe;
    if (!probe.StartSockets())
        QSKIP("no ICMP socket may be opened here");
    QSignalSpy spy(&probe, &varnetix::EchoProbe::finished);
    QVERIFY(probe.start(u"127.0.0.1"_s));
    probe.StopSockets();
    QCOMPARE(spy.count(), 0);
    QVERIFY(spy.wait(1000));
    QCOMPARE(replyOf(spy).status, 11050);
    QVERIFY(!spy.wait(1200)); // not the time-out as well
    QCOMPARE(spy.count(), 1);
}

void TestEchoProbe::stopWithNothingOpenIsHarmless() {
    LinuxEchoProbe probe;
    probe.StopSockets();
    probe.StopSockets();
    QCOMPARE(probe.socketKind(), Kind::None);
    QVERIFY(!probe.busy());
}

bool TestEchoProbe::setUpNamespaces() {
    if (m_setUp)
        return true;
    if (!m_setupError.isEmpty())
        return false;
    // Our side: 198.18.200.1/24 with the router 198.18.200.2 as default gateway, and three
    // local routes that refuse at once. The router has no route to 198.18.210.0/24 and an
    // "unreachable" one to 198.18.211.0/24, so it answers with ICMP errors.
    m_host = m_namespaces.create(u"echo-host"_s);
    m_router = m_host.isEmpty() ? QString() : m_namespaces.create(u"echo-router"_s);
    const QStringList hostSteps{
        u"link add va type veth peer name vb netns "_s + m_router,
        u"addr add 198.18.200.1/24 dev va"_s,
        u"link set va up"_s,
    };
    const QStringList routerSteps{
        u"addr add 198.18.200.2/24 dev vb"_s,
        u"link set vb up"_s,
        u"route add unreachable 198.18.211.0/24"_s,
    };
    const QStringList routeSteps{
        u"route add default via 198.18.200.2"_s,
        u"route add unreachable 198.18.212.0/24"_s,
        u"route add prohibit 198.18.213.0/24"_s,
        u"route add throw 198.18.214.0/24"_s,
    };
    bool ok = !m_router.isEmpty();
    for (const QString& step : hostSteps)
        ok = ok && m_namespaces.ipIn(m_host, step);
    for (const QString& step : routerSteps)
        ok = ok && m_namespaces.ipIn(m_router, step);
    for (const QString& step : routeSteps)
        ok = ok && m_namespaces.ipIn(m_host, step);
    // Written through /proc/sys of the namespace, so no sysctl tool is needed.
    const auto sysctl = [this](const QString& ns, const QString& key, const QString& value) {
        return m_namespaces.exec(
            ns, {u"sh"_s, u"-c"_s, u"echo '%1' > /proc/sys/net/ipv4/%2"_s.arg(value, key)});
    };
    ok = ok && sysctl(m_host, u"ping_group_range"_s, u"0 2147483647"_s) &&
         sysctl(m_router, u"ip_forward"_s, u"1"_s) && sysctl(m_router, u"icmp_ratelimit"_s, u"0"_s);
    if (!ok) {
        m_setupError = m_namespaces.lastError();
        m_namespaces.removeAll();
        return false;
    }
    m_setUp = true;
    return true;
}

void TestEchoProbe::inNamespace_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("sent"); // echo requests the kernel counted; -1: not checked
    QTest::addColumn<QString>("data");

    for (const Kind kind : {Kind::Datagram, Kind::Raw}) {
        const QString name = kindName(kind);
        const auto row = [&](const char* what) -> QTestData& {
            return QTest::newRow(qPrintable(name + u", "_s + QLatin1String(what)));
        };
        // Only the request's own payload: "hello", no terminating zero.
        row("own address answers") << name << u"198.18.200.1"_s << 0 << 1 << u"68656c6c6f"_s;
        row("silent neighbour times out") << name << u"198.18.200.99"_s << 11010 << 1 << u"-"_s;
        row("router has no route") << name << u"198.18.210.1"_s << 11002 << 1 << u"-"_s;
        row("router route unreachable") << name << u"198.18.211.1"_s << 11003 << 1 << u"-"_s;
        row("local route unreachable") << name << u"198.18.212.1"_s << 11003 << -1 << u"-"_s;
        row("local route prohibited") << name << u"198.18.213.1"_s << 11050 << -1 << u"-"_s;
        row("local route thrown") << name << u"198.18.214.1"_s << 11002 << -1 << u"-"_s;
        row("0.0.0.0") << name << u"0.0.0.0"_s << -1 << 0 << u"-"_s;
        row("broadcast") << name << u"255.255.255.255"_s << -1 << 0 << u"-"_s;
    }
}

void TestEchoProbe::inNamespace() {
    QFETCH(QString, kind);
    QFETCH(QString, address);
    QFETCH(int, status);
    QFETCH(int, sent);
    QFETCH(QString, data);

    const QString why = TestNamespaces::unavailableReason();
    if (!why.isEmpty())
        QSKIP(qPrintable(why));
    if (!setUpNamespaces())
        QFAIL(qPrintable(u"could not set up the test namespaces: "_s + m_setupError));
    const QString cli = TestNamespaces::helperProgram(u"echo_probe_cli"_s);
    QVERIFY2(QFileInfo::exists(cli), qPrintable(cli + u" is missing"_s));

    QString output;
    m_namespaces.exec(m_host, {cli, address, kind}, &output);
    output = output.trimmed();
    static const QRegularExpression pattern(
        uR"(^status=(-?\d+) rtt=(\d+) sent=(-?\d+) data=(\S+)$)"_s);
    const QRegularExpressionMatch match = pattern.match(output);
    QVERIFY2(match.hasMatch(),
             qPrintable(u"unexpected output: "_s + output + u" "_s + m_namespaces.lastError()));
    QCOMPARE(match.captured(1).toInt(), status);
    if (status != 0)
        QCOMPARE(match.captured(2).toInt(), 0);
    if (sent >= 0)
        QCOMPARE(match.captured(3).toInt(), sent);
    QCOMPARE(match.captured(4), data);
}

void TestEchoProbe::cleanupTestCase() {
    m_namespaces.removeAll();
}

QTEST_GUILESS_MAIN(TestEchoProbe)
#include "test_echo_probe.moc"
