// varnetix-element-sim: one simulated network element on the local network, for trying the
// station without hardware (see --help).
#include "tools/element_sim/element_simulator.h"
#include "tools/element_sim/simulator_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// SIGUSR1 switches the audio between silence and the sine; the handler only writes a byte,
// which the event loop reads.
int g_signalPipe[2] = {-1, -1};

void audioSwitchRequested(int) {
    const char byte = 1;
    (void)::write(g_signalPipe[0], &byte, 1);
}

void switchAudioOnSignal(varnetix::sim::ElementSimulator& simulator, QTextStream& out) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, &simulator);
    QObject::connect(notifier, &QSocketNotifier::activated, &simulator, [&simulator, &out] {
        char bytes[64];
        while (::read(g_signalPipe[1], bytes, sizeof bytes) > 0) {
            simulator.setSilentAudio(!simulator.silentAudio());
            out << "audio now " << (simulator.silentAudio() ? "silent" : "on") << Qt::endl;
        }
    });
    struct sigaction action {};
    action.sa_handler = audioSwitchRequested;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGUSR1, &action, nullptr);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varnetix-element-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(varnetix::sim::simulatorDescription());
    parser.addHelpOption();
    varnetix::sim::addSimulatorOptions(parser);
    parser.process(app);

    QTextStream err(stderr);
    if (!parser.positionalArguments().isEmpty()) {
        err << "varnetix-element-sim: unexpected argument '" << parser.positionalArguments().first()
            << "' (see --help)\n";
        return 2;
    }
    varnetix::sim::SimulatorOptions options;
    QString error;
    if (!varnetix::sim::readSimulatorOptions(parser, options, &error)) {
        err << "varnetix-element-sim: " << error << '\n';
        return 2;
    }

    varnetix::sim::ElementSimulator simulator(options);
    // Flushed line by line: the lab and the tests read the log while the simulator runs.
    QTextStream out(stdout);
    QObject::connect(&simulator, &varnetix::sim::ElementSimulator::logLine, &app,
                     [&out](const QString& line) { out << line << Qt::endl; });
    if (!simulator.start(&error)) {
        err << "varnetix-element-sim: " << error << '\n';
        return 1;
    }
    switchAudioOnSignal(simulator, out);
    out << simulator.summary() << Qt::endl;
    return app.exec();
}
