#pragma once
// One logging category per subsystem; warnings only unless QT_LOGGING_RULES
// asks for more (e.g. QT_LOGGING_RULES="pellandor.*.debug=true").

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcApp)
Q_DECLARE_LOGGING_CATEGORY(lcTray)
Q_DECLARE_LOGGING_CATEGORY(lcClipboard)
Q_DECLARE_LOGGING_CATEGORY(lcInstance)
Q_DECLARE_LOGGING_CATEGORY(lcDemo)
