// The desktop's notification service (org.freedesktop.Notifications) over the session bus.
// A notification is a courtesy to whoever sits at the desktop, not the station's record (that
// is the event log): without a bus or a service it goes nowhere, and nobody is told.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

namespace varnetix {

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    enum class Urgency : uchar { Low = 0, Normal = 1, Critical = 2 };

    // The user's session bus unless another is given (tests bring their own).
    explicit DesktopNotifier(QDBusConnection bus = QDBusConnection::sessionBus(),
                             QObject* parent = nullptr);

    // `body` is plain text, lines ended by line feeds: it is escaped for the services that read
    // markup in it. Never waits for the service.
    void notify(const QString& summary, const QString& body, Urgency urgency);

private:
    QDBusConnection m_bus;
};

} // namespace varnetix
