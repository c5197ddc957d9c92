#pragma once
// The recently dialled numbers and the call dialog's saved place and form,
// kept in the settings file's CALL_LOG, DLG_POS and DLG_STATUS sections.

#include "base/result.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pellandor {

class IniFile;

struct CallLog {
    std::vector<std::string> entries;  // most recent first
    std::int32_t count = 0;
    std::int32_t limit = 10;
};

struct DialogState {
    std::int32_t dialogX = 0;
    std::int32_t dialogY = 0;
    bool dialogIsMax = true;
};

// At most this many entries are read back, whatever the file says.
inline constexpr std::int32_t kMaxLoadedCallLogEntries = 10;

// Reads both; what the file lacks keeps its value. Always succeeds.
void loadCallLog(const std::string& path, CallLog& log, DialogState& state);
void loadCallLog(const IniFile& ini, CallLog& log, DialogState& state);

// Puts `text` first. A full log drops its oldest entry. A log holding more
// than its limit, or a limit of 0 or less, records nothing (the kept entries
// stay), so a hand-set limit of 0 means "keep no log".
void addToCallLog(CallLog& log, std::string_view text);

// The entries the number box shows, most recent first.
std::vector<std::string> numberBoxEntries(const CallLog& log);

// Writes the log and the dialog state in one atomic replacement of the file.
Status saveCallLog(const std::string& path, const CallLog& log, const DialogState& state);

// The same, waiting at most `lockWaitMs` for another writer's lock; a busy()
// failure leaves the file untouched, to be saved again later.
Status saveCallLogWithin(const std::string& path, const CallLog& log, const DialogState& state, int lockWaitMs);

}  // namespace pellandor
