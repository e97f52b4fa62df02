#include "platform/desktop_notifier.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QLoggingCategory>
#include <QVariantMap>

#include "core/text_escape.h"

Q_LOGGING_CATEGORY(lcNotify, "varnetix.notify", QtWarningMsg)

namespace varnetix {

namespace {

// Names come off the network: no control character reaches the desktop but the line feeds
// between lines.
QString plain(const QString& text) {
    QStringList lines = text.split(u'\n');
    for (QString& line : lines)
        line = QString::fromStdString(EscapeControls(line.toStdString()));
    return lines.join(u'\n');
}

} // namespace

DesktopNotifier::DesktopNotifier(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)) {}

void DesktopNotifier::notify(const QString& summary, const QString& body, Urgency urgency) {
    if (!m_bus.isConnected()) {
        qCDebug(lcNotify) << "no session bus:" << m_bus.lastError().message();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QVariantMap hints{
        {QStringLiteral("urgency"), QVariant::fromValue(static_cast<uchar>(urgency))},
        {QStringLiteral("desktop-entry"), QStringLiteral("varnetix-nms")}};
    // A service that shows markup would otherwise take a name's "<" as a tag; the summary is
    // plain text by the protocol.
    call << QStringLiteral("Varnetix NMS") << 0u << QStringLiteral("varnetix-nms") << plain(summary)
         << plain(body).toHtmlEscaped() << QStringList() << hints << qint32{-1};
    // The answer (an id, or an error when no service runs) is of no use: a hung service must
    // never hold up the station, so nobody waits for it.
    m_bus.asyncCall(call);
}

} // namespace varnetix
