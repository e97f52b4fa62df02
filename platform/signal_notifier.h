// The system's requests to a running station (SIGTERM, SIGINT, SIGHUP) as a Qt signal on the
// event loop: the handler only writes the signal's number to a pipe, and a QSocketNotifier
// reads it back, so that whatever the station does about it runs on its own thread, in any
// event loop, a modal box's included.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>
#include <vector>

namespace varnetix {

class SignalNotifier : public QObject {
    Q_OBJECT
public:
    // Takes these signals for the whole process; one notifier at a time.
    explicit SignalNotifier(std::vector<int> signalNumbers, QObject* parent = nullptr);
    // Gives them back to their default action.
    ~SignalNotifier() override;
    SignalNotifier(const SignalNotifier&) = delete;
    SignalNotifier& operator=(const SignalNotifier&) = delete;

    // False when the pipe or a handler could not be set up; the signals then keep their
    // default action.
    bool isActive() const { return m_notifier != nullptr; }

signals:
    void received(int signalNumber);

private:
    void drain();

    std::vector<int> m_signals;
    int m_readFd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace varnetix
