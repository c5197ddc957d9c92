#include "config/call_log.h"
#include "base/status_assert.h"
#include "support/scratch_folder.h"

namespace pellandor {
namespace {

using test::ScratchFolder;
using test::succeeded;

std::string logFile(int stored, int entries, const std::string& limit = "10") {
    std::string text = "[CALL_LOG]\nMAX_NUM_LOG=" + limit + "\nNUM_LOG=" + std::to_string(stored) + "\n";
    for (int i = 0; i < entries; ++i) text += "LOG" + std::to_string(i) + "=" + std::to_string(100 + i) + "\n";
    return text;
}

TEST_F(ScratchFolder, NoFileGivesEmptyLogAtOriginInFullForm) {
    CallLog log;
    DialogState state;
    loadCallLog(pathOf("missing.ini"), log, state);
    EXPECT_EQ(log.limit, 10);
    EXPECT_EQ(log.count, 0);
    EXPECT_TRUE(log.entries.empty());
    EXPECT_EQ(state.dialogX, 0);
    EXPECT_EQ(state.dialogY, 0);
    EXPECT_TRUE(state.dialogIsMax);
}

TEST_F(ScratchFolder, AtMostTenEntriesLoadAndMissingOnesAreEmpty) {
    put(iniPath(), logFile(15, 15));
    CallLog log;
    DialogState state;
    loadCallLog(iniPath(), log, state);
    EXPECT_EQ(log.count, 10);
    ASSERT_EQ(log.entries.size(), 10u);
    EXPECT_EQ(log.entries.front(), "100");
    EXPECT_EQ(log.entries.back(), "109");

    put(iniPath(), logFile(3, 1));
    CallLog gaps;
    loadCallLog(iniPath(), gaps, state);
    EXPECT_EQ(gaps.entries, (std::vector<std::string>{"100", "", ""}));
}

TEST_F(ScratchFolder, FullLogDropsTheOldestAndSavesTheNewestFirst) {
    put(iniPath(), logFile(10, 10));
    CallLog log;
    DialogState state;
    loadCallLog(iniPath(), log, state);
    addToCallLog(log, "555");
    addToCallLog(log, "555");
    EXPECT_EQ(log.count, 10);
    EXPECT_EQ(numberBoxEntries(log).front(), "555");
    EXPECT_EQ(numberBoxEntries(log)[1], "555");
    EXPECT_EQ(numberBoxEntries(log).back(), "107");

    state.dialogX = -120;
    state.dialogY = 40;
    state.dialogIsMax = false;
    ASSERT_TRUE(succeeded(saveCallLog(iniPath(), log, state)));
    CallLog again;
    DialogState restored;
    loadCallLog(iniPath(), again, restored);
    EXPECT_EQ(again.entries, log.entries);
    EXPECT_EQ(restored.dialogX, -120);
    EXPECT_EQ(restored.dialogY, 40);
    EXPECT_FALSE(restored.dialogIsMax);
}

TEST_F(ScratchFolder, SaveWritesTheKeysInOrderAndLeavesStaleEntries) {
    put(iniPath(), logFile(4, 4));
    CallLog log;
    log.entries = {"1", "2"};
    log.count = 2;
    ASSERT_TRUE(succeeded(saveCallLog(iniPath(), log, DialogState{})));
    EXPECT_EQ(get(iniPath()),
              "[CALL_LOG]\nMAX_NUM_LOG=10\nNUM_LOG=2\nLOG0=1\nLOG1=2\nLOG2=102\nLOG3=103\n\n"
              "[DLG_POS]\nX=0\nY=0\n\n[DLG_STATUS]\nIS_MAX=1\n");
}

TEST_F(ScratchFolder, DialogStateKeysAreReadOnlyWhenPresent) {
    // X starts at 7 to show when a load leaves it alone.
    const struct {
        const char* file;
        int x, y;
        bool isMax;
    } cases[] = {
        {"[DLG_POS]\nX=15\n", 15, 0, true},
        {"[DLG_POS]\nX=\nY=4294967295\n", 0, -1, true},
        {"[DLG_STATUS]\nIS_MAX=\n", 7, 0, true},
        {"[DLG_STATUS]\nIS_MAX=no\n", 7, 0, false},
        {"[DLG_POS]\nX={63788286-AE30-4D6B-95DF-3B451C1C79F9}\n", 7, 0, true},
    };
    for (const auto& c : cases) {
        put(iniPath(), c.file);
        CallLog log;
        DialogState state;
        state.dialogX = 7;
        loadCallLog(iniPath(), log, state);
        EXPECT_EQ(state.dialogX, c.x) << c.file;
        EXPECT_EQ(state.dialogY, c.y) << c.file;
        EXPECT_EQ(state.dialogIsMax, c.isMax) << c.file;
    }
}

// A hand-edited limit of 0 or less must neither crash nor lose what is logged:
// such a log records nothing and keeps its entries.
TEST_F(ScratchFolder, LimitOfZeroOrLessRecordsNothingAndKeepsTheLog) {
    for (const char* limit : {"0", "-3"}) {
        for (int stored : {0, 2}) {
            put(iniPath(), logFile(stored, stored, limit));
            CallLog log;
            DialogState state;
            loadCallLog(iniPath(), log, state);
            addToCallLog(log, "999");
            EXPECT_EQ(log.count, stored) << limit;
            EXPECT_EQ(static_cast<int>(numberBoxEntries(log).size()), stored) << limit;
            ASSERT_TRUE(succeeded(saveCallLog(iniPath(), log, state)));
            CallLog again;
            loadCallLog(iniPath(), again, state);
            EXPECT_EQ(again.entries, log.entries) << limit;
            EXPECT_EQ(std::to_string(again.limit), limit);
        }
    }
    // A negative stored count would hide every later entry.
    put(iniPath(), logFile(-5, 0));
    CallLog log;
    DialogState state;
    loadCallLog(iniPath(), log, state);
    addToCallLog(log, "123");
    EXPECT_EQ(numberBoxEntries(log), std::vector<std::string>{"123"});
}

}  // namespace
}  // namespace pellandor
