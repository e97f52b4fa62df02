// A station window wired to test doubles: scripted boxes, a fixed MAC resolver, a scripted
// echo, a database in a temporary directory, the endpoint on a free loopback port and sockets
// that stand for an element's configuration and command ports. Widgets and timers are found by
// their established object names.
#pragma once

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QEventLoop>
#include <QGroupBox>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QUdpSocket>
#include <QtTest>
#include <functional>
#include <linux/capability.h>
#include <map>
#include <memory>
#include <optional>
#include <sys/syscall.h>

#include "core/database_backup.h"
#include "core/feedback_packet.h"
#include "core/station_settings.h"
#include "fake_dialogs.h"
#include "platform/echo_probe.h"
#include "platform/echo_sweeper.h"
#include "platform/mac_resolver.h"
#include "platform/preferences_file.h"
#include "station/discovery.h"
#include "station/element_model.h"
#include "station/event_log.h"
#include "station/feedback_handler.h"
#include "ui/indicator_widgets.h"
#include "ui/main_window.h"

// Root reads every file: while this lives, the thread lacks the capabilities that let it, and a
// file's mode keeps the test out as it keeps any other user.
class WithoutReadOverride {
public:
    WithoutReadOverride() {
        ::syscall(SYS_capget, &m_header, m_saved);
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        ::syscall(SYS_capset, &m_header, reduced);
    }
    ~WithoutReadOverride() { ::syscall(SYS_capset, &m_header, m_saved); }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
};

struct FixedMacResolver : varnetix::MacResolver {
    std::map<std::string, std::string> macs;  // ip -> MAC text as the lookup gives it
    std::map<std::string, std::string> fresh; // what the network answers when asked afresh
    int attempts = 0;
    int failFirst = 0; // attempts that fail before an address is found

    bool LookupMac(const std::string& ip, std::string& mac, const std::string&) override {
        ++attempts;
        if ((failFirst > 0 && failFirst--) || !macs.contains(ip))
            return false;
        mac = macs.at(ip);
        return true;
    }
    // Answers as `fresh` holds it when the lookup begins.
    std::unique_ptr<varnetix::FreshMacLookup> lookUpAfresh(const std::string& ip,
                                                           std::string*) override {
        struct Answer : varnetix::FreshMacLookup {
            std::optional<std::string> mac;
            bool poll(std::string& found, const std::string&) override {
                found = mac.value_or(found);
                return mac.has_value();
            }
        };
        auto answer = std::make_unique<Answer>();
        if (fresh.contains(ip))
            answer->mac = fresh.at(ip);
        return answer;
    }
};

struct ScriptedEchoProbe : varnetix::EchoProbe {
    bool socketsStart = true;
    bool refuseStart = false;
    varnetix::EchoReply reply{0, 1};
    QStringList addresses;
    bool inFlight = false;
    bool holdReply = false; // the reply waits for release()
    int stopSocketsCalls = 0;

    bool StartSockets() override { return socketsStart; }
    void StopSockets() override { ++stopSocketsCalls; }
    bool start(const QString& address) override {
        if (inFlight || refuseStart)
            return false;
        inFlight = true;
        addresses << address;
        if (!holdReply)
            QMetaObject::invokeMethod(this, &ScriptedEchoProbe::release, Qt::QueuedConnection);
        return true;
    }
    bool busy() const override { return inFlight; }
    void release() {
        inFlight = false;
        emit finished(reply);
    }
};

// 192.168.1.10 / 255.255.255.0 / 192.168.1.1, remote 192.168.1.20, Analog, Left/Right,
// Unicast, STUDIO, an encoder with serial 12345, SFN on, buffer 5.
inline varnetix::FeedbackRecord studioEncoder() {
    varnetix::FeedbackRecord r;
    r.ElementIP = "192.168.1.10", r.ElementMask = "255.255.255.0", r.ElementGW = "192.168.1.1";
    r.RemoteIP = "192.168.1.20", r.AudioInput = 1, r.ElementName = "STUDIO          ";
    r.ElementRole = 1, r.SerialNumber = 12345, r.SfnOption = 1, r.BufferSize = 5;
    return r;
}

inline const QString kApp = QStringLiteral("Halvoren Varnetix Manager");
inline const QString kMismatch =
    QStringLiteral("The response received does not match the selected element.\r"
                   "Cannot save this element info.");
inline const QString kSuccess =
    QStringLiteral("New configuration has been sucessfuly saved and loaded!");
inline RecordedBox critical(const QString& text, const QString& title = kApp) {
    return {RecordedBox::Critical, title, text};
}
// The box that ends a configuration answer: the success message, or an error.
inline RecordedBox answerBox(const QString& text) {
    return text == kSuccess ? RecordedBox{RecordedBox::Information,
                                          QStringLiteral("Configuration changed"), text}
                            : critical(text);
}
// The box of an empty database; the text differs when there is no file at all.
inline RecordedBox emptyDatabaseBox(bool missing) {
    return {RecordedBox::Information, QStringLiteral("Information"),
            QStringLiteral("Local database is empty.\rPlease click %1'Auto Discover' icon to probe "
                           "the network.")
                .arg(missing ? QString() : QStringLiteral("the "))};
}
// A file's bytes; nothing when it cannot be read.
inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// studioEncoder() as a discovery stores it.
inline const QByteArrayList kStudioEntries =
    QByteArray("NAME=STUDIO          |IP=192.168.1.10|MASK=255.255.255.0|GW=192.168.1.1|"
               "REMOTE=192.168.1.20|INPUT=1|TYPE=0|TX=0|ROLE=1|SN=12345|VER=2.1|SFN=1|BUF=5")
        .split('|');

// The record as the element sends it, of the given length and version parts.
inline QByteArray packet(const varnetix::FeedbackRecord& r, std::size_t length = 44,
                         std::uint8_t v1 = 2, std::uint8_t v2 = 1) {
    return QByteArray::fromStdString(varnetix::EncodeFeedback(r, length, v1, v2));
}

// Records as the station writes them: "[section]" and "KEY=value" lines, CRLF.
inline QByteArray recordText(const QByteArray& section, const QByteArrayList& entries) {
    QByteArray text = '[' + section + "]\r\n";
    for (const QByteArray& entry : entries)
        text += entry + "\r\n";
    return text;
}
// The entries with each change ("KEY=value") in the place of its key's entry, or appended when
// the key is new; "KEY=" alone removes the key.
inline QByteArrayList replaced(QByteArrayList entries, const QByteArrayList& changes) {
    for (const QByteArray& change : changes) {
        const QByteArray key = change.left(change.indexOf('=') + 1);
        const auto at = std::ranges::find_if(entries, [&](auto& e) { return e.startsWith(key); });
        if (at == entries.end())
            entries << change;
        else if (change == key)
            entries.erase(at);
        else
            *at = change;
    }
    return entries;
}
inline const QByteArrayList kEncoderEntries =
    QByteArray("NAME=E1|IP=127.0.0.1|MASK=255.255.255.0|GW=127.0.0.254|REMOTE=10.0.0.9|INPUT=1|"
               "TYPE=1|TX=0|ROLE=1|SN=1234|VER=2.1|SFN=1|BUF=0")
        .split('|');
inline const QByteArrayList kDecoderEntries =
    QByteArray("NAME=D1|IP=127.0.0.1|MASK=255.0.0.0|GW=127.0.0.1|REMOTE=0.0.0.0|INPUT=0|TYPE=0|"
               "TX=0|ROLE=2|SN=77|VER=2|SFN=0|BUF=3|ATT=200")
        .split('|');
inline const QString kEncoderKey = QStringLiteral("00:1A:2B:3C:4D:5E");
inline const QString kDecoderKey = QStringLiteral("00:00:00:00:00:0D");
inline QByteArray sampleDatabase() {
    return recordText("001A2B3C4D5E", kEncoderEntries) +
           recordText("00000000000D", kDecoderEntries);
}

// The watch's echoes, answered from a table: an address that is not in it stays silent.
struct ScriptedSweeper : varnetix::EchoSweeper {
    bool available = true;
    std::map<QString, std::uint32_t> answering; // address -> round trip in ms
    QStringList held;                           // addresses whose echoes never end
    QStringList sent;

    bool open() override { return available; }
    QString unavailableReason() const override { return QStringLiteral("no ICMP socket here"); }
    void send(const QString& address, quint64 token) override {
        sent << address;
        if (held.contains(address))
            return;
        const bool answers = answering.contains(address);
        const varnetix::EchoReply reply{answers ? 0 : 11010, answers ? answering.at(address) : 0};
        QMetaObject::invokeMethod(
            this, [this, token, reply] { emit finished(token, reply); }, Qt::QueuedConnection);
    }
    int inFlight() const override { return 0; }
    void cancelAll() override {}
};

struct Station {
    QTemporaryDir dir;
    FakeDialogs dialogs;
    FixedMacResolver resolver;
    ScriptedEchoProbe probe;
    ScriptedSweeper sweeper;
    bool watched = false; // whether the window gets the sweeper
    varnetix::StationSettings settings;
    QUdpSocket configPeer;  // stands for the element's configuration port
    QUdpSocket commandPeer; // its command port (attenuation, "VOL")
    std::unique_ptr<varnetix::Station> station;
    std::unique_ptr<varnetix::MainWindow> window; // goes before the station it draws on

    // Short intervals so that time-outs happen within a test.
    Station() {
        configPeer.bind(QHostAddress::LocalHost, 0);
        commandPeer.bind(QHostAddress::LocalHost, 0);
        settings.localPort = 0, settings.pagingOnEveryInterface = false;
        settings.configPort = configPeer.localPort();
        settings.commandPort = commandPeer.localPort();
        settings.pagingDestination = "127.0.0.1", settings.watchSecondMs = 50;
        settings.remoteSentMs = 300, settings.macBudgetMs = 300, settings.macRetryMs = 10;
        settings.volumeMs = 20, settings.pingRetryMs = 20, settings.pagingWaitMs = 400;
        // Loopback only, whatever this machine's networks are: no element is off them, and
        // 127.255.255.255 is a network's broadcast address.
        settings.stationNetworks = {{0x7F000000, 0xFF000000}};
        settings.databasePath = dir.filePath(QStringLiteral("nms.ini")).toStdString();
        settings.preferencesPath = dir.filePath(QStringLiteral("varnetix-nms.conf")).toStdString();
        settings.eventLogDirectory = dir.filePath(QStringLiteral("state")).toStdString();
    }

    QString databasePath() const { return QString::fromStdString(settings.databasePath); }
    void writeDatabase(const QByteArray& content) const {
        QFile file(databasePath());
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qFatal("cannot write the test database");
    }
    QByteArray database() const { return readFile(databasePath()); }

    // Creates the station and its window, without starting them.
    varnetix::MainWindow& build() {
        window.reset();
        // The silence watch is off unless a test's preferences turn it on: it would ask every
        // encoder for its level.
        const QString preferences = QString::fromStdString(settings.preferencesPath);
        if (!QFile::exists(preferences))
            varnetix::PreferencesFile(preferences).save({.audioIntervalSeconds = 0});
        station = std::make_unique<varnetix::Station>(settings, dialogs, resolver, probe,
                                                      watched ? &sweeper : nullptr);
        window = std::make_unique<varnetix::MainWindow>(*station);
        return *window;
    }
    // Creates the station and its window and runs the start-up; the boxes of the start-up are
    // forgotten.
    varnetix::MainWindow& start() {
        if (!build().start())
            qFatal("the station could not bind its endpoint");
        dialogs.boxes.clear();
        return *window;
    }
    varnetix::MainWindow& start(const QByteArray& database) {
        writeDatabase(database);
        return start();
    }
    // Shows a window and makes it the active one, as the desktop does when it is clicked.
    static bool activate(QWidget* shown) {
        shown->show();
        QApplication::setActiveWindow(shown);
        return QTest::qWaitForWindowActive(shown);
    }

    template <typename T = QWidget> T* find(const char* name) const {
        T* found = window ? window->findChild<T*>(QLatin1String(name)) : nullptr;
        if (!found)
            found = station->findChild<T*>(QLatin1String(name));
        if (!found)
            qFatal("no object named %s", name);
        return found;
    }
    // The text a control shows: a label's caption, a field's text, a list's selected item, a
    // frame's title.
    QString text(const char* name) const {
        QObject* object = find<QObject>(name);
        for (const char* property : {"currentText", "title", "text"})
            if (object->metaObject()->indexOfProperty(property) >= 0)
                return object->property(property).toString();
        qFatal("%s shows no text", name);
    }
    QTimer* timer(const char* name) const { return find<QTimer>(name); }
    // A list's items.
    QStringList items(const char* name) const {
        QStringList all;
        for (int i = 0; i < find<QComboBox>(name)->count(); ++i)
            all << find<QComboBox>(name)->itemText(i);
        return all;
    }
    // Edits of the panel, each "objectName=value": a list's index or a field's text.
    void edit(const QStringList& edits) const {
        for (const QString& edit : edits) {
            const QByteArray name = edit.section(u'=', 0, 0).toLatin1();
            const QString value = edit.section(u'=', 1);
            if (name.startsWith("cmb"))
                find<QComboBox>(name.constData())->setCurrentIndex(value.toInt());
            else
                find<QLineEdit>(name.constData())->setText(value);
        }
    }
    QAction* button(int index) const {
        return find<QAction>(QStringLiteral("Toolbar1Button%1").arg(index).toLatin1().constData());
    }
    QTreeView* tree() const { return find<QTreeView>("TreeView1"); }
    // The tree's node count, the node at a row, its tooltip, and the node of a colon-form key.
    int rows() const { return tree()->model()->rowCount(); }
    QModelIndex row(int i) const { return tree()->model()->index(i, 0); }
    QString tip(int i) const { return row(i).data(Qt::ToolTipRole).toString(); }
    QModelIndex node(const QString& key) const {
        const auto found = tree()->model()->match(row(0), Qt::UserRole, key, 1, Qt::MatchExactly);
        return found.isEmpty() ? QModelIndex() : found.first();
    }
    // Clicks that node.
    bool selectNode(const QString& key) const {
        const QModelIndex clicked = node(key);
        if (clicked.isValid()) {
            tree()->setCurrentIndex(clicked);
            emit tree()->clicked(clicked);
        }
        return clicked.isValid();
    }
    // The node's state and marks, as assistive technology reads them.
    QString described(const QString& key) const {
        return node(key).data(Qt::AccessibleDescriptionRole).toString();
    }
    // The event log's lines of a category (and of a severity, where one is given), each
    // "element text".
    QStringList logged(const char* category,
                       std::optional<varnetix::EventSeverity> severity = {}) const {
        QStringList lines;
        for (const auto& line : station->findChild<varnetix::EventLog*>()->lines())
            if (line.category == QLatin1String(category) &&
                line.severity == severity.value_or(line.severity))
                lines << line.element + u' ' + line.text;
        return lines;
    }

    varnetix::FeedbackHandler* feedback() const { return &station->feedback(); }
    // Sends a datagram to the station and waits until it, and all that queued behind it, are
    // handled. The application's own kind of loop waits for events instead of polling for them.
    bool deliver(const QByteArray& datagram, int timeoutMs = 5000) const {
        QEventLoop loop;
        bool finished = false;
        QObject::connect(feedback(), &varnetix::FeedbackHandler::packetFinished, &loop, [&] {
            finished = true;
            if (feedback()->idle())
                loop.quit();
        });
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        sendToStation(datagram);
        loop.exec();
        return finished && feedback()->idle();
    }
    // One discovery run, its question answered Yes. `during` runs while the run waits for
    // answers, and the paging window is closed when it returns; without it the run waits its
    // whole time.
    void discover(const std::function<void()>& during = {}) {
        dialogs.answers.enqueue(true);
        auto* run = &station->discovery();
        const auto started = QObject::connect(run, &varnetix::Discovery::runStarted, run, [&] {
            if (during)
                QTimer::singleShot(0, run, [&] {
                    during();
                    find<QDialog>("frmPaging")->reject();
                });
        });
        button(1)->trigger();
        QObject::disconnect(started);
    }

    quint16 stationPort() const { return find<varnetix::UdpEndpoint>("udpClient")->localPort(); }
    // A datagram to the station, as an element would send it.
    void sendToStation(const QByteArray& data) const {
        QUdpSocket sender;
        sender.writeDatagram(data, QHostAddress::LocalHost, stationPort());
    }
    // The next datagram a peer receives, within a bounded wait.
    static QNetworkDatagram receive(QUdpSocket& peer, int timeoutMs = 2000) {
        if (!peer.hasPendingDatagrams())
            (void)QTest::qWaitFor([&] { return peer.hasPendingDatagrams(); }, timeoutMs);
        return peer.hasPendingDatagrams() ? peer.receiveDatagram() : QNetworkDatagram();
    }
};
