// Benchmark, not a test: the station's watch (ElementWatch with the element tree it marks)
// over 1,000 elements, with ICMP echo through LinuxEchoSweeper. The
// program moves into a network namespace of its own (198.18.0.1/16 on a veth pair) whose peer
// answers for 900 addresses (198.18.4.1 to 198.18.7.150, local to it through one route, each
// resolved by ARP like an element on the LAN) while nobody holds 100 more (198.18.9.1 to
// 198.18.9.100). It sends rounds of 1,000 echoes at an interval and prints, per round, the time
// from the first send to the last result and whether every result was right, then the longest
// event-loop block (the lateness of a 1 ms timer) and the growth of VmRSS from the end of
// round 2 to the end. Needs root.
//
//   bench_echo_watch [--rounds N (3) | --minutes M] [--interval S (10)] [--timeout MS (1000)]
//                    [--socket dgram|raw (the sweeper's own choice)]
#include "core/echo_status.h"
#include "event_timing.h"
#include "platform/linux_echo_sweeper.h"
#include "station/element_model.h"
#include "station/element_watch.h"
#include "ui/element_tree_panel.h"
#include "watch_network.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

using namespace varnetix::bench;
using WatchApplication = TimedApplication<QApplication>;

struct Options {
    int rounds = 3;
    int intervalS = 10;
    int timeoutMs = 1000;
    varnetix::IcmpSocketKind socket = varnetix::IcmpSocketKind::None;
};

Options parse(const QStringList& args) {
    Options options;
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        const int value = args[i + 1].toInt();
        if (args[i] == QLatin1String("--rounds"))
            options.rounds = value;
        else if (args[i] == QLatin1String("--interval"))
            options.intervalS = value;
        else if (args[i] == QLatin1String("--timeout"))
            options.timeoutMs = value;
        else if (args[i] == QLatin1String("--socket"))
            options.socket = args[i + 1] == QLatin1String("raw")
                                 ? varnetix::IcmpSocketKind::Raw
                                 : varnetix::IcmpSocketKind::Datagram;
        else if (args[i] == QLatin1String("--minutes"))
            options.rounds = -value; // resolved below, once the interval is known
    }
    if (options.rounds < 0)
        options.rounds = std::max(1, -options.rounds * 60 / std::max(1, options.intervalS));
    return options;
}

// Passes every echo on to the Linux sweeper and sees when a round begins.
class ObservedSweeper : public varnetix::EchoSweeper {
public:
    explicit ObservedSweeper(varnetix::LinuxEchoSweeper& real) : m_real(real) {
        connect(&m_real, &varnetix::EchoSweeper::finished, this, &varnetix::EchoSweeper::finished);
    }
    std::function<void()> roundStarted;
    bool open() override { return m_real.open(); }
    QString unavailableReason() const override { return m_real.unavailableReason(); }
    void send(const QString& address, quint64 token) override {
        if (m_sentInRound++ % kElements == 0 && roundStarted)
            roundStarted();
        m_addressOf[token] = address;
        m_real.send(address, token);
    }
    QString takeAddress(quint64 token) { return m_addressOf.take(token); }
    int inFlight() const override { return m_real.inFlight(); }
    void cancelAll() override { m_real.cancelAll(); }

private:
    varnetix::LinuxEchoSweeper& m_real;
    int m_sentInRound = 0;
    QHash<quint64, QString> m_addressOf;
};

// A station without the rest of the window: the tree and the watch that marks it.
std::vector<varnetix::ElementNode> elements() {
    std::vector<varnetix::ElementNode> nodes;
    for (int i = 0; i < kElements; ++i) {
        char section[13];
        std::snprintf(section, sizeof section, "02000000%04X", i);
        varnetix::ElementNode node;
        node.section = section;
        node.key = section; // only the watch's own log uses it here
        node.text = "ELEMENT " + std::to_string(i);
        node.ip = elementAddress(i).toStdString();
        nodes.push_back(node);
    }
    return nodes;
}

class NoLog : public varnetix::EventSink {
public:
    void record(varnetix::EventSeverity, std::string_view, const QString&,
                const QString&) override {}
};

class Watch : public QObject {
public:
    Watch(const Options& options, ObservedSweeper& sweeper, WatchApplication& app)
        : m_options(options), m_sweeper(sweeper), m_app(app) {
        connect(&m_sweeper, &varnetix::EchoSweeper::finished, this, &Watch::onResult);
        m_sweeper.roundStarted = [this] { startRound(); };
        m_ticker.setTimerType(Qt::PreciseTimer);
        m_ticker.setInterval(1);
        connect(&m_ticker, &QTimer::timeout, this, &Watch::onTick);
    }

    void start() {
        m_clock.start();
        m_lastTickNs = m_clock.nsecsElapsed();
        m_ticker.start();
    }

    bool allCorrect() const { return m_wrongTotal == 0; }

private:
    void startRound() {
        ++m_round;
        m_roundStartNs = m_clock.nsecsElapsed();
        m_results = 0;
        m_wrong = 0;
        m_unreachable = 0;
        m_lastAnswerNs = 0;
        m_roundBlockNs = 0;
        m_rtts.clear();
        m_app.longestWallNs = m_app.longestCpuNs = 0;
    }

    void onResult(quint64 token, varnetix::EchoReply reply) {
        const QString address = m_sweeper.takeAddress(token);
        const bool answering = !address.startsWith(QLatin1String("198.18.9."));
        // A silent address times out; or, when the kernel gives up resolving it while this
        // echo waits behind an earlier one (rounds closer than ARP's 3 s), it is unreachable.
        const bool right = answering ? reply.status == varnetix::kEchoSuccess
                                     : reply.status == varnetix::kEchoTimedOut ||
                                           reply.status == varnetix::kEchoDestHostUnreachable;
        m_unreachable += reply.status == varnetix::kEchoDestHostUnreachable;
        if (!right) {
            ++m_wrong;
            if (m_wrong <= 3)
                std::printf("  round %d: %s gave %d\n", m_round, qPrintable(address), reply.status);
        }
        if (answering && reply.status == varnetix::kEchoSuccess) {
            m_lastAnswerNs = m_clock.nsecsElapsed() - m_roundStartNs;
            m_rtts.push_back(reply.roundTripMs);
        }
        if (++m_results == kElements)
            endRound();
    }

    void endRound() {
        const double roundMs = (m_clock.nsecsElapsed() - m_roundStartNs) / 1e6;
        std::sort(m_rtts.begin(), m_rtts.end());
        const auto percentile = [this](double p) {
            return m_rtts.empty() ? 0u : m_rtts[static_cast<std::size_t>(p * (m_rtts.size() - 1))];
        };
        std::printf("round %3d: %4zu answered, last after %5.1f ms (rtt median %u, max %u ms); "
                    "%d silent (%d unreachable); all %d results after %6.1f ms, %s; longest "
                    "event %.2f ms (CPU %.2f ms), longest block %.2f ms\n",
                    m_round, m_rtts.size(), m_lastAnswerNs / 1e6, percentile(0.5), percentile(1),
                    kElements - static_cast<int>(m_rtts.size()), m_unreachable, kElements, roundMs,
                    m_wrong == 0 ? "right" : "WRONG", m_app.longestWallNs / 1e6,
                    m_app.longestCpuNs / 1e6, m_roundBlockNs / 1e6);
        m_longestCpuNs = std::max(m_longestCpuNs, m_app.longestCpuNs);
        std::fflush(stdout);
        m_wrongTotal += m_wrong;
        if (m_round == 2)
            m_rssAfterRound2 = vmRssKb();
        if (m_round >= m_options.rounds)
            finish();
    }

    void finish() {
        m_ticker.stop();
        const long rss = vmRssKb();
        std::printf("longest event-loop block over the run: %.2f ms (1 ms timer lateness); "
                    "longest event in CPU time: %.2f ms\n",
                    m_longestBlockNs / 1e6, m_longestCpuNs / 1e6);
        if (m_rssAfterRound2 > 0)
            std::printf("VmRSS: %ld kB after round 2, %ld kB at the end (%+ld kB over %d rounds)\n",
                        m_rssAfterRound2, rss, rss - m_rssAfterRound2, m_round - 2);
        std::printf("%s\n", m_wrongTotal == 0 ? "results: all right" : "results: WRONG");
        QCoreApplication::quit();
    }

    void onTick() {
        const qint64 now = m_clock.nsecsElapsed();
        const qint64 blockNs = std::max<qint64>(0, now - m_lastTickNs - 1'000'000);
        m_lastTickNs = now;
        m_longestBlockNs = std::max(m_longestBlockNs, blockNs);
        m_roundBlockNs = std::max(m_roundBlockNs, blockNs);
    }

    Options m_options;
    ObservedSweeper& m_sweeper;
    WatchApplication& m_app;
    QElapsedTimer m_clock;
    QTimer m_ticker;
    int m_round = 0;
    int m_results = 0;
    int m_wrong = 0;
    int m_unreachable = 0;
    int m_wrongTotal = 0;
    qint64 m_roundStartNs = 0;
    qint64 m_lastAnswerNs = 0;
    qint64 m_lastTickNs = 0;
    qint64 m_roundBlockNs = 0;
    qint64 m_longestBlockNs = 0;
    qint64 m_longestCpuNs = 0;
    long m_rssAfterRound2 = -1;
    std::vector<std::uint32_t> m_rtts;
};

} // namespace

int main(int argc, char** argv) {
    if (::geteuid() != 0 || ::unshare(CLONE_NEWNET) != 0) {
        std::fprintf(stderr, "bench_echo_watch: needs root to create network namespaces\n");
        return 77;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    WatchApplication app(argc, argv);
    const Options options = parse(app.arguments());
    if (const QString error = buildNetwork(); !error.isEmpty()) {
        std::fprintf(stderr, "bench_echo_watch: %s\n", qPrintable(error));
        return 1;
    }
    raiseNeighbourLimits();
    varnetix::LinuxEchoSweeper sweeper(options.socket);
    if (!sweeper.open()) {
        std::fprintf(stderr, "bench_echo_watch: %s\n", qPrintable(sweeper.unavailableReason()));
        return 1;
    }
    sweeper.setTimeoutMs(options.timeoutMs);
    std::printf("echo watch: %d answering + %d silent addresses, %d rounds every %d s, time-out "
                "%d ms, %s socket\n",
                kAnswering, kSilent, options.rounds, options.intervalS, options.timeoutMs,
                sweeper.socketKind() == varnetix::IcmpSocketKind::Datagram ? "datagram" : "raw");
    ObservedSweeper observed(sweeper);
    Watch bench(options, observed, app);
    bench.start();
    varnetix::ElementModel model;
    varnetix::ElementTreePanel tree(model);
    tree.show();
    NoLog log;
    varnetix::ElementWatch watch(model, observed, log);
    const std::vector<varnetix::ElementNode> nodes = elements();
    model.showElements(nodes);
    watch.watch(nodes);
    watch.setPreferences(options.intervalS, 3);
    app.exec();
    return bench.allCorrect() ? 0 : 1;
}
