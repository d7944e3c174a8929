#include "app/webupdate/LocalHttpServer.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace ven::testing {

TLocalHttpServer::TLocalHttpServer() {
    _server.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&_server, &QTcpServer::newConnection, [this] { Accept(); });
}

QString TLocalHttpServer::Url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(_server.serverPort()).arg(path);
}

void TLocalHttpServer::Serve(const QString& path, const QByteArray& body, int status) {
    _routes[path] = TRoute{status, body, QString()};
}

void TLocalHttpServer::Redirect(const QString& path, const QString& location) {
    _routes[path] = TRoute{302, QByteArray(), location};
}

void TLocalHttpServer::Accept() {
    while (QTcpSocket* socket = _server.nextPendingConnection()) {
        QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] { Read(socket); });
        QObject::connect(socket, &QTcpSocket::disconnected, [this, socket] {
            _pending.erase(socket);
            socket->deleteLater();
        });
    }
}

void TLocalHttpServer::Read(QTcpSocket* socket) {
    QByteArray& buffer = _pending[socket];
    buffer += socket->readAll();
    qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0) {
        return;
    }
    QList<QByteArray> lines = buffer.left(end).split('\n');
    buffer.remove(0, end + 4);
    QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    TRequest request{QUrl::fromPercentEncoding(requestLine.value(1)), QString()};
    for (const QByteArray& line : lines) {
        if (line.toLower().startsWith("user-agent:")) {
            request.UserAgent = QString::fromLatin1(line.mid(11).trimmed());
        }
    }
    Requests.push_back(request);
    if (_blSilent) {
        return;
    }
    auto it = _routes.find(request.Path);
    if (_blTrickle || (it != _routes.end() && it->second.Trickle)) {
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
        auto* timer = new QTimer(socket);
        QObject::connect(timer, &QTimer::timeout, socket, [socket] { socket->write(";"); });
        timer->start(50);
        return;
    }
    TRoute route = it != _routes.end() ? it->second : TRoute{404, QByteArray("not found"), QString()};
    QByteArray head = "HTTP/1.1 " + QByteArray::number(route.Status) +
                      (route.Status == 200   ? " OK"
                       : route.Status == 404 ? " Not Found"
                                             : " Other") +
                      "\r\nContent-Length: " + QByteArray::number(route.Body.size()) +
                      "\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n";
    if (!route.Location.isEmpty()) {
        head += "Location: " + route.Location.toLatin1() + "\r\n";
    }
    socket->write(head + "\r\n" + route.Body);
    socket->disconnectFromHost();
}

} // namespace ven::testing
