#pragma once
// Single-setting access and the listing for the command line.

#include "base/result.h"
#include "config/app_settings.h"
#include "config/call_log.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pellandor {

// The value as the program reads it: settings and dialling-rule keys
// converted as their loads convert them (flags 0/1, numbers in decimal, texts
// truncated, PW deciphered), any other key as stored. Nothing when the
// section or the key is missing. names match in any case.
std::optional<std::string> readSettingAsProgram(const std::string& path, const std::string& section,
                                                const std::string& key);

// Stores one key atomically as the program would: PW trimmed and
// enciphered, anything else verbatim. Known keys are written with their
// usual spelling whatever case was typed. The file is untouched on any
// failure: a name that is empty or holds a line break, "]", "=" or outer
// blanks (ErrorCode::InvalidArgument); a value with a line break or NUL, a
// LANGUAGE/LAN other than ENG or LOCAL, a PW whose enciphered form does not
// fit; a file that cannot be read or replaced (Busy when its lock was held).
Status writeSettingAsProgram(const std::string& path, const std::string& section, const std::string& key,
                             const std::string& value);

// Every setting the program holds after loading `path`, as
// ("SECTION/KEY", value), defaults filled in: the general settings (PW in
// clear, as held in memory), both dialling-rule sections, then CALL_LOG
// (MAX_NUM_LOG, NUM_LOG, LOG0...), DLG_POS/X, DLG_POS/Y, DLG_STATUS/IS_MAX.
std::vector<std::pair<std::string, std::string>> listSettings(const std::string& path);

}  // namespace pellandor
