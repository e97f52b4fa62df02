// The ping test of the diagnostics panel: a click on lblPing sends one echo to the element's
// address and shows the outcome; a time-out counts down and retries.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

namespace varnetix {

class EchoProbe;
class EventSink;
class OperatorDialogs;
struct EchoReply;

enum class PingColour { NotTested, Answered, Failed };

// lblPing and shpPing as the ping test sees them.
class PingIndicator {
public:
    virtual ~PingIndicator() = default;
    virtual void showPingCaption(const QString& caption) = 0;
    virtual void showPingColour(PingColour colour) = 0;
};

class PingController : public QObject {
    Q_OBJECT
public:
    // `elementIp` gives the text of the panel's address field at the moment it is asked.
    // `elementMac` names the element whose address is tested, for the event log.
    PingController(PingIndicator& indicator, EchoProbe& probe, OperatorDialogs& dialogs,
                   EventSink& log, std::function<QString()> elementIp,
                   std::function<QString()> elementMac, int retryIntervalMs,
                   QObject* parent = nullptr);

    // One test of `address` with its display; returns at once, the outcome follows later.
    void pingElement(const QString& address);
    // The click on lblPing: a test, or the end of a running countdown.
    void clicked();
    // The caption shown on lblPing. Every caption passes the retry rule: one that reports a
    // time-out starts the countdown.
    void setCaption(const QString& caption);
    QString caption() const { return m_caption; }
    void setColour(PingColour colour);

    qint16 countdown() const { return m_countdown; }
    void setCountdown(qint16 countdown) { m_countdown = countdown; }
    bool inFlight() const { return m_inFlight; }

private:
    void onRetryTick();
    void onEchoFinished(const EchoReply& reply);
    void showOwnCaption(const QString& caption);

    PingIndicator& m_indicator;
    EchoProbe& m_probe;
    OperatorDialogs& m_dialogs;
    EventSink& m_log;
    std::function<QString()> m_elementIp;
    std::function<QString()> m_elementMac;
    QString m_pingedAddress, m_pingedMac;
    QTimer m_pingRetry;
    QString m_caption = QStringLiteral("<Unknown>");
    qint16 m_countdown = 3;
    bool m_inFlight = false;
    bool m_showingOwnCaption = false;
    bool m_resultStale = false;
};

} // namespace varnetix
