// One ICMP echo ("hello", at most 1000 ms) that does not block the event loop.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>

namespace varnetix {

struct EchoReply {
    std::int32_t status = 0;       // an echo status code (see echo_status.h), -1 unknown
    std::uint32_t roundTripMs = 0; // whole milliseconds, for status 0
};

class EchoProbe : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Prepares what an echo needs; false when this machine gives the program no way to send
    // one (no ICMP socket may be opened).
    virtual bool StartSockets() = 0;
    virtual void StopSockets() = 0;
    // Sends one echo request to the dotted address; `finished` follows exactly once, never
    // from inside this call. An address that is 0.0.0.0, 255.255.255.255 or no address gives
    // status -1 without sending. Returns false (and emits nothing) while an echo is in flight.
    virtual bool start(const QString& address) = 0;
    virtual bool busy() const = 0;

signals:
    void finished(varnetix::EchoReply reply);
};

} // namespace varnetix
