#include "platform/signal_notifier.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace varnetix {

namespace {

// The pipe's write end, for the handler; -1 while no notifier exists.
volatile std::sig_atomic_t g_writeFd = -1;

extern "C" void onSignal(int signalNumber) {
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a request the loop has not read: this one may go.
    [[maybe_unused]] const ssize_t written = ::write(g_writeFd, &byte, 1);
    errno = savedErrno;
}

void setAction(int signalNumber, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    // Interrupted system calls elsewhere carry on instead of failing with EINTR.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(signalNumber, &action, nullptr);
}

} // namespace

SignalNotifier::SignalNotifier(std::vector<int> signalNumbers, QObject* parent)
    : QObject(parent), m_signals(std::move(signalNumbers)) {
    int fds[2];
    if (g_writeFd >= 0 || ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_readFd = fds[0];
    g_writeFd = fds[1];
    m_notifier = std::make_unique<QSocketNotifier>(m_readFd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &SignalNotifier::drain);
    for (const int signalNumber : m_signals)
        setAction(signalNumber, onSignal);
}

SignalNotifier::~SignalNotifier() {
    if (!m_notifier)
        return;
    for (const int signalNumber : m_signals)
        setAction(signalNumber, SIG_DFL);
    m_notifier.reset();
    const int writeFd = g_writeFd;
    g_writeFd = -1;
    ::close(writeFd);
    ::close(m_readFd);
}

void SignalNotifier::drain() {
    unsigned char numbers[16];
    ssize_t count = 0;
    while ((count = ::read(m_readFd, numbers, sizeof numbers)) > 0 || (count < 0 && errno == EINTR))
        for (ssize_t i = 0; i < count; ++i)
            emit received(numbers[i]);
}

} // namespace varnetix
