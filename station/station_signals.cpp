#include "station/station_signals.h"

#include <QCoreApplication>
#include <csignal>

#include "station/station.h"

namespace varnetix {

StationSignals::StationSignals(Station& station, Hangup hangup, QObject* parent)
    : QObject(parent), m_station(station), m_hangup(hangup), m_notifier({SIGTERM, SIGINT, SIGHUP}) {
    connect(&m_notifier, &SignalNotifier::received, this, &StationSignals::received);
}

void StationSignals::received(int signalNumber) {
    if (signalNumber == SIGHUP && m_hangup == Hangup::ReloadPreferences) {
        m_station.reloadPreferences();
        return;
    }
    const char* name = signalNumber == SIGINT   ? "SIGINT"
                       : signalNumber == SIGHUP ? "SIGHUP"
                                                : "SIGTERM";
    m_station.end(QStringLiteral("%1 received: the station ends").arg(QLatin1String(name)));
    // Every event loop returns, a modal box's too, and none starts again; main() then ends.
    QCoreApplication::exit(0);
}

} // namespace varnetix
