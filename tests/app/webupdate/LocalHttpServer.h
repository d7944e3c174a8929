#pragma once
// A tiny HTTP/1.1 server on 127.0.0.1 for the update tests: fixed answers per path, redirects,
// or silence. Runs on the test's own thread, served by whatever event loop is running.
#include <QByteArray>
#include <QString>
#include <QTcpServer>

#include <map>
#include <vector>

class QTcpSocket;

namespace ven::testing {

class TLocalHttpServer {
public:
    struct TRequest {
        QString Path;
        QString UserAgent;
    };

    TLocalHttpServer();
    /// "http://127.0.0.1:<port>" + path.
    QString Url(const QString& path) const;
    /// Answers GET path with status and body; unknown paths get 404.
    void Serve(const QString& path, const QByteArray& body, int status = 200);
    /// Answers GET path with "302 Found" to location.
    void Redirect(const QString& path, const QString& location);
    /// Accepts connections and reads the requests but never answers.
    void SetSilent(bool silent) { _blSilent = silent; }
    /// Answers with a long body sent one byte every 50 ms, never finishing in a test's time.
    void SetTrickle(bool trickle) { _blTrickle = trickle; }
    /// Answers GET path as SetTrickle answers every path.
    void Trickle(const QString& path) { _routes[path] = TRoute{200, QByteArray(), QString(), true}; }

    std::vector<TRequest> Requests;

private:
    struct TRoute {
        int Status = 200;
        QByteArray Body;
        QString Location;
        bool Trickle = false;
    };
    void Accept();
    void Read(QTcpSocket* socket);

    std::map<QString, TRoute> _routes;
    std::map<QTcpSocket*, QByteArray> _pending;
    bool _blSilent = false;
    bool _blTrickle = false;
    QTcpServer _server; // last: its sockets go first, while the maps they use still exist
};

} // namespace ven::testing
