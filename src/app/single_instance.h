#pragma once
// One running program per user: a lock file held for the program's life and
// a local socket on which a second start hands over one line.

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

namespace pellandor {

class SingleInstance : public QObject {
    Q_OBJECT

public:
    // `dir` is a private folder (InstanceRuntimeDir, or a test's own).
    explicit SingleInstance(const QString& dir, QObject* parent = nullptr);
    ~SingleInstance() override;

    enum class Claim {
        Primary,        // this process runs the program and listens
        RunningElsewhere,  // another live process holds the lock
        Failed,         // see error(); the program may run without the rule
    };
    // Takes over a lock or socket left by a process that died.
    Claim claim();
    QString error() const { return error_; }
    QString socketPath() const { return socketPath_; }

signals:
    // One line from a second start, without its line break.
    void lineReceived(const QString& line);

private:
    void onNewConnection();

    QString socketPath_;
    QLockFile lock_;
    QLocalServer server_;
    QString error_;
};

}  // namespace pellandor
