// A station window wired to test doubles: scripted boxes, a fixed MAC resolver, a scripted
// echo, a database in a temporary directory, the endpoint on a free loopback port and an
// element peer (sockets in the test) standing for the element's configuration and command ports.
#pragma once

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>
#include <map>
#include <memory>

#include "core/feedback_packet.h"
#include "core/station_settings.h"
#include "fake_dialogs.h"
#include "platform/echo_probe.h"
#include "platform/mac_resolver.h"
#include "station/element_view.h"
#include "ui/main_window.h"

class FixedMacResolver : public varnetix::MacResolver {
public:
    std::map<std::string, std::string> macs; // ip -> MAC text as the lookup gives it
    int attempts = 0;
    int failFirst = 0; // attempts that fail before an address is found

    bool LookupMac(const std::string& ip, std::string& mac, const std::string&) override {
        ++attempts;
        if (failFirst > 0) {
            --failFirst;
            return false;
        }
        const auto found = macs.find(ip);
        if (found == macs.end())
            return false;
        mac = found->second;
        return true;
    }
};

class ScriptedEchoProbe : public varnetix::EchoProbe {
public:
    bool socketsStart = true;
    varnetix::EchoReply reply{0, 1};
    QStringList addresses;
    bool inFlight = false;

    bool StartSockets() override { return socketsStart; }
    void StopSockets() override {}
    bool start(const QString& address) override {
        if (inFlight)
            return false;
        inFlight = true;
        addresses << address;
        QMetaObject::invokeMethod(
            this,
            [this] {
                inFlight = false;
                emit finished(reply);
            },
            Qt::QueuedConnection);
        return true;
    }
    bool busy() const override { return inFlight; }
};

// 192.168.1.10 / 255.255.255.0 / 192.168.1.1, remote 192.168.1.20, Analog, Left/Right,
// Unicast, STUDIO, an encoder with serial 12345, SFN on, buffer 5.
inline varnetix::FeedbackRecord studioEncoder() {
    varnetix::FeedbackRecord r;
    r.ElementIP = "192.168.1.10";
    r.ElementMask = "255.255.255.0";
    r.ElementGW = "192.168.1.1";
    r.RemoteIP = "192.168.1.20";
    r.AudioInput = 1;
    r.ElementName = "STUDIO          ";
    r.ElementRole = 1;
    r.SerialNumber = 12345;
    r.SfnOption = 1;
    r.BufferSize = 5;
    return r;
}

// The record as the element sends it, of the given length and version parts.
inline QByteArray packet(const varnetix::FeedbackRecord& r, std::size_t length = 44,
                         std::uint8_t v1 = 2, std::uint8_t v2 = 1) {
    return QByteArray::fromStdString(varnetix::EncodeFeedback(r, length, v1, v2));
}

struct Station {
    QTemporaryDir dir;
    FakeDialogs dialogs;
    FixedMacResolver resolver;
    ScriptedEchoProbe probe;
    varnetix::StationSettings settings;
    QUdpSocket configPeer;  // stands for the element's configuration port
    QUdpSocket commandPeer; // its command port (attenuation, "VOL")
    std::unique_ptr<varnetix::MainWindow> window;

    // Short intervals so that time-outs happen within a test.
    Station() {
        configPeer.bind(QHostAddress::LocalHost, 0);
        commandPeer.bind(QHostAddress::LocalHost, 0);
        settings.localPort = 0;
        settings.configPort = configPeer.localPort();
        settings.commandPort = commandPeer.localPort();
        settings.pagingDestination = "127.0.0.1";
        settings.pagingOnEveryInterface = false;
        settings.databasePath = dir.filePath(QStringLiteral("nms.ini")).toStdString();
        settings.remoteSentMs = 300;
        settings.macBudgetMs = 300;
        settings.macRetryMs = 10;
        settings.volumeMs = 20;
        settings.pingRetryMs = 20;
        settings.pagingWaitMs = 400;
    }

    QString databasePath() const { return QString::fromStdString(settings.databasePath); }

    void writeDatabase(const QByteArray& content) {
        QFile file(databasePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QByteArray database() const {
        QFile file(databasePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Creates the window and runs its start-up; the empty-database box, if any, is recorded.
    varnetix::MainWindow& start() {
        window = std::make_unique<varnetix::MainWindow>(settings, dialogs, resolver, probe);
        if (!window->Form_Load())
            qFatal("the station could not bind its endpoint");
        dialogs.boxes.clear();
        return *window;
    }

    varnetix::WindowControls& c() { return window->controls(); }
    quint16 stationPort() { return window->udpClient().localPort(); }

    // A datagram to the station, as an element would send it.
    void sendToStation(const QByteArray& data) {
        QUdpSocket sender;
        sender.writeDatagram(data, QHostAddress::LocalHost, stationPort());
    }

    // The next datagram a peer receives, within a bounded wait.
    static QNetworkDatagram receive(QUdpSocket& peer, int timeoutMs = 2000) {
        if (!peer.hasPendingDatagrams())
            (void)QTest::qWaitFor([&] { return peer.hasPendingDatagrams(); }, timeoutMs);
        return peer.hasPendingDatagrams() ? peer.receiveDatagram() : QNetworkDatagram();
    }

    // Clicks the node whose key is the colon form given.
    bool selectNode(const QString& key) {
        auto* tree = c().TreeView1;
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = tree->topLevelItem(i);
            if (item->data(0, Qt::UserRole).toString() == key) {
                window->elementView().NodeClick(key);
                tree->setCurrentItem(item);
                return true;
            }
        }
        return false;
    }
};
