// The ping test of the element panel: a click on lblPing sends one echo to the element's
// address, shows the outcome on lblPing and shpPing, and a time-out counts down and retries.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QTimer;

namespace varnetix {

class CaptionLabel;
class EchoProbe;
class OperatorDialogs;
class ShapeIndicator;
struct EchoReply;

class PingController : public QObject {
    Q_OBJECT
public:
    // `elementIp` gives the text of txtElementIP at the moment it is asked.
    PingController(CaptionLabel& lblPing, ShapeIndicator& shpPing, QTimer& tmrRetryPing,
                   EchoProbe& probe, OperatorDialogs& dialogs, std::function<QString()> elementIp,
                   QObject* parent = nullptr);

    // One test of `address` with its display; returns at once, the outcome follows later.
    void PingElement(const QString& address);

    qint16 countdown() const { return m_countdown; }
    void setCountdown(qint16 countdown) { m_countdown = countdown; }
    bool inFlight() const { return m_inFlight; }

private:
    void onClicked();
    void onCaptionChanged(const QString& caption);
    void onRetryTick();
    void onEchoFinished(const EchoReply& reply);
    void showCaption(const QString& caption);

    CaptionLabel& m_lblPing;
    ShapeIndicator& m_shpPing;
    QTimer& m_tmrRetryPing;
    EchoProbe& m_probe;
    OperatorDialogs& m_dialogs;
    std::function<QString()> m_elementIp;
    qint16 m_countdown = 3;
    bool m_inFlight = false;
    bool m_showingOwnCaption = false;
    bool m_resultStale = false;
};

} // namespace varnetix
