#pragma once
// The desktop program's run: one instance, the controller, the event loop
// and a clean end (saving) on Exit or a termination signal.

#include <QString>

#include <functional>
#include <string>

class QApplication;

namespace pellandor {

struct TrayProgramOptions {
    std::string settingsPath;
    QString instanceDir;              // empty: no single-instance rule
    std::string firstLine;            // "show" or "dial <number>" for this start
    std::function<void()> onStarted;  // after the tray is up (the demo prints its hints)
};

// Sets the application's names, icon and quit rules.
void prepareApplication(QApplication& app);

// Returns the exit status.
int runTrayProgram(QApplication& app, const TrayProgramOptions& options);

}  // namespace pellandor
