// The network diagnostics adapters in a network of their own (network_namespace.h): the ping
// test's echo probe and the sweeper that keeps many echoes in flight, each on both kinds of
// socket, and the neighbour table lookup.
#include "network_namespace.h"
#include "platform/linux_echo_probe.h"
#include "platform/linux_echo_sweeper.h"
#include "platform/mac_resolver.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;
using varnetix::EchoReply;
using Kind = varnetix::IcmpSocketKind;

class TestDiagnosticsAdapters : public QObject {
    Q_OBJECT

private slots:
    // First, while the neighbour table holds only what it makes.
    void macLookup_data();
    void macLookup();
    void freshLookup();
    void probe_data();
    void probe();
    void socketChoice_data();
    void socketChoice();
    void sweeper_data();
    void sweeper();
};

void TestDiagnosticsAdapters::macLookup_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<int>("attempts");
    QTest::addColumn<QString>("found"); // "-" for none
    QTest::addColumn<int>("datagrams"); // sent to provoke ARP; -1: at least one
    const auto row = [](const char* name, const char* address, const char* delimiter, int attempts,
                        const QString& found, int datagrams) {
        QTest::newRow(name) << QString::fromLatin1(address) << QString::fromLatin1(delimiter)
                            << attempts << found << datagrams;
    };
    // Unknown at first: the first attempt provokes ARP, a later one finds the answer. A known
    // address is found without sending anything.
    row("peer", "198.18.200.2", ":", 40, TestNetwork::kPeerMac, -1);
    // Never answers: every attempt provokes once more, none finds it.
    row("silent address", "198.18.200.99", ":", 10, u"-"_s, 10);
    row("first four bytes zero", "198.18.200.50", ":", 1, u"-"_s, 1);
    row("permanent, no delimiter", "198.18.200.51", "", 1, u"021A2B3C4D0A"_s, 0);
    row("stale, dashes", "198.18.200.52", "-", 1, u"02-00-00-00-00-52"_s, 0);
    // Not resolved by ARP, or a group of hosts: never an element's address.
    row("noarp", "198.18.200.53", ":", 1, u"-"_s, 1);
    row("multicast, permanent", "198.18.200.54", ":", 1, u"-"_s, 1);
    row("multicast group", "224.0.0.251", ":", 2, u"-"_s, 0);
    for (const char* address : {"0.0.0.0", "255.255.255.255", "198.18.200", ""})
        row(address, address, ":", 3, u"-"_s, 0);
}

void TestDiagnosticsAdapters::macLookup() {
    QFETCH(QString, address);
    QFETCH(QString, delimiter);
    QFETCH(int, attempts);
    QFETCH(QString, found);
    QFETCH(int, datagrams);
    varnetix::LinuxMacResolver resolver;
    const long long before = TestNetwork::snmp("Udp", "OutDatagrams");
    std::string mac = "untouched";
    bool hit = false;
    for (int made = 0; made < attempts && !hit; ++made) {
        if (made > 0) // in place of the station's retry timer
            QTest::qWait(50);
        hit = resolver.LookupMac(address.toStdString(), mac, delimiter.toStdString());
    }
    // A failed lookup leaves the caller's text alone.
    QCOMPARE(QString::fromStdString(mac), hit ? found : u"untouched"_s);
    QCOMPARE(hit, found != u"-"_s);
    const long long sent = TestNetwork::snmp("Udp", "OutDatagrams") - before;
    QVERIFY2(datagrams >= 0 ? sent == datagrams : sent >= 1, qPrintable(QString::number(sent)));
}

// Asked afresh, the network names the peer for its second address, which the neighbour table
// holds with another MAC, and nobody for an address nobody holds. Without CAP_NET_RAW, or for an
// address on none of the station's networks, there is no one to ask.
void TestDiagnosticsAdapters::freshLookup() {
    varnetix::LinuxMacResolver resolver;
    std::string mac, why;
    QVERIFY(resolver.LookupMac("198.18.200.3", mac, ":"));
    QCOMPARE(QString::fromStdString(mac), u"02:00:00:00:00:03"_s);
    const auto answer = [&](const char* address) {
        const auto lookup = resolver.lookUpAfresh(address, &why);
        bool found = false;
        for (int made = 0; lookup && made < 20 && !(found = lookup->poll(mac, ":")); ++made)
            QTest::qWait(50);
        return found ? QString::fromStdString(mac) : u"-"_s;
    };
    QCOMPARE(answer("198.18.200.3"), TestNetwork::kPeerMac);
    QCOMPARE(answer("198.18.200.99"), u"-"_s);
    QVERIFY(!resolver.lookUpAfresh("10.9.9.9", &why));
    QCOMPARE(QString::fromStdString(why),
             u"10.9.9.9 is on none of this station's Ethernet networks"_s);
    QVERIFY(TestNetwork::setRawCapability(false));
    const bool refused = !resolver.lookUpAfresh("198.18.200.3", &why);
    QVERIFY(TestNetwork::setRawCapability(true) && refused);
    QCOMPARE(QString::fromStdString(why),
             u"this station may not send ARP requests (it needs the capability cap_net_raw)"_s);
}

void TestDiagnosticsAdapters::probe_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("sent"); // echo requests the kernel counted
    for (const Kind kind : {Kind::Datagram, Kind::Raw}) {
        const auto row = [kind](const char* what, const char* address, int status, int sent) {
            QTest::addRow("%s, %s", kind == Kind::Raw ? "raw" : "dgram", what)
                << kind << QString::fromLatin1(address) << status << sent;
        };
        row("peer answers", "198.18.200.2", 0, 1);
        row("silent host", "198.18.201.5", 11010, 1);
        row("router has no route", "198.18.210.1", 11002, 1);
        row("router route unreachable", "198.18.211.1", 11003, 1);
        row("local route unreachable", "198.18.212.1", 11003, 0);
        row("local route prohibited", "198.18.213.1", 11050, 0);
        row("local route thrown", "198.18.214.1", 11002, 0);
        row("0.0.0.0", "0.0.0.0", -1, 0);
        row("broadcast", "255.255.255.255", -1, 0);
    }
}

void TestDiagnosticsAdapters::probe() {
    QFETCH(Kind, kind);
    QFETCH(QString, address);
    QFETCH(int, status);
    QFETCH(int, sent);
    varnetix::LinuxEchoProbe probe(kind);
    QVERIFY(probe.StartSockets());
    Puppet puppet;
    const long long before = TestNetwork::snmp("Icmp", "OutEchos");
    QSignalSpy spy(&probe, &varnetix::EchoProbe::finished);
    QVERIFY(probe.start(address) && !probe.start(address)); // one echo at a time
    QCOMPARE(spy.count(), 0);                               // never from inside start()
    if (address == u"198.18.201.5"_s) { // it answers, but not with "hello": no answer
        QList<QByteArray> requests;
        QVERIFY(QTest::qWaitFor([&] { return !(requests += puppet.requests()).isEmpty(); }, 500));
        puppet.answer(requests[0].left(28) + "HELLO");
    }
    QVERIFY(spy.wait(3000));
    QVERIFY(!spy.wait(50));
    const auto reply = spy[0][0].value<EchoReply>();
    QCOMPARE(reply.status, status);
    QVERIFY(status == 0 ? reply.roundTripMs < 1000 : reply.roundTripMs == 0);
    QCOMPARE(TestNetwork::snmp("Icmp", "OutEchos") - before, sent);
}

void TestDiagnosticsAdapters::socketChoice_data() {
    QTest::addColumn<bool>("pingGroup");  // our group in net.ipv4.ping_group_range
    QTest::addColumn<bool>("rawAllowed"); // CAP_NET_RAW
    QTest::addColumn<Kind>("chosen");
    QTest::newRow("both") << true << true << Kind::Datagram;
    QTest::newRow("ping group only") << true << false << Kind::Datagram;
    QTest::newRow("raw only") << false << true << Kind::Raw;
    QTest::newRow("neither") << false << false << Kind::None;
}

void TestDiagnosticsAdapters::socketChoice() {
    QFETCH(bool, pingGroup);
    QFETCH(bool, rawAllowed);
    QFETCH(Kind, chosen);
    const auto restore = qScopeGuard([] {
        TestNetwork::setRawCapability(true);
        TestNetwork::writeSysctl("ping_group_range", "0 2147483647");
    });
    QVERIFY(TestNetwork::writeSysctl("ping_group_range", pingGroup ? "0 2147483647" : "1 0"));
    QVERIFY(TestNetwork::setRawCapability(rawAllowed));
    varnetix::LinuxEchoProbe probe;
    varnetix::LinuxEchoSweeper sweeper;
    QCOMPARE(probe.StartSockets(), chosen != Kind::None);
    QCOMPARE(sweeper.open(), chosen != Kind::None);
    QCOMPARE(probe.socketKind(), chosen);
    QCOMPARE(sweeper.socketKind(), chosen);
    QCOMPARE(sweeper.unavailableReason(),
             chosen != Kind::None
                 ? QString()
                 : u"No ICMP echo: datagram socket refused (Permission denied; see "
                   "net.ipv4.ping_group_range), raw socket refused (Operation not permitted; "
                   "needs CAP_NET_RAW)"_s);
    QSignalSpy spy(&sweeper, &varnetix::EchoSweeper::finished); // without a socket too
    sweeper.send(u"198.18.200.2"_s, 7);
    QVERIFY(spy.wait(1000));
    QCOMPARE(spy[0][1].value<EchoReply>().status, chosen == Kind::None ? -1 : 0);
}

void TestDiagnosticsAdapters::sweeper_data() {
    QTest::addColumn<Kind>("kind");
    QTest::newRow("dgram") << Kind::Datagram;
    QTest::newRow("raw") << Kind::Raw;
}

void TestDiagnosticsAdapters::sweeper() {
    QFETCH(Kind, kind);
    constexpr int kTimeoutMs = 800;
    varnetix::LinuxEchoSweeper sweeper(kind);
    QVERIFY(sweeper.open());
    sweeper.setTimeoutMs(kTimeoutMs);
    Puppet puppet;
    QElapsedTimer clock;
    QMap<quint64, std::pair<EchoReply, qint64>> results; // and when each came
    connect(&sweeper, &varnetix::EchoSweeper::finished, this, [&](quint64 token, EchoReply reply) {
        QVERIFY2(!results.contains(token), "a second result");
        results.insert(token, {reply, clock.elapsed()});
    });
    // Echo i and its outcome; the puppet holds 198.18.201.5.
    const QList<std::pair<const char*, int>> echoes{
        {"198.18.200.2", 0},     {"198.18.200.99", 11010}, {"198.18.211.1", 11003},
        {"198.18.212.1", 11003}, {"0.0.0.0", -1},          {"198.18.201.5", 11010},
        {"198.18.201.5", 0},     {"198.18.200.2", 0}};
    clock.start();
    for (int i = 0; i < echoes.size(); ++i)
        sweeper.send(QString::fromLatin1(echoes[i].first), i);
    QCOMPARE(results.size(), 0); // never from inside send()
    QCOMPARE(sweeper.inFlight(), echoes.size());
    QList<QByteArray> requests;
    QVERIFY(QTest::qWaitFor([&] { return (requests += puppet.requests()).size() == 2; }, 500));
    puppet.answer(requests[0], "198.18.201.6");                // not from the host asked: no answer
    puppet.answer(requests[0], "198.18.201.5", 1);             // another identifier: not ours
    puppet.answer(requests[0].left(28) + QByteArray(16, 'x')); // other data: forged
    puppet.answer(requests[1]);
    puppet.answer(requests[1]); // a duplicate
    QTRY_COMPARE_WITH_TIMEOUT(sweeper.inFlight(), 0, 3000);
    // A late answer to echo 5 is not taken for a new one to the same host.
    sweeper.send(u"198.18.201.5"_s, 8);
    QVERIFY(QTest::qWaitFor([&] { return (requests += puppet.requests()).size() == 3; }, 500));
    puppet.answer(requests[0]);
    QTest::qWait(100);
    QCOMPARE(sweeper.inFlight(), 1);
    puppet.answer(requests[2]);
    QTRY_COMPARE(results.size(), echoes.size() + 1);
    QCOMPARE(results.value(8).first.status, 0);
    for (int i = 0; i < echoes.size(); ++i) {
        const auto [reply, at] = results.value(i);
        QCOMPARE(reply.status, echoes[i].second);
        // A silent host holds no other result back.
        QVERIFY2(reply.status == 11010 ? at >= kTimeoutMs : at < kTimeoutMs / 2,
                 qPrintable(u"echo %1 after %2 ms"_s.arg(i).arg(at)));
        QVERIFY(reply.roundTripMs <= (reply.status == 0 ? at : 0));
    }
    QVERIFY(requests[2].mid(28) != requests[0].mid(28)); // data of its own
    QCOMPARE(sweeper.rejectedReplies(), 4u); // from another host, forged, repeated, late
}

int main(int argc, char** argv) {
    TestDiagnosticsAdapters test;
    return runNetworkTest(test, argc, argv);
}
#include "test_diagnostics_adapters.moc"
