#include "app/single_instance.h"

#include "app/instance_channel.h"
#include "app/logging.h"

#include <QLocalSocket>
#include <QTimer>

namespace pellandor {

namespace {

// A client that connects and says nothing is dropped after this long.
constexpr int kClientTimeoutMs = 5000;

}  // namespace

SingleInstance::SingleInstance(const QString& dir, QObject* parent)
    : QObject(parent),
      socketPath_(QString::fromStdString(InstanceSocketPath(dir.toStdString()))),
      lock_(QString::fromStdString(InstanceLockPath(dir.toStdString()))) {
    // Held for the program's whole life: only a dead owner makes it stale.
    lock_.setStaleLockTime(0);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
}

SingleInstance::~SingleInstance() {
    server_.close();
}

SingleInstance::Claim SingleInstance::claim() {
    if (!lock_.tryLock(0)) {
        if (lock_.error() == QLockFile::LockFailedError) return Claim::RunningElsewhere;
        error_ = QStringLiteral("cannot create the lock file %1").arg(lock_.fileName());
        return Claim::Failed;
    }
    // A live listener without its lock file (a /tmp cleaner may remove it)
    // still owns the socket.
    QLocalSocket probe;
    probe.connectToServer(socketPath_);
    if (probe.waitForConnected(500)) {
        probe.abort();
        lock_.unlock();
        qCWarning(lcInstance) << "a running instance listens at" << socketPath_ << "without its lock file";
        return Claim::RunningElsewhere;
    }
    // What is left was left by an instance that died.
    QLocalServer::removeServer(socketPath_);
    if (!server_.listen(socketPath_)) {
        error_ = QStringLiteral("cannot listen on %1: %2").arg(socketPath_, server_.errorString());
        return Claim::Failed;
    }
    qCInfo(lcInstance) << "listening on" << socketPath_;
    return Claim::Primary;
}

void SingleInstance::onNewConnection() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(kClientTimeoutMs, socket, [socket] { socket->abort(); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            const qsizetype newline = socket->peek(static_cast<qint64>(kMaxInstanceLine) + 1).indexOf('\n');
            if (newline < 0) {
                if (socket->bytesAvailable() > static_cast<qint64>(kMaxInstanceLine)) {
                    qCWarning(lcInstance) << "a second start sent an over-long line; dropped";
                    socket->abort();
                }
                return;
            }
            const QString line = QString::fromUtf8(socket->read(newline + 1).chopped(1));
            // Answer before acting: the second start ends as soon as it has the answer.
            socket->write("ok\n");
            socket->flush();
            socket->disconnectFromServer();
            QMetaObject::invokeMethod(this, [this, line] { emit lineReceived(line); }, Qt::QueuedConnection);
        });
    }
}

}  // namespace pellandor
