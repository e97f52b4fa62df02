// A small HTTP endpoint on the event loop for Prometheus: GET (or HEAD) /metrics answers with the
// text exposition asked for at that moment, any other path with 404. It only reads requests, so
// nothing a client sends can change the station; a request is bounded in size and time, and
// the clients served at once in number.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <functional>

class QTcpSocket;

namespace varnetix {

class MetricsServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxClients = 16;
    static constexpr qsizetype kMaxRequestBytes = 8 * 1024;
    static constexpr int kRequestTimeoutMs = 10000;

    // Asked on the event loop at each scrape; the reply, also on the event loop, takes the text.
    using Reply = std::function<void(const QByteArray& text)>;
    using Exposition = std::function<void(Reply reply)>;

    explicit MetricsServer(Exposition exposition, QObject* parent = nullptr);

    // Serves there instead of where it served before; false, with the system's reason in
    // `failure`, when the address cannot be bound.
    bool listen(const QHostAddress& address, quint16 port, QString& failure);
    void close() { m_server.close(); }
    bool isListening() const { return m_server.isListening(); }
    quint16 port() const { return m_server.serverPort(); }

private:
    void accept();
    // Answers once the request's head has arrived; false while it is incomplete.
    bool answer(QTcpSocket* client, const QByteArray& request);

    QTcpServer m_server;
    Exposition m_exposition;
};

} // namespace varnetix
