#include "platform/global_hotkey.h"

#include <QGuiApplication>

Q_LOGGING_CATEGORY(lcHotkey, "pellandor.hotkey", QtWarningMsg)

namespace pellandor {

namespace {

class DummyHotkey final : public GlobalHotkey {
public:
    bool apply(const std::string& modifier, const std::string& key) override {
        qCInfo(lcHotkey) << "no global hotkey on platform" << QGuiApplication::platformName() << "for"
                         << modifier.c_str() << key.c_str();
        return false;
    }
    void remove() override {}
    bool isRegistered() const override { return false; }
};

}  // namespace

std::unique_ptr<GlobalHotkey> createDummyHotkey() {
    return std::make_unique<DummyHotkey>();
}

}  // namespace pellandor
