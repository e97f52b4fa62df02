#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <cstdio>
#include <vector>

#include "platform/desktop_notifier.h"
#include "platform/event_log_file.h"
#include "platform/linux_echo_probe.h"
#include "platform/linux_echo_sweeper.h"
#include "platform/preferences_file.h"
#include "platform/station_networks.h"
#include "station/alarm_notifications.h"
#include "station/command_line.h"
#include "station/discovery_command.h"
#include "station/headless_station.h"
#include "ui/message_box_dialogs.h"
#include "ui/station_startup.h"

namespace {

void nameTheProgram() {
    QCoreApplication::setOrganizationName(QStringLiteral("Halvoren"));
    QCoreApplication::setApplicationName(QStringLiteral("varnetix-nms"));
}

// The database asked for on the command line, or the station's own.
QString databasePath(const varnetix::CommandLine& line, bool create) {
    if (!line.database.isEmpty())
        return QFileInfo(line.database).absoluteFilePath();
    return varnetix::databasePathFor(QCoreApplication::applicationDirPath(), create);
}

// A command for scripts: no display, no port, no lock, nothing written to the database.
int runCommand(int argc, char** argv, const varnetix::CommandLine& line) {
    QCoreApplication app(argc, argv);
    nameTheProgram();
    const std::string database = databasePath(line, false).toStdString();
    if (line.command == varnetix::CommandLine::Command::CheckNetwork)
        return varnetix::reportNetworkCheck(database, varnetix::stationSubnets(),
                                            {line.json, line.strict}, stdout, stderr);
    return varnetix::exportInventoryCsv(database, line.exportTarget, stdout, stderr);
}

// The settings of a station started with this command line.
varnetix::StationSettings stationSettings(const varnetix::CommandLine& line) {
    varnetix::StationSettings settings;
    settings.databasePath = databasePath(line, true).toStdString();
    settings.metricsEndpoint = line.metrics.toStdString();
    settings.preferencesPath = varnetix::PreferencesFile::userPath().toStdString();
    settings.eventLogDirectory = varnetix::EventLogFile::defaultDirectory().toStdString();
    return settings;
}

// One discovery for scripts: the station without a face, for the length of one run.
int runDiscovery(int argc, char** argv, const varnetix::CommandLine& line) {
    QCoreApplication app(argc, argv);
    nameTheProgram();
    const varnetix::StationSettings settings = stationSettings(line);
    varnetix::LinuxMacResolver resolver;
    varnetix::LinuxEchoProbe probe;
    varnetix::SingleInstance instance(settings.databasePath, settings.localPort);
    return varnetix::discoverFromCommandLine(settings, resolver, probe, instance, stdout, stderr);
}

// The station without a display, with the window's database, preferences and log, until a
// signal ends it.
int runHeadless(int argc, char** argv, const varnetix::CommandLine& line) {
    QCoreApplication app(argc, argv);
    nameTheProgram();
    const varnetix::StationSettings settings = stationSettings(line);
    varnetix::LinuxMacResolver resolver;
    varnetix::LinuxEchoProbe probe;
    varnetix::LinuxEchoSweeper sweeper;
    varnetix::SingleInstance instance(settings.databasePath, settings.localPort);
    return varnetix::runHeadlessStation(settings, resolver, probe, sweeper, instance);
}

} // namespace

int main(int argc, char** argv) {
    // The arguments are read before any window exists, so that a script needs no display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const varnetix::CommandLine line = varnetix::parseCommandLine(arguments);
    switch (line.command) {
    case varnetix::CommandLine::Command::Invalid:
        std::fprintf(stderr, "varnetix-nms: %s\nTry 'varnetix-nms --help'.\n",
                     varnetix::terminalText(line.problem).constData());
        return 2;
    case varnetix::CommandLine::Command::Help:
        std::fputs(varnetix::commandLineHelp().toLocal8Bit().constData(), stdout);
        return 0;
    case varnetix::CommandLine::Command::Version:
        std::printf("varnetix-nms %d.%d.%d\n", VARNETIX_VERSION_MAJOR, VARNETIX_VERSION_MINOR,
                    VARNETIX_VERSION_PATCH);
        return 0;
    case varnetix::CommandLine::Command::CheckNetwork:
    case varnetix::CommandLine::Command::ExportCsv:
        return runCommand(argc, argv, line);
    case varnetix::CommandLine::Command::Discover:
        return runDiscovery(argc, argv, line);
    case varnetix::CommandLine::Command::Headless:
        return runHeadless(argc, argv, line);
    case varnetix::CommandLine::Command::Window:
        break;
    }

    // The window's Qt sees its own options and nothing of ours.
    std::vector<char*> qtArguments{argv[0]};
    for (const qsizetype i : line.qtOptions)
        qtArguments.push_back(argv[i + 1]);
    int qtArgumentCount = static_cast<int>(qtArguments.size());
    qtArguments.push_back(nullptr);
    QApplication app(qtArgumentCount, qtArguments.data());
    nameTheProgram();
    QApplication::setApplicationVersion(varnetix::stationTitle());
    // Matches the window to its menu entry and icon on the desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral("varnetix-nms"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("varnetix-nms")));

    const varnetix::StationSettings settings = stationSettings(line);

    varnetix::MessageBoxDialogs dialogs;
    varnetix::LinuxMacResolver resolver;
    varnetix::LinuxEchoProbe probe;
    varnetix::LinuxEchoSweeper sweeper;
    varnetix::SingleInstance instance(settings.databasePath, settings.localPort);
    int exitCode = 0;
    const varnetix::StationWindow started = varnetix::startStation(
        settings, dialogs, resolver, probe, instance, exitCode, &sweeper, true);
    if (!started.window)
        return exitCode;
    dialogs.setParent(started.window.get());
    varnetix::DesktopNotifier notifier;
    const varnetix::AlarmNotifications notifications(started.station->alarms(), notifier);
    started.window->show();
    return QApplication::exec();
}
