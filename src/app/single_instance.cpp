#include "app/single_instance.h"

#include "desktop_logic/instance_channel.h"
#include "app/logging.h"

#include <QTimer>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

namespace pellandor {

namespace {

// A client that connects and says nothing is dropped after this long.
constexpr int kClientTimeoutMs = 5000;

// Out of descriptors, a waiting connection keeps the listener readable: it is
// left alone this long before the next try.
constexpr int kAcceptBackOffMs = 250;

bool outOfResources(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

}  // namespace

// One second start's connection: its bytes until the line break, and the
// time it is given to send them.
class SingleInstance::Client final : public QObject {
public:
    Client(int fd, SingleInstance* owner)
        : QObject(owner), fd_(fd), notifier_(new QSocketNotifier(fd, QSocketNotifier::Read, this)) {
        connect(notifier_, &QSocketNotifier::activated, owner, [owner, this] { owner->onClientReadable(this); });
        QTimer::singleShot(kClientTimeoutMs, this, [this] { drop(); });
    }
    ~Client() override {
        // The notifier goes before the descriptor it watches.
        delete notifier_;
    }

    int fd() const { return fd_.get(); }
    std::string& buffer() { return buffer_; }

    // Safe from inside this client's own notifier or timer.
    void drop() {
        notifier_->setEnabled(false);
        deleteLater();
    }

private:
    UniqueFd fd_;
    QSocketNotifier* notifier_;
    std::string buffer_;
};

SingleInstance::SingleInstance(const QString& dir, QObject* parent)
    : QObject(parent),
      socketPath_(QString::fromStdString(instanceSocketPath(dir.toStdString()))),
      lock_(QString::fromStdString(instanceLockPath(dir.toStdString()))) {
    // Held for the program's whole life: only a dead owner makes it stale.
    lock_.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() {
    if (!listener_.isOpen()) return;
    delete notifier_;
    notifier_ = nullptr;
    listener_.reset();
    // Ours: a later start finds no socket to probe.
    ::unlink(socketPath_.toLocal8Bit().constData());
}

Result<SingleInstance::Claim> SingleInstance::claim() {
    bool locked = lock_.tryLock(0);
    if (!locked && lock_.error() == QLockFile::LockFailedError && removeOwnerlessLock()) locked = lock_.tryLock(0);
    if (!locked) {
        if (lock_.error() == QLockFile::LockFailedError) return Claim::RunningElsewhere;
        return failure(QStringLiteral("cannot create the lock file %1").arg(lock_.fileName()).toStdString());
    }
    // A live listener without its lock file (a /tmp cleaner may remove it)
    // still owns the socket.
    if (isInstanceListening(socketPath_.toStdString())) {
        lock_.unlock();
        qCWarning(lcInstance) << "a running instance listens at" << socketPath_ << "without its lock file";
        return Claim::RunningElsewhere;
    }
    if (Status listening = listen(); !listening) return failure(listening.error());
    qCInfo(lcInstance) << "listening on" << socketPath_;
    return Claim::Primary;
}

bool SingleInstance::removeOwnerlessLock() {
    // QLockFile takes over a lock naming a dead process, but not one naming
    // none (left empty or cut short by a power cut, or unreadable), which
    // would lock the user out for good.
    qint64 pid = 0;
    QString host, application;
    if (lock_.getLockInfo(&pid, &host, &application) && pid > 0) return false;
    const QByteArray path = lock_.fileName().toLocal8Bit();
    UniqueFd fd(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!fd.isOpen() && errno == ENOENT) return true;
    // A live owner holds this from just before it writes its process id.
    if (fd.isOpen() && ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return false;
    qCWarning(lcInstance) << "the lock file" << lock_.fileName() << "names no process; taking it over";
    return ::unlink(path.constData()) == 0 || errno == ENOENT;
}

Status SingleInstance::listen() {
    const QByteArray path = socketPath_.toLocal8Bit();
    const std::optional<sockaddr_un> address = instanceSocketAddress(path.toStdString());
    if (!address) {
        return failure(
            QStringLiteral("cannot listen on %1: the path is too long for a socket").arg(socketPath_).toStdString());
    }
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    // What is left was left by an instance that died.
    ::unlink(path.constData());
    if (!fd.isOpen() || ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0 ||
        ::chmod(path.constData(), 0600) != 0 || ::listen(fd.get(), 16) != 0) {
        return failure(QStringLiteral("cannot listen on %1: %2")
                           .arg(socketPath_, QString::fromLocal8Bit(std::strerror(errno)))
                           .toStdString());
    }
    listener_ = std::move(fd);
    notifier_ = new QSocketNotifier(listener_.get(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SingleInstance::onNewConnection);
    return {};
}

void SingleInstance::onNewConnection() {
    for (;;) {
        const int fd = ::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (outOfResources(errno)) {
                // The connection stays queued and the listener readable: trying
                // again at once would spin.
                qCWarning(lcInstance) << "accept failed:" << std::strerror(errno) << "; trying again in"
                                      << kAcceptBackOffMs << "ms";
                notifier_->setEnabled(false);
                QTimer::singleShot(kAcceptBackOffMs, this, [this] {
                    if (notifier_) notifier_->setEnabled(true);
                });
                return;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                qCWarning(lcInstance) << "accept failed:" << std::strerror(errno);
            return;
        }
        new Client(fd, this);
    }
}

void SingleInstance::onClientReadable(Client* client) {
    char buffer[1024];
    const ssize_t n = ::recv(client->fd(), buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n <= 0) {
        client->drop();  // gone before its line break
        return;
    }
    std::string& pending = client->buffer();
    pending.append(buffer, static_cast<std::size_t>(n));
    const std::size_t newline = pending.find('\n');
    if (newline == std::string::npos || newline > kMaxInstanceLine) {
        if (pending.size() > kMaxInstanceLine) {
            qCWarning(lcInstance) << "a second start sent an over-long line; dropped";
            client->drop();
        }
        return;
    }
    const QString line = QString::fromUtf8(pending.data(), static_cast<qsizetype>(newline));
    // Answer before acting: the second start ends as soon as it has the answer.
    static constexpr char kOk[] = "ok\n";
    [[maybe_unused]] const ssize_t sent = ::send(client->fd(), kOk, sizeof kOk - 1, MSG_NOSIGNAL);
    client->drop();
    QMetaObject::invokeMethod(
        this, [this, line] { emit lineReceived(line); }, Qt::QueuedConnection);
}

}  // namespace pellandor
