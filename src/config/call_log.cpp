#include "config/call_log.h"

#include "config/ini_file.h"
#include "config/ini_write_batch.h"

#include <algorithm>

namespace pellandor {

namespace {

constexpr std::size_t kEntryBuffer = 200;
constexpr std::size_t kPositionBuffer = 65;

// A value nobody writes: reading it back means the key is missing.
constexpr std::string_view kMissingMarker = "{63788286-AE30-4D6B-95DF-3B451C1C79F9}";

bool keyPresent(const IniFile& ini, std::string_view section, std::string_view key) {
    return ini.getString(section, key, kMissingMarker) != kMissingMarker;
}

void loadPosition(const IniFile& ini, std::string_view key, std::int32_t& field) {
    if (!keyPresent(ini, "DLG_POS", key)) return;
    const std::string text = ini.getString("DLG_POS", key, kPositionBuffer);
    // Unsigned conversion wraps, so negative positions come back as written.
    field = text.empty() ? 0 : static_cast<std::int32_t>(parseUnsignedDecimal(text));
}

std::size_t shownCount(const CallLog& log) {
    return std::min(static_cast<std::size_t>(std::max(log.count, 0)), log.entries.size());
}

}  // namespace

void loadCallLog(const std::string& path, CallLog& log, DialogState& state) {
    loadCallLog(IniFile::snapshot(path), log, state);
}

void loadCallLog(const IniFile& ini, CallLog& log, DialogState& state) {
    if (ini.sectionExists("CALL_LOG")) {
        log.limit = static_cast<std::int32_t>(ini.getUInt("CALL_LOG", "MAX_NUM_LOG"));
        const auto stored = static_cast<std::int32_t>(ini.getUInt("CALL_LOG", "NUM_LOG"));
        // A negative count would hide every number recorded later.
        log.count = std::clamp(stored, 0, kMaxLoadedCallLogEntries);
        log.entries.clear();
        for (std::int32_t i = 0; i < log.count; ++i) {
            // A missing LOG key still counts, as an empty entry.
            log.entries.push_back(ini.getString("CALL_LOG", "LOG" + std::to_string(i), kEntryBuffer));
        }
    }
    loadPosition(ini, "X", state.dialogX);
    loadPosition(ini, "Y", state.dialogY);
    if (keyPresent(ini, "DLG_STATUS", "IS_MAX")) state.dialogIsMax = ini.getBool("DLG_STATUS", "IS_MAX", 1) != 0;
}

void addToCallLog(CallLog& log, std::string_view text) {
    if (log.limit <= 0) return;
    if (log.count == log.limit) {
        if (!log.entries.empty()) log.entries.pop_back();
        log.entries.insert(log.entries.begin(), std::string(text));
    } else if (log.count < log.limit) {
        log.entries.insert(log.entries.begin(), std::string(text));
        ++log.count;
    }
}

std::vector<std::string> numberBoxEntries(const CallLog& log) {
    return {log.entries.begin(), log.entries.begin() + static_cast<std::ptrdiff_t>(shownCount(log))};
}

Status saveCallLog(const std::string& path, const CallLog& log, const DialogState& state) {
    return saveCallLogWithin(path, log, state, -1);
}

Status saveCallLogWithin(const std::string& path, const CallLog& log, const DialogState& state, int lockWaitMs) {
    IniWriteBatch batch(path);
    batch.setLockWait(lockWaitMs);
    batch.write("CALL_LOG", "MAX_NUM_LOG", std::to_string(log.limit));
    batch.write("CALL_LOG", "NUM_LOG", std::to_string(log.count));
    const std::size_t shown = shownCount(log);
    for (std::size_t i = 0; i < shown; ++i) batch.write("CALL_LOG", "LOG" + std::to_string(i), log.entries[i]);
    batch.write("DLG_POS", "X", std::to_string(state.dialogX));
    batch.write("DLG_POS", "Y", std::to_string(state.dialogY));
    batch.write("DLG_STATUS", "IS_MAX", state.dialogIsMax ? "1" : "0");
    return batch.commit();
}

}  // namespace pellandor
