#include <QApplication>
#include <QIcon>

#include "platform/linux_echo_probe.h"
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

    varnetix::MessageBoxDialogs dialogs;
    varnetix::LinuxMacResolver resolver;
    varnetix::LinuxEchoProbe probe;
    varnetix::SingleInstance instance(executableDir);
    int exitCode = 0;
    auto window = varnetix::startStation(settings, dialogs, resolver, probe, instance, exitCode);
    if (!window)
        return exitCode;
    dialogs.setParent(window.get());
    window->show();
    return QApplication::exec();
}
