#pragma once
// The message a crash leaves for the user, shown by a separate process the
// crash handler starts: `pellandor --crash-notice FILE` or
// `pellandor --crash-notice-failed`.

#include <string>

namespace pellandor {

class LanguageTable;

// True when the arguments ask for the crash notice.
bool isCrashNoticeCall(int argc, char** argv);

// Shows the notice (also on stderr) and returns the exit code. Creates its
// own QApplication: call it before any other, and without installing the
// crash handler, so a failing notice cannot start another one.
int runCrashNotice(int argc, char** argv);

// The notice's title and text for a crash file, or for no file when empty
// (that text comes from `texts`).
std::string crashNoticeTitle();
std::string crashNoticeText(const std::string& crashFile, const LanguageTable& texts);

// For tests of the whole program: crashes at `site` ("gui": the GUI thread,
// "worker": the request worker, by a stack overflow) once the event loop
// runs. False for any other site.
bool scheduleCrashTest(const std::string& site);

}  // namespace pellandor
