#pragma once
// A small HTTP server on 127.0.0.1 for the downloader's tests, served by the
// test thread's Qt event loop. Each path maps to a canned answer; "hold"
// answers nothing until release(); every request's headers are kept.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <atomic>

namespace orv::test {

class LocalHttpServer : public QObject {
public:
    struct Answer {
        int status = 200;
        QByteArray contentType = "image/png";
        QByteArray body;
        bool hold = false;          // answer only when released
        qint64 endlessBytes = 0;    // stream this many bytes of filler instead of `body`
    };

    LocalHttpServer()
    {
        server_.listen(QHostAddress::LocalHost, 0);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onRead(socket); });
                connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                    ++disconnects_;
                    socket->deleteLater();
                });
            }
        });
    }

    void route(const QByteArray& path, Answer answer) { routes_.insert(path, std::move(answer)); }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()); }
    int requests() const { return int(requestHeads_.size()); }
    const QList<QByteArray>& requestHeads() const { return requestHeads_; }
    int disconnects() const { return disconnects_; }
    int held() const { return int(held_.size()); }

    // Answers every held request.
    void release()
    {
        for (const auto& [socket, path] : held_) {
            if (socket)
                write(socket, routes_.value(path));
        }
        held_.clear();
    }

private:
    void onRead(QTcpSocket* socket)
    {
        QByteArray& buffer = buffers_[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray head = buffer.left(end);
        buffer.clear();
        requestHeads_.append(head);
        const QByteArray path = head.split(' ').value(1);
        const Answer answer = routes_.value(path, Answer{404, "text/html", "<html>no such page</html>"});
        if (answer.hold) {
            held_.append({QPointer<QTcpSocket>(socket), path});
            return;
        }
        write(socket, answer);
    }

    void write(QTcpSocket* socket, const Answer& answer)
    {
        QByteArray reply = "HTTP/1.1 " + QByteArray::number(answer.status) + " X\r\nContent-Type: " +
                           answer.contentType + "\r\nConnection: close\r\n";
        if (answer.endlessBytes > 0) {
            reply += "Content-Length: " + QByteArray::number(answer.endlessBytes) + "\r\n\r\n";
            socket->write(reply);
            const QByteArray chunk(64 * 1024, 'x');
            for (qint64 sent = 0; sent < answer.endlessBytes && socket->state() == QAbstractSocket::ConnectedState;
                 sent += chunk.size()) {
                socket->write(chunk);
                socket->waitForBytesWritten(50);
            }
            return;
        }
        reply += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n\r\n" + answer.body;
        socket->write(reply);
        socket->disconnectFromHost();
    }

    QTcpServer server_;
    QHash<QByteArray, Answer> routes_;
    QHash<QTcpSocket*, QByteArray> buffers_;
    QList<QByteArray> requestHeads_;
    QList<std::pair<QPointer<QTcpSocket>, QByteArray>> held_;
    int disconnects_ = 0;
};

}  // namespace orv::test
