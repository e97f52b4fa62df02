#include <QApplication>
#include <QIcon>

#include "platform/event_log_file.h"
#include "platform/linux_echo_probe.h"
#include "platform/linux_echo_sweeper.h"
#include "platform/preferences_file.h"
#include "ui/message_box_dialogs.h"
#include "ui/station_startup.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Halvoren"));
    QApplication::setApplicationName(QStringLiteral("varnetix-nms"));
    QApplication::setApplicationVersion(varnetix::stationTitle());
    // Matches the window to its menu entry and icon on the desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral("varnetix-nms"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("varnetix-nms")));

    const QString executableDir = QApplication::applicationDirPath();
        varnetix::StationSettings settings;
    settings.databasePath = varnetix::databasePathFor(executableDir).toStdString();
    settings.preferencesPath = varnetix::PreferencesFile::userPath().toStdString();
    settings.eventLogDirectory = varnetix::EventLogFile::defaultDirectory().toStdString();

    varnetix::MessageBoxDialogs dialogs;
    varnetix::LinuxMacResolver resolver;
        varnetix::LinuxEchoProbe probe;
    varnetix::LinuxEchoSweeper sweeper;
    varnetix::SingleInstance instance(executableDir);
    int exitCode = 0;
        auto window =
        varnetix::startStation(settings, dialogs, resolver, probe, instance, exitCode, &sweeper);
    if (!window)
        return exitCode;
    dialogs.setParent(window.get());
    window->show();
    return QApplication::exec();
}
