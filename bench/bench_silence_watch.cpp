// Benchmark, not a test: the station's silence watch over 200 encoders on loopback. One child
// process plays every encoder: it binds 127.0.1.1 to 127.0.1.200 on one port and answers each
// "VOL" with 1440 bytes from the address it was sent to, a sine at -20 dBFS, or silence for
// every tenth encoder. A whole Station (no window) asks them once a second with the default
// preferences and prints, every 10 rounds, the answers received and attributed, the longest
// event the loop delivered (wall and CPU time) and the longest block (lateness of a 1 ms timer)
// per round; at the end, the silent and unknown counts and the growth of VmRSS from round 10.
//
//   bench_silence_watch [--seconds S (60)] [--encoders N (200)]
#include "event_timing.h"
#include "station/silence_watch.h"
#include "station/station.h"
#include "station_fixture.h"
#include "tools/element_sim/element_simulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using varnetix::bench::vmRssKb;
using TimedApplication = varnetix::bench::TimedApplication<QCoreApplication>;

QString encoderAddress(int i) {
    return QStringLiteral("127.0.1.%1").arg(i + 1);
}

QByteArray section(int i) {
    return "02000000" + QByteArray::number(i, 16).toUpper().rightJustified(4, '0');
}

bool silentEncoder(int i) {
    return i % 10 == 0;
}

// The child: every encoder's socket, answered until the parent ends it. Writes the port to
// `report` once every socket is bound (0 when one could not be).
[[noreturn]] void playEncoders(int count, int report) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    const QByteArray sine = varnetix::sim::sineDatagram(varnetix::sim::levelPeak(-20));
    const QByteArray silence(1440, '\0');
    std::vector<pollfd> sockets;
    quint16 port = 0;
    for (int i = 0; i < count; ++i) {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        ::inet_pton(AF_INET, qPrintable(encoderAddress(i)), &address.sin_addr);
        socklen_t length = sizeof address;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            port = 0;
            (void)::write(report, &port, sizeof port);
            ::_exit(1);
        }
        port = ntohs(address.sin_port);
        sockets.push_back({fd, POLLIN, 0});
    }
    (void)::write(report, &port, sizeof port);
    ::close(report);
    for (;;) {
        if (::poll(sockets.data(), sockets.size(), -1) < 0)
            continue;
        for (std::size_t i = 0; i < sockets.size(); ++i) {
            if (!(sockets[i].revents & POLLIN))
                continue;
            char request[16];
            sockaddr_in peer{};
            socklen_t length = sizeof peer;
            const ssize_t got = ::recvfrom(sockets[i].fd, request, sizeof request, 0,
                                           reinterpret_cast<sockaddr*>(&peer), &length);
            const QByteArray& answer = silentEncoder(static_cast<int>(i)) ? silence : sine;
            if (got == 3 && std::equal(request, request + 3, "VOL"))
                (void)::sendto(sockets[i].fd, answer.constData(), answer.size(), 0,
                               reinterpret_cast<sockaddr*>(&peer), length);
        }
    }
}

struct Figures {
    qint64 wallNs = 0, cpuNs = 0, blockNs = 0;
};

} // namespace

int main(int argc, char** argv) {
    int seconds = 60;
    int count = 200;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::max(12, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--encoders") == 0)
            count = std::clamp(std::atoi(argv[i + 1]), 1, 250);
    }
    int report[2];
    if (::pipe(report) != 0)
        return 1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        playEncoders(count, report[1]);
    }
    ::close(report[1]);
    quint16 port = 0;
    if (child < 0 || ::read(report[0], &port, sizeof port) != sizeof port || port == 0) {
        std::fprintf(stderr, "bench_silence_watch: the encoders could not bind 127.0.1.x\n");
        return 1;
    }

    TimedApplication app(argc, argv);
    Station s; // the test fixture's doubles and files; the station is built here
    s.settings.commandPort = port;
    QByteArray database;
    for (int i = 0; i < count; ++i)
        database += recordText(section(i),
                               replaced(kEncoderEntries, {"NAME=ENCODER " + QByteArray::number(i),
                                                          "IP=" + encoderAddress(i).toLatin1()}));
    s.writeDatabase(database);
    varnetix::StationPreferences preferences; // the defaults, without the echo watch
    preferences.watchIntervalSeconds = 0;
    varnetix::PreferencesFile(QString::fromStdString(s.settings.preferencesPath)).save(preferences);
    s.station = std::make_unique<varnetix::Station>(s.settings, s.dialogs, s.resolver, s.probe);
    if (!s.station->start())
        return 1;
    varnetix::SilenceWatch& watch = s.station->silence();

    quint64 received = 0;
    QHash<quint32, quint64> bySender;
    QObject::connect(&s.station->endpoint(), &varnetix::UdpEndpoint::datagramReceived, &app,
                     [&](const QByteArray& datagram, const QHostAddress& sender) {
                         if (datagram.size() == 1440) {
                             ++received;
                             ++bySender[sender.toIPv4Address()];
                         }
                     });
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = clock.nsecsElapsed();
    Figures round, worst;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, &app, [&] {
        const qint64 now = clock.nsecsElapsed();
        round.blockNs = std::max(round.blockNs, now - lastTick - 1'000'000);
        lastTick = now;
    });
    ticker.start(1);

    std::printf("silence watch: %d encoders on 127.0.1.x port %u (%d silent), one round a second "
                "for %d s\n",
                count, port, (count + 9) / 10, seconds);
    std::vector<qint64> perRound;
    int rounds = 0;
    long rssAtTen = -1;
    quint64 receivedBefore = 0, attributedBefore = 0;
    auto* roundTimer = s.station->findChild<QTimer*>(QStringLiteral("tmrSilenceWatch"));
    QObject::connect(roundTimer, &QTimer::timeout, &app, [&] {
        // The figures of the round that just ended, the sends of this one included.
        round.wallNs = app.longestWallNs, round.cpuNs = app.longestCpuNs;
        app.longestWallNs = app.longestCpuNs = 0;
        ++rounds;
        if (rounds > 1) { // the first holds the start-up
            perRound.push_back(round.wallNs);
            worst.wallNs = std::max(worst.wallNs, round.wallNs);
            worst.cpuNs = std::max(worst.cpuNs, round.cpuNs);
            worst.blockNs = std::max(worst.blockNs, round.blockNs);
        }
        if (rounds % 10 == 0) {
            std::printf("round %4d: %llu answers received, %llu attributed, %llu foreign in the "
                        "last 10 rounds; longest event %.2f ms (CPU %.2f ms), block %.2f ms\n",
                        rounds, received - receivedBefore,
                        watch.attributedDatagrams() - attributedBefore, watch.foreignDatagrams(),
                        round.wallNs / 1e6, round.cpuNs / 1e6, round.blockNs / 1e6);
            std::fflush(stdout);
            receivedBefore = received;
            attributedBefore = watch.attributedDatagrams();
        }
        if (rounds == 10)
            rssAtTen = vmRssKb();
        round = {};
        if (rounds > seconds)
            app.quit();
    });
    app.exec();
    ::kill(child, SIGTERM);
    ::waitpid(child, nullptr, 0);

    std::sort(perRound.begin(), perRound.end());
    std::size_t unknown = 0;
    for (int i = 0; i < count; ++i)
        unknown += watch.state(section(i).toStdString()) == varnetix::AudioState::Unknown;
    quint64 fewest = received, most = 0;
    for (int i = 0; i < count; ++i) {
        bool ok = false;
        const quint64 n = bySender.value(QHostAddress(encoderAddress(i)).toIPv4Address(&ok));
        fewest = std::min(fewest, n), most = std::max(most, n);
    }
    const long rss = vmRssKb();
    std::printf("%d rounds: %llu answers received (%llu to %llu per encoder), %llu attributed, "
                "%llu foreign; %zu silent, %zu level unknown\n",
                rounds, received, fewest, most, watch.attributedDatagrams(),
                watch.foreignDatagrams(), watch.silentCount(), unknown);
    const auto percentile = [&](double p) {
        return perRound.empty()
                   ? 0.0
                   : perRound[static_cast<std::size_t>(p * (perRound.size() - 1))] / 1e6;
    };
    std::printf("longest event per round: median %.2f ms, 99th percentile %.2f ms, max %.2f ms "
                "(CPU max %.2f ms); longest block (1 ms timer lateness) %.2f ms\n",
                percentile(0.5), percentile(0.99), worst.wallNs / 1e6, worst.cpuNs / 1e6,
                worst.blockNs / 1e6);
    std::printf("VmRSS: %ld kB after round 10, %ld kB at the end (%+ld kB)\n", rssAtTen, rss,
                rss - rssAtTen);
    const bool right =
        received == watch.attributedDatagrams() && watch.foreignDatagrams() == 0 && unknown == 0;
    std::printf("%s\n", right ? "answers: all attributed" : "answers: NOT ALL ATTRIBUTED");
    return right ? 0 : 1;
}
