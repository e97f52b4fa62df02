// Benchmark, not a test: Prometheus scrapes of a station watching 1,000 elements (900 online,
// 100 offline, every encoder's audio level known, as the silence watch will give it). A client
// thread scrapes /metrics over loopback again and again while the station's event loop runs;
// the program prints the time to answer (from connect to the last byte), the longest
// event-loop block with and without scrapes, and what reading the station, making the families
// and writing them in the text format take alone. A block is measured twice: as the longest
// time the event loop spent on one event (wall clock and the main thread's CPU time), and as
// the lateness of a 1 ms timer, which also counts time the machine gave to other programs.
//
//   bench_metrics_scrape [--scrapes N (200)]
#include "event_timing.h"
#include "sample_database.h"
#include "station/station_metrics.h"
#include "station_fixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <prometheus/metric_family.h>
#include <prometheus/text_serializer.h>
#include <sys/socket.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace {

constexpr int kElements = 1000;
constexpr int kSilent = 100;

using Clock = std::chrono::steady_clock;
using TimedApplication = varnetix::bench::TimedApplication<QCoreApplication>;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One GET of /metrics: the time to the last byte in ms, and the bytes; -1 when it failed.
std::pair<double, std::size_t> scrape(quint16 port) {
    const auto start = Clock::now();
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::size_t bytes = 0;
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
    const char request[] = "GET /metrics HTTP/1.1\r\nHost: station\r\n\r\n";
    ok = ok && ::send(fd, request, sizeof request - 1, 0) == sizeof request - 1;
    char buffer[65536];
    for (ssize_t got = 1; ok && got > 0; bytes += std::size_t(std::max<ssize_t>(got, 0)))
        got = ::recv(fd, buffer, sizeof buffer, 0);
    ::close(fd);
    return {ok ? msSince(start) : -1, bytes};
}

// The longest lateness of a 1 ms timer while it runs.
class BlockMeter {
public:
    BlockMeter() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const double now = double(m_clock.nsecsElapsed()) / 1e6;
            m_longest = std::max(m_longest, now - m_last - 1.0);
            m_last = now;
        });
    }
    void start() {
        m_longest = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    double stop() {
        m_timer.stop();
        return m_longest;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    double m_last = 0, m_longest = 0;
};

std::string loadAverage() {
    char text[128] = {};
    if (FILE* file = std::fopen("/proc/loadavg", "r")) {
        if (!std::fgets(text, sizeof text, file))
            text[0] = 0;
        std::fclose(file);
    }
    return text;
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(p * double(values.size())))];
}

} // namespace

int main(int argc, char** argv) {
    TimedApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int scrapes = args.size() > 2 && args[1] == QLatin1String("--scrapes")
                            ? std::max(1, args[2].toInt())
                            : 200;

    Station s; // the test fixture's doubles: a scripted sweeper answers for the elements
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    s.settings.watchSecondMs = 1000;
    s.writeDatabase(QByteArray::fromStdString(varnetix::bench::generateDatabase(kElements)));
    for (int i = 0; i < kElements - kSilent; ++i)
        s.sweeper.answering[QStringLiteral("10.0.%1.%2").arg(i >> 8).arg(i & 255)] = 2;
    varnetix::StationPreferences preferences;
    preferences.missesUntilOffline = 1;
    preferences.metricsEndpoint = "127.0.0.1:" + std::to_string(port);
    varnetix::PreferencesFile(QString::fromStdString(s.settings.preferencesPath)).save(preferences);
    s.station =
        std::make_unique<varnetix::Station>(s.settings, s.dialogs, s.resolver, s.probe, &s.sweeper);
    if (!s.station->start()) {
        std::fprintf(stderr, "the station did not start\n");
        return 1;
    }
    varnetix::StationMetrics& metrics = s.station->metrics();
    metrics.setAudioReader([](const std::string&) {
        return std::optional(varnetix::EncoderAudio{false, -6.0});
    });
    if (metrics.port() != port) {
        std::fprintf(stderr, "metrics not served: %s\n",
                     qPrintable(s.station->notices().join(QStringLiteral("; "))));
        return 1;
    }
    // The first round of echoes answered, then the event loop without scrapes.
    QTimer::singleShot(1500, &app, &QCoreApplication::quit);
    app.exec();
    BlockMeter meter;
    meter.start();
    app.longestWallNs = app.longestCpuNs = 0;
    QTimer::singleShot(1000, &app, &QCoreApplication::quit);
    app.exec();
    const double idleBlock = meter.stop();
    const double idleWall = app.longestWallNs / 1e6, idleCpu = app.longestCpuNs / 1e6;

    const auto readStart = Clock::now();
    const varnetix::MetricsReading reading = metrics.read();
    const double readMs = msSince(readStart);
    const auto familiesStart = Clock::now();
    const std::vector<prometheus::MetricFamily> families = varnetix::metricFamilies(reading);
    const double familiesMs = msSince(familiesStart);
    const auto writeStart = Clock::now();
    const std::string text = prometheus::TextSerializer().Serialize(families);
    const double writeMs = msSince(writeStart);
    std::size_t samples = 0;
    for (const auto& family : families)
        samples += family.metric.size();

    std::vector<double> answers;
    std::size_t bytes = 0;
    meter.start();
    app.longestWallNs = app.longestCpuNs = 0;
    std::thread client([&] {
        for (int i = 0; i < scrapes; ++i) {
            const auto [ms, got] = scrape(port);
            answers.push_back(ms);
            bytes = got;
        }
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    app.exec();
    const double scrapeBlock = meter.stop();
    client.join();
    if (std::any_of(answers.begin(), answers.end(), [](double ms) { return ms < 0; })) {
        std::fprintf(stderr, "a scrape failed\n");
        return 1;
    }

    std::printf("station watching %d elements (%d online, %d offline), %zu families, %zu samples, "
                "%zu bytes of text (%zu with the HTTP head)\n",
                kElements, kElements - kSilent, kSilent, families.size(), samples, text.size(),
                bytes);
    std::printf("one scrape: reading the station %.2f ms (on the event loop), families %.2f ms and "
                "text format %.2f ms (on the writer's thread)\n",
                readMs, familiesMs, writeMs);
    std::printf("%d scrapes back to back: answer median %.2f ms, 95th %.2f ms, longest %.2f ms "
                "(goal < 20 ms)\n",
                scrapes, percentile(answers, 0.5), percentile(answers, 0.95),
                *std::max_element(answers.begin(), answers.end()));
    std::printf(
        "longest event-loop block (goal < 5 ms): one event %.2f ms (%.2f ms CPU), timer "
        "lateness %.2f ms during the scrapes; without them %.2f ms (%.2f ms CPU), %.2f ms\n",
        app.longestWallNs / 1e6, app.longestCpuNs / 1e6, scrapeBlock, idleWall, idleCpu, idleBlock);
    std::printf("load average while measuring: %s", loadAverage().c_str());
    s.station.reset();
    return 0;
}
