#include "app/logging.h"

Q_LOGGING_CATEGORY(lcApp, "pellandor.app", QtWarningMsg)
Q_LOGGING_CATEGORY(lcTray, "pellandor.tray", QtWarningMsg)
Q_LOGGING_CATEGORY(lcClipboard, "pellandor.clipboard", QtWarningMsg)
Q_LOGGING_CATEGORY(lcInstance, "pellandor.instance", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDemo, "pellandor.demo", QtWarningMsg)
