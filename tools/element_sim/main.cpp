// varnetix-element-sim: one simulated network element on the local network, for trying the
// station without hardware (see --help).
#include "tools/element_sim/element_simulator.h"
#include "tools/element_sim/simulator_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

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
    out << simulator.summary() << Qt::endl;
    return app.exec();
}
