// Benchmark, not a test: a discovery run answered by 1,000 elements within 100 ms. Prints how
// many were stored before the run ended, how long the last store came after the last answer,
// and how long the event loop was held at most, then PASS or FAIL.
#include "core/feedback_packet.h"
#include "core/ini_store.h"
#include "core/text_procedures.h"
#include "platform/udp_endpoint.h"
#include "station/discovery.h"
#include "station/feedback_handler.h"
#include "station_fixture.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTreeWidget>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/vfs.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kElements = 1000;
constexpr int kBurstMs = 100;
constexpr int kRunMs = 3000;

// Each element reports its own address; only the station reads it, nothing is sent there.
std::string elementAddress(int i) {
    return "10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
}

std::string elementMac(int i) {
    char text[18];
    std::snprintf(text, sizeof text, "02:00:00:00:%02X:%02X", (i >> 8) & 0xFF, i & 0xFF);
    return text;
}

std::string answerOf(int i) {
    varnetix::FeedbackRecord r;
    r.ElementIP = elementAddress(i);
    r.ElementMask = "255.0.0.0";
    r.ElementGW = "10.0.0.254";
    r.RemoteIP = "239.1.1.1";
    r.AudioInput = 1;
    r.ElementName = "ELEMENT " + std::to_string(i);
    r.ElementRole = static_cast<std::uint8_t>(i % 2 + 1);
    r.SerialNumber = 100000 + i;
    r.Attenuation = 200;
    r.BufferSize = 2;
    return varnetix::EncodeFeedback(r, 45, 2, 1);
}

// The elements: their answers leave from another thread, spread evenly over the burst.
Clock::time_point sendBurst(std::uint16_t stationPort, const std::vector<std::string>& answers) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(stationPort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const Clock::time_point start = Clock::now();
    const auto spacing = std::chrono::microseconds(kBurstMs * 1000 / kElements);
    for (std::size_t i = 0; i < answers.size(); ++i) {
        std::this_thread::sleep_until(start + spacing * static_cast<int>(i));
        ::sendto(fd, answers[i].data(), answers[i].size(), 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to);
    }
    const Clock::time_point last = Clock::now();
    ::close(fd);
    return last;
}

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

const char* filesystemOf(const QString& path) {
    struct statfs info {};
    if (::statfs(path.toLocal8Bit().constData(), &info) != 0)
        return "unknown";
    switch (info.f_type) {
    case 0x01021994:
        return "tmpfs";
    case 0xEF53:
        return "ext2/3/4";
    case 0x794C7630:
        return "overlayfs";
    case 0x58465342:
        return "xfs";
    case 0x9123683E:
        return "btrfs";
    default:
        return "other";
    }
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    Station station;
    station.settings.pagingWaitMs = kRunMs;
    QUdpSocket pagingPeer; // the request itself is not what is measured
    pagingPeer.bind(QHostAddress::LocalHost, 0);
    station.settings.pagingPort = pagingPeer.localPort();
    std::vector<std::string> answers;
    for (int i = 0; i < kElements; ++i) {
        station.resolver.macs[elementAddress(i)] = elementMac(i);
        answers.push_back(answerOf(i));
    }
    varnetix::MainWindow& window = station.start();

    // The largest gap between ticks of a 1 ms timer is the longest the loop was held.
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    Clock::time_point lastTick;
    double longestGapMs = 0;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        longestGapMs = std::max(longestGapMs, msBetween(lastTick, now));
        lastTick = now;
    });

    int received = 0;
    int handledInRun = 0;
    Clock::time_point lastHandled;
    QObject::connect(window.findChild<varnetix::UdpEndpoint*>(QStringLiteral("udpClient")),
                     &varnetix::UdpEndpoint::DataArrival,
                     [&](const QByteArray& datagram) { received += datagram.size() == 45; });
    auto* discovery = window.findChild<varnetix::Discovery*>();
    auto* feedback = window.findChild<varnetix::FeedbackHandler*>();
    QObject::connect(feedback, &varnetix::FeedbackHandler::packetFinished, [&] {
        if (!discovery->awaitingAnswers())
            return;
        ++handledInRun;
        lastHandled = Clock::now();
    });

    std::thread elements;
    std::atomic<bool> burstSent = false;
    Clock::time_point runStart, lastSent;
    QObject::connect(discovery, &varnetix::Discovery::runStarted, [&] {
        runStart = Clock::now();
        lastTick = runStart;
        ticker.start();
        elements = std::thread([&] {
            lastSent = sendBurst(station.stationPort(), answers);
            burstSent = true;
        });
    });

    station.dialogs.answers.enqueue(true);
    window.findChild<QAction*>(QStringLiteral("Toolbar1Button1"))->trigger();
    const Clock::time_point runEnd = Clock::now();
    ticker.stop();
    elements.join();

    const std::size_t stored = varnetix::LoadIniSectionsArray(station.settings.databasePath).size();
    const std::size_t queuedAtEnd = feedback->pending();
    std::printf("discovery burst: %d answers from loopback within %d ms, run of %d ms\n", kElements,
                kBurstMs, kRunMs);
    std::printf("  database filesystem:            %s\n", filesystemOf(station.databasePath()));
    std::printf("  burst sent in:                  %.1f ms\n", msBetween(runStart, lastSent));
    std::printf("  datagrams read by the station:  %d\n", received);
    std::printf("  answers handled during the run: %d\n", handledInRun);
    std::printf("  still queued when the run ended: %zu, dropped by the queue: %zu\n", queuedAtEnd,
                feedback->dropped());
    std::printf("  sections stored in nms.ini:     %zu\n", stored);
    if (handledInRun > 0)
        std::printf("  last store after last answer:  %.1f ms\n", msBetween(lastSent, lastHandled));
    std::printf("  run length:                     %.1f ms\n", msBetween(runStart, runEnd));
    std::printf("  longest event-loop block:       %.1f ms\n", longestGapMs);

    // The same 1,000 records written straight to a second file beside the database: what the
    // store alone costs, without the network and the event loop.
    const std::string alone = QFileInfo(station.databasePath())
                                  .dir()
                                  .filePath(QStringLiteral("store-alone.ini"))
                                  .toStdString();
    std::vector<double> storeMs;
    for (int i = 0; i < kElements; ++i) {
        varnetix::FeedbackRecord r;
        varnetix::DecodeFeedback(answers[static_cast<std::size_t>(i)], r);
        const varnetix::IniEntries entries = {{"name", r.ElementName},
                                              {"ip", r.ElementIP},
                                              {"mask", r.ElementMask},
                                              {"gw", r.ElementGW},
                                              {"remote", r.RemoteIP},
                                              {"input", "1"},
                                              {"type", "0"},
                                              {"tx", "0"},
                                              {"role", "1"},
                                              {"sn", "1"},
                                              {"ver", "2.1"},
                                              {"sfn", "0"},
                                              {"buf", "2"},
                                              {"att", "200"}};
        const Clock::time_point before = Clock::now();
        varnetix::WriteSectionToINI(varnetix::MacWithoutColons(elementMac(i)), entries, alone);
        storeMs.push_back(msBetween(before, Clock::now()));
    }
    const auto sum = [&](std::size_t from, std::size_t to) {
        double total = 0;
        for (std::size_t i = from; i < to; ++i)
            total += storeMs[i];
        return total;
    };
    std::printf(
        "  store alone, 1000 records:      %.1f ms (first 100: %.1f ms, last 100: %.1f ms)\n",
        sum(0, storeMs.size()), sum(0, 100), sum(storeMs.size() - 100, storeMs.size()));

    const bool pass = burstSent && stored == std::size_t(kElements);
    std::printf("%s: %zu of %d elements stored within the %d ms window\n", pass ? "PASS" : "FAIL",
                stored, kElements, kRunMs);
    return pass ? 0 : 1;
}
