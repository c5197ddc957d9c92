#pragma once
// How the system's own profile functions lay out a file they write, so that
// ours look the same where the system has such functions.

#include <string_view>

namespace pellandor {

struct IniStyle {
    std::string_view newFileLineEnd;  // for a file that has no line end yet
    bool blankLineBeforeNewSection;   // between the file's last line and an appended section
};

IniStyle nativeIniStyle();

}  // namespace pellandor
