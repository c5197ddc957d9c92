#include "platform/ini_style.h"

namespace pellandor {

// As WritePrivateProfileStringW writes: CR LF, sections one after another.
IniStyle nativeIniStyle() {
    return {"\r\n", false};
}

}  // namespace pellandor
