#pragma once
// One logging category per subsystem; warnings only unless QT_LOGGING_RULES
// asks for more (e.g. QT_LOGGING_RULES="pellandor.*.debug=true").

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcApp)
Q_DECLARE_LOGGING_CATEGORY(lcTray)
Q_DECLARE_LOGGING_CATEGORY(lcClipboard)
Q_DECLARE_LOGGING_CATEGORY(lcInstance)
Q_DECLARE_LOGGING_CATEGORY(lcDemo)
// The core's subsystems, fed through its log seam.
Q_DECLARE_LOGGING_CATEGORY(lcCall)
Q_DECLARE_LOGGING_CATEGORY(lcRequest)
Q_DECLARE_LOGGING_CATEGORY(lcConfig)

namespace pellandor {

// Formats every message of the program: a warning or worse speaks to the
// user, "pellandor: ..." as the command line does; debug and info lines name
// their category for whoever turned them on. QT_MESSAGE_PATTERN still wins.
// Call first thing in main().
void installMessagePattern();

// Routes the core's log lines into the categories above (the core's own
// category names prefixed with "pellandor."), so they reach stderr or the
// journal like the program's other messages.
void installCoreLogSink();

}  // namespace pellandor
