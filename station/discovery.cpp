#include "station/discovery.h"

#include <QFile>

#include "core/paging_request.h"
#include "platform/byte_text.h"

namespace varnetix {

Discovery::Discovery(WindowControls& controls, OperatorDialogs& dialogs, DatagramLink& link,
                     LinkState& state, const StationSettings& settings, QObject* parent)
    : QObject(parent), m_c(controls), m_dialogs(dialogs), m_link(link), m_state(state),
      m_settings(settings) {}

void Discovery::ConfirmAutoDiscovery() {
    const bool yes = m_dialogs.question(
        QStringLiteral("Auto Discovery"),
        joinLines({QStringLiteral("Performing an 'Auto Discovery' will delete the local database "
                                  "in your computer"),
                   QStringLiteral("and create a new one, based on the Network Elements found (if "
                                  "any). "),
                   QStringLiteral("Are you sure?")}));
    if (!yes)
        return;
    emit clearElementFields();
    m_c.TreeView1->clear();

    PagingWindow window(m_c.frmMain);
    bool ended = false;
    const auto end = [&] {
        if (ended)
            return;
        ended = true;
        endSteps(window);
    };
    connect(window.Timer1, &QTimer::timeout, &window, [&] {
        end();
        window.accept();
    });
    // Closing the window early ends the run the same way.
    connect(&window, &QDialog::finished, &window, end);
    startSteps(window);
    emit windowShown(&window);
    if (!ended)
        window.exec();
    end();
}

void Discovery::startSteps(PagingWindow& window) {
    m_c.chkGetVolume->setChecked(false);
    emit emptyLists();
    recreateDatabase();
    // Every send names its destination, so the endpoint has no remote to save and restore.
    window.Timer1->start(m_settings.pagingWaitMs);
    m_state.AutoDiscoverAwaiting = true;
    const std::string request = PagingRequest();
    if (!m_link.sendBroadcast(toByteArray(request),
                              QString::fromStdString(m_settings.pagingDestination),
                              m_settings.pagingPort, m_settings.pagingOnEveryInterface)) {
        m_dialogs.critical(kApplicationTitle,
                           joinLines({QStringLiteral("Unable to send the paging request."),
                                      QStringLiteral("No Network Element can answer it.")}));
    }
}

void Discovery::recreateDatabase() {
    // The previous database stays beside the new one, so that a run on an unplugged network
    // can be undone by hand.
    const QString path = QString::fromStdString(m_settings.databasePath);
    const QString backup = path + QStringLiteral(".bak");
    if (QFile::exists(path)) {
        QFile::remove(backup);
        if (!QFile::rename(path, backup))
            QFile::remove(path);
    }
    QFile created(path);
    if (created.open(QIODevice::WriteOnly))
        created.close();
}

void Discovery::endSteps(PagingWindow& window) {
    window.Timer1->stop();
    m_state.AutoDiscoverAwaiting = false;
    emit reloadTree();
}

} // namespace varnetix
