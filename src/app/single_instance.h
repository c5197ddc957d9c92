#pragma once
// One running program per user: a lock file held for the program's life and
// a local socket on which a second start hands over one line. The socket is
// a plain AF_UNIX one on the event loop: the program needs nothing else of a
// network library, and leaving one out keeps about 1.7 MiB off its idle size.

#include <QLockFile>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include "base/result.h"
#include "base/unique_fd.h"

namespace pellandor {

class SingleInstance final : public QObject {
    Q_OBJECT

public:
    // `dir` is a private folder (instanceRuntimeDir, or a test's own).
    explicit SingleInstance(const QString& dir, QObject* parent = nullptr);
    ~SingleInstance() override;

    enum class Claim {
        Primary,           // this process runs the program and listens
        RunningElsewhere,  // another live process holds the lock
    };
    // Takes over a lock or socket left by a process that died, and a lock
    // file that names no process at all. A failure leaves the program free
    // to run without the rule.
    Result<Claim> claim();
    QString socketPath() const { return socketPath_; }

signals:
    // One line from a second start, without its line break.
    void lineReceived(const QString& line);

private:
    class Client;

    // Removes a lock file that names no process and no live owner holds.
    bool removeOwnerlessLock();
    Status listen();
    void onNewConnection();
    void onClientReadable(Client* client);

    QString socketPath_;
    QLockFile lock_;
    UniqueFd listener_;
    QSocketNotifier* notifier_ = nullptr;  // child; watches listener_
};

}  // namespace pellandor
