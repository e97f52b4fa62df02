#include "platform/metrics_server.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <memory>

namespace varnetix {

namespace {

QByteArray response(const QByteArray& status, const QByteArray& type, const QByteArray& body,
                    bool withBody, const QByteArray& extra = {}) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" + extra +
           "Connection: close\r\n\r\n" + (withBody ? body : QByteArray());
}

const QByteArray kPlain = "text/plain; charset=utf-8";

} // namespace

MetricsServer::MetricsServer(Exposition exposition, QObject* parent)
    : QObject(parent), m_exposition(std::move(exposition)) {
    m_server.setParent(this);
    m_server.setMaxPendingConnections(kMaxClients);
    connect(&m_server, &QTcpServer::newConnection, this, &MetricsServer::accept);
}

bool MetricsServer::listen(const QHostAddress& address, quint16 port, QString& failure) {
    m_server.close();
    if (m_server.listen(address, port))
        return true;
    failure = m_server.errorString();
    return false;
}

void MetricsServer::accept() {
    while (QTcpSocket* client = m_server.nextPendingConnection()) {
        // Connections still open are the server's children until they are gone.
        if (m_server.findChildren<QTcpSocket*>().size() > kMaxClients) {
            client->abort();
            client->deleteLater();
            continue;
        }
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        // A client that never finishes its request is not kept waiting for.
        QTimer::singleShot(kRequestTimeoutMs, client, [client] {
            client->abort();
            client->deleteLater();
        });
        auto request = std::make_shared<QByteArray>();
        connect(client, &QTcpSocket::readyRead, this, [this, client, request] {
            *request += client->read(kMaxRequestBytes + 1 - request->size());
            if (answer(client, *request))
                disconnect(client, &QTcpSocket::readyRead, this, nullptr);
        });
    }
}

bool MetricsServer::answer(QTcpSocket* client, const QByteArray& request) {
    const bool complete = request.contains("\r\n\r\n") || request.contains("\n\n");
    if (!complete && request.size() <= kMaxRequestBytes)
        return false;
    const QList<QByteArray> line = request.left(request.indexOf('\n')).trimmed().split(' ');
    QByteArray reply;
    if (!complete || line.size() != 3 || !line[2].startsWith("HTTP/1.")) {
        reply = response("400 Bad Request", kPlain, "Bad request\n", true);
    } else if (line[1].split('?').first() != "/metrics") {
        reply = response("404 Not Found", kPlain, "Not found: the metrics are at /metrics\n",
                         line[0] != "HEAD");
    } else if (line[0] != "GET" && line[0] != "HEAD") {
        reply = response("405 Method Not Allowed", kPlain, "Method not allowed\n", true,
                         "Allow: GET, HEAD\r\n");
    } else {
        // The client may be gone when the text is ready.
        m_exposition([client = QPointer(client), get = line[0] == "GET"](const QByteArray& text) {
            if (!client)
                return;
            client->write(
                response("200 OK", "text/plain; version=0.0.4; charset=utf-8", text, get));
            client->disconnectFromHost();
        });
        return true;
    }
    client->write(reply);
    client->disconnectFromHost();
    return true;
}

} // namespace varnetix
