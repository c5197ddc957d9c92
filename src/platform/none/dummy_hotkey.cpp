#include "platform/global_hotkey.h"
#include "platform/hotkey_names.h"

#include <QGuiApplication>

Q_LOGGING_CATEGORY(lcHotkey, "pellandor.hotkey", QtWarningMsg)

namespace pellandor {

namespace {

class DummyHotkey final : public GlobalHotkey {
public:
    explicit DummyHotkey(std::string why) : why_(std::move(why)) {}

    bool apply(const std::string& modifier, const std::string& key) override {
        qCInfo(lcHotkey) << "no global hotkey on platform" << QGuiApplication::platformName() << "for"
                         << modifier.c_str() << key.c_str();
        // Once per run: the settings dialog applies the hotkey again on every OK.
        if (!why_.empty() && !reported_) {
            reported_ = true;
            qCWarning(lcHotkey).noquote() << QString::fromStdString(hotkeyUnavailableText(modifier, key, why_));
        }
        return false;
    }
    void remove() override {}
    bool isRegistered() const override { return false; }

private:
    std::string why_;
    bool reported_ = false;
};

}  // namespace

std::unique_ptr<GlobalHotkey> createDummyHotkey(const std::string& why) {
    return std::make_unique<DummyHotkey>(why);
}

}  // namespace pellandor
