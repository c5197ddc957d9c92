#pragma once
// SIGTERM, SIGINT and SIGHUP turned into a Qt signal on the GUI thread, so a
// logout or Ctrl+C ends the program cleanly (and saves) instead of killing it.

#include <QObject>

class QSocketNotifier;

namespace pellandor {

class QuitSignals final : public QObject {
    Q_OBJECT

public:
    // One per process; the handlers write into a pipe the event loop watches.
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

signals:
    void received(int signalNumber);

private:
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace pellandor
