// ICMP echoes to many addresses at once, each bounded by its own time-out, for watching every
// element of the database without blocking the event loop. Unlike the ping test's "hello",
// each echo carries data of its own that only the host it went to can send back.
#pragma once

#include "platform/echo_probe.h"

#include <QObject>
#include <QString>

namespace varnetix {

class EchoSweeper : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // False when this machine gives the program no ICMP socket; unavailableReason() says why.
    virtual bool open() = 0;
    virtual QString unavailableReason() const = 0;
    // Queues one echo to the dotted address. `finished` follows exactly once for the token,
    // never from inside this call, unless cancelAll() comes first. An address that is 0.0.0.0,
    // 255.255.255.255 or no address, or any address while no socket is open, gives status -1
    // without sending.
    virtual void send(const QString& address, quint64 token) = 0;
    // Echoes queued or awaiting their answer.
    virtual int inFlight() const = 0;
    // Forgets every queued and waiting echo: none of them gives a result, and late answers to
    // them are ignored.
    virtual void cancelAll() = 0;
    // Echo replies received and not taken (another host's, forged, repeated or late).
    virtual quint64 rejectedReplies() const { return 0; }

signals:
    void finished(quint64 token, varnetix::EchoReply reply);
};

} // namespace varnetix
