#include "ui/tray_light.h"

#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QSystemTrayIcon>
#include <QWidget>

namespace varnetix {

namespace {

QPixmap drawn(TrayState state, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, size / 16.0));
    const QRectF box =
        QRectF(0, 0, size, size).adjusted(size / 16.0, size / 16.0, -size / 16.0, -size / 16.0);
    const auto mark = [&](const QLineF& line) {
        p.setPen(QPen(Qt::white, size / 8.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(line);
    };
    switch (state) {
    case TrayState::Clear: // a disc
        p.setBrush(QColor(0, 160, 0));
        p.drawEllipse(box);
        break;
    case TrayState::Acknowledged: // a square with a bar: seen, the cause still there
        p.setBrush(QColor(230, 150, 0));
        p.drawRect(box.adjusted(size / 16.0, size / 16.0, -size / 16.0, -size / 16.0));
        mark(QLineF(box.left() + size / 4.0, box.center().y(), box.right() - size / 4.0,
                    box.center().y()));
        break;
    case TrayState::Unacknowledged: { // a triangle with "!"
        QPainterPath sign;
        sign.moveTo(box.center().x(), box.top());
        sign.lineTo(box.bottomRight());
        sign.lineTo(box.bottomLeft());
        sign.closeSubpath();
        p.setBrush(QColor(210, 0, 0));
        p.drawPath(sign);
        const qreal x = box.center().x();
        mark(QLineF(x, box.top() + size * 0.32, x, box.top() + size * 0.55));
        mark(QLineF(x, box.bottom() - size * 0.12, x, box.bottom() - size * 0.12));
        break;
    }
    }
    return pixmap;
}

} // namespace

TrayLight::TrayLight(AlarmList& alarms, QWidget& window, QObject* parent)
    : QObject(parent), m_alarms(alarms), m_window(window), m_menu(new QMenu(&window)) {
    setObjectName(QStringLiteral("trayLight"));
    m_menu->setObjectName(QStringLiteral("menuTray"));
    m_menu->addAction(QStringLiteral("&Show"), this, &TrayLight::showWindow)
        ->setObjectName(QStringLiteral("actionTrayShow"));
    m_menu->addAction(QStringLiteral("&Acknowledge all"), &m_alarms, &AlarmList::acknowledgeAll)
        ->setObjectName(QStringLiteral("actionTrayAcknowledgeAll"));
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("&Quit"), &m_window, &QWidget::close)
        ->setObjectName(QStringLiteral("actionTrayQuit"));
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_icon = new QSystemTrayIcon(this);
        m_icon->setContextMenu(m_menu);
        connect(m_icon, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger ||
                        reason == QSystemTrayIcon::DoubleClick)
                        showWindow();
                });
    }
    connect(&m_alarms, &AlarmList::changed, this, &TrayLight::showState);
    showState();
    if (m_icon)
        m_icon->show();
}

TrayLight::~TrayLight() = default;

TrayState TrayLight::state() const {
    const AlarmCounts counts = m_alarms.counts();
    return counts.unacknowledged > 0 ? TrayState::Unacknowledged
           : counts.total > 0        ? TrayState::Acknowledged
                                     : TrayState::Clear;
}

QString TrayLight::toolTip() const {
    const AlarmCounts counts = m_alarms.counts();
    if (counts.total == 0)
        return QStringLiteral("Varnetix NMS: no alarms");
    return QStringLiteral("Varnetix NMS: %1 %2, %3 unacknowledged, %4 active")
        .arg(counts.total)
        .arg(counts.total == 1 ? QStringLiteral("alarm") : QStringLiteral("alarms"))
        .arg(counts.unacknowledged)
        .arg(counts.active);
}

QIcon TrayLight::picture(TrayState state) {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(drawn(state, size));
    return icon;
}

void TrayLight::showState() {
    if (!m_icon)
        return;
    m_icon->setIcon(picture(state()));
    m_icon->setToolTip(toolTip());
}

void TrayLight::showWindow() {
    if (m_window.isMinimized())
        m_window.showNormal();
    else
        m_window.show();
    m_window.raise();
    m_window.activateWindow();
}

} // namespace varnetix
