#include "app/logging.h"

#include "base/log.h"

#include <memory>

Q_LOGGING_CATEGORY(lcApp, "pellandor.app", QtWarningMsg)
Q_LOGGING_CATEGORY(lcTray, "pellandor.tray", QtWarningMsg)
Q_LOGGING_CATEGORY(lcClipboard, "pellandor.clipboard", QtWarningMsg)
Q_LOGGING_CATEGORY(lcInstance, "pellandor.instance", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDemo, "pellandor.demo", QtWarningMsg)
Q_LOGGING_CATEGORY(lcCall, "pellandor.call", QtWarningMsg)
Q_LOGGING_CATEGORY(lcRequest, "pellandor.request", QtWarningMsg)
Q_LOGGING_CATEGORY(lcConfig, "pellandor.config", QtWarningMsg)

namespace pellandor {

namespace {

using Category = const QLoggingCategory& (*)();

Category categoryFor(std::string_view name) {
    if (name == kLogCall) return lcCall;
    if (name == kLogRequest) return lcRequest;
    if (name == kLogConfig) return lcConfig;
    return lcApp;
}

class QtLogSink final : public LogSink {
public:
    void write(LogLevel level, std::string_view category, std::string_view message) override {
        const Category lc = categoryFor(category);
        const QString text = QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
        switch (level) {
            case LogLevel::Debug:
                qCDebug(lc).noquote() << text;
                break;
            case LogLevel::Info:
                qCInfo(lc).noquote() << text;
                break;
            case LogLevel::Warning:
                qCWarning(lc).noquote() << text;
                break;
        }
    }
};

}  // namespace

void installMessagePattern() {
    qSetMessagePattern(
        QStringLiteral("%{if-debug}%{category}: %{endif}%{if-info}%{category}: %{endif}"
                       "%{if-warning}pellandor: %{endif}%{if-critical}pellandor: %{endif}"
                       "%{if-fatal}pellandor: %{endif}%{message}"));
}

void installCoreLogSink() {
    setLogSink(std::make_shared<QtLogSink>());
}

}  // namespace pellandor
