#include "platform/ini_style.h"

namespace pellandor {

IniStyle nativeIniStyle() {
    return {"\n", true};
}

}  // namespace pellandor
