#include "platform/crash_handler.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <thread>
#include <vector>

extern char** environ;

namespace pellandor {
namespace {

namespace fs = std::filesystem;

TEST(crashFileName, CalendarMatchesTheSystemsAndNameHasTheFixedPattern) {
    // Leap days, century rules, year ends and times before 1970.
    for (long long seconds : {0LL, 951782400LL, 951868799LL, 1709164800LL, 4107542399LL, 4102444800LL, -86400LL, -1LL,
                              1770127509LL, 253402300799LL}) {
        const std::time_t t = static_cast<std::time_t>(seconds);
        std::tm expected{};
        ASSERT_NE(gmtime_r(&t, &expected), nullptr);
        const CivilTime got = civilFromSeconds(seconds);
        EXPECT_EQ(got.year, expected.tm_year + 1900) << seconds;
        EXPECT_EQ(got.month, expected.tm_mon + 1) << seconds;
        EXPECT_EQ(got.day, expected.tm_mday) << seconds;
        EXPECT_EQ(got.hour, expected.tm_hour) << seconds;
        EXPECT_EQ(got.minute, expected.tm_min) << seconds;
        EXPECT_EQ(got.second, expected.tm_sec) << seconds;
    }
    EXPECT_EQ(crashFileName("Ulvex Pellandor", CivilTime{2026, 2, 3, 14, 5, 9}),
              "Ulvex Pellandor_Err_2026-02-03 14_05_09.DMP");
}

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CrashRun : public test::ScratchFolder {
protected:
    void SetUp() override {
        ScratchFolder::SetUp();
        fs::create_directories(dir_ / "dumps");
    }

    // Starts the target; its standard output goes to `*output` when given.
    pid_t start(const std::vector<std::string>& args, const std::string& stateHome, int* output = nullptr) {
        const std::string target = std::string(PELLANDOR_BIN_DIR) + "/pellandor_crash_target";
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            if (entry.rfind("PELLANDOR_CRASH_NOTICE=", 0) == 0 || entry.rfind("XDG_STATE_HOME=", 0) == 0) continue;
            env.push_back(entry);
        }
        env.push_back("PELLANDOR_CRASH_NOTICE=" + target);
        env.push_back("CRASH_NOTICE_RECORD=" + record().string());
        env.push_back("XDG_STATE_HOME=" + stateHome);
        std::vector<std::string> argvText{target};
        argvText.insert(argvText.end(), args.begin(), args.end());
        std::vector<char*> argv, envp;
        for (auto& a : argvText) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        int pipeFds[2] = {-1, -1};
        if (output != nullptr) {
            EXPECT_EQ(::pipe(pipeFds), 0);
            posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
            posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        }
        pid_t pid = 0;
        EXPECT_EQ(::posix_spawn(&pid, target.c_str(), &actions, nullptr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        if (output != nullptr) {
            ::close(pipeFds[1]);
            *output = pipeFds[0];
        }
        return pid;
    }

    // Runs the target to its end; returns the wait status.
    int run(const std::vector<std::string>& args, std::string stateHome = {}) {
        const pid_t pid = start(args, stateHome.empty() ? (dir_ / "state").string() : stateHome);
        int status = 0;
        EXPECT_EQ(::waitpid(pid, &status, 0), pid);
        return status;
    }

    fs::path record() const { return dir_ / "notice.txt"; }

    // The notice runs on its own after the crash: wait for its record.
    std::string waitForNotice() const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            if (fs::exists(record())) return slurp(record());
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return {};
    }

    static std::vector<fs::path> filesIn(const fs::path& folder) {
        std::vector<fs::path> files;
        if (!fs::exists(folder)) return files;
        for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path());
        return files;
    }
};

TEST_F(CrashRun, SegfaultOnEitherThreadLeavesAReportAndEndsWithTheSignal) {
    for (const std::string site : {"gui", "worker"}) {
        SCOPED_TRACE(site);
        fs::remove_all(dir_ / "dumps");
        fs::create_directories(dir_ / "dumps");
        fs::remove(record());
        const int status = run({(dir_ / "dumps").string(), site});
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
        EXPECT_EQ(WTERMSIG(status), SIGSEGV);

        const auto files = filesIn(dir_ / "dumps");
        ASSERT_EQ(files.size(), 1u);
        const std::string name = files[0].filename().string();
        EXPECT_TRUE(std::regex_match(name, std::regex(R"(Ulvex Pellandor_Err_\d{4}-\d\d-\d\d \d\d_\d\d_\d\d\.DMP)")))
            << name;
        const std::string report = slurp(files[0]);
        EXPECT_NE(report.find("Signal: 11 (SIGSEGV)"), std::string::npos);
        const std::size_t trace = report.find("Backtrace:\n");
        const std::size_t maps = report.find("Memory map:\n");
        ASSERT_NE(trace, std::string::npos);
        ASSERT_NE(maps, std::string::npos);
        const std::string frames = report.substr(trace, maps - trace);
        EXPECT_GE(std::count(frames.begin(), frames.end(), '\n'), 4) << frames;
        EXPECT_NE(frames.find("pellandor_crash_target"), std::string::npos) << frames;
        EXPECT_NE(report.find("pellandor_crash_target", maps), std::string::npos);

        EXPECT_EQ(waitForNotice(), "--crash-notice " + files[0].string() + "\n");
    }
}

TEST_F(CrashRun, FileNameCarriesTheLocalTimeOfTheCrash) {
    setenv("TZ", "UTC+5", 1);  // a fixed offset, so the expected name is known
    tzset();
    const std::time_t before = std::time(nullptr);
    run({(dir_ / "dumps").string(), "gui"});
    const std::time_t after = std::time(nullptr);
    unsetenv("TZ");
    tzset();
    const auto files = filesIn(dir_ / "dumps");
    ASSERT_EQ(files.size(), 1u);
    bool matched = false;
    for (std::time_t t = before; t <= after; ++t) {
        matched = matched || files[0].filename() == crashFileName("Ulvex Pellandor", civilFromSeconds(t - 5 * 3600));
    }
    EXPECT_TRUE(matched) << files[0];
}

TEST_F(CrashRun, StateFolderFirstThenTheProgramFolder) {
    // A run that does not crash leaves no folder behind.
    EXPECT_EQ(WEXITSTATUS(run({"-", "none", (dir_ / "bin" / "pellandor").string()})), 4);
    EXPECT_FALSE(fs::exists(dir_ / "state"));

    // A writable program folder (a build tree) is not where reports go.
    fs::create_directories(dir_ / "bin");
    run({"-", "gui", (dir_ / "bin" / "pellandor").string()});
    EXPECT_EQ(filesIn(dir_ / "state" / "pellandor").size(), 1u);
    EXPECT_TRUE(filesIn(dir_ / "bin").empty());
    EXPECT_EQ(waitForNotice().rfind("--crash-notice " + (dir_ / "state" / "pellandor").string(), 0), 0u);

    // A state folder that cannot be made: the program's folder takes the report.
    std::ofstream(dir_ / "not-a-folder") << "x";
    fs::remove(record());
    run({"-", "gui", (dir_ / "bin" / "pellandor").string()}, (dir_ / "not-a-folder").string());
    EXPECT_EQ(filesIn(dir_ / "bin").size(), 1u);
    EXPECT_EQ(waitForNotice().rfind("--crash-notice " + (dir_ / "bin").string(), 0), 0u);
}

TEST_F(CrashRun, CrashesWithinOneSecondEachKeepTheirFile) {
    setenv("TZ", "UTC+5", 1);  // a fixed offset, so the names of the coming seconds are known
    tzset();
    // Every plain name of the next minute is taken already.
    const std::time_t now = std::time(nullptr);
    for (std::time_t t = now - 1; t <= now + 60; ++t) {
        std::ofstream(dir_ / "dumps" / crashFileName("Ulvex Pellandor", civilFromSeconds(t - 5 * 3600))) << "earlier";
    }
    const std::size_t earlier = filesIn(dir_ / "dumps").size();
    for (int i = 0; i < 3; ++i) run({(dir_ / "dumps").string(), "gui"});
    unsetenv("TZ");
    tzset();
    std::size_t reports = 0;
    for (const fs::path& file : filesIn(dir_ / "dumps")) {
        const std::string name = file.filename().string();
        if (slurp(file) == "earlier") continue;
        ++reports;
        EXPECT_TRUE(
            std::regex_match(name, std::regex(R"(Ulvex Pellandor_Err_\d{4}-\d\d-\d\d \d\d_\d\d_\d\d \([234]\)\.DMP)")))
            << name;
    }
    EXPECT_EQ(filesIn(dir_ / "dumps").size(), earlier + 3);
    EXPECT_EQ(reports, 3u);
    EXPECT_EQ(crashFileName("Ulvex Pellandor", CivilTime{2026, 2, 3, 14, 5, 9}, 2),
              "Ulvex Pellandor_Err_2026-02-03 14_05_09 (2).DMP");
}

TEST_F(CrashRun, SignalSentWithKillNamesItsSender) {
    int output = -1;
    const pid_t pid = start({(dir_ / "dumps").string(), "wait"}, (dir_ / "state").string(), &output);
    char ready[8] = {};
    ASSERT_EQ(::read(output, ready, 6), 6);  // blocks until the handler is in place
    ::close(output);
    ASSERT_EQ(std::string(ready), "ready\n");
    ASSERT_EQ(::kill(pid, SIGSEGV), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) << status;
    const auto files = filesIn(dir_ / "dumps");
    ASSERT_EQ(files.size(), 1u);
    const std::string report = slurp(files[0]);
    EXPECT_NE(report.find("\nSent by: process " + std::to_string(::getpid()) + " ("), std::string::npos) << report;
    EXPECT_NE(report.find(", user " + std::to_string(::getuid())), std::string::npos);
    EXPECT_EQ(report.find("\nAddress: "), std::string::npos);
}

// The request worker is a thread of its own: an overflow of its stack leaves
// the handler no stack to run on unless the worker has an alternate one.
TEST_F(CrashRun, StackOverflowOnTheRequestWorkerIsReported) {
    const int status = run({(dir_ / "dumps").string(), "request-worker"});
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);
    const auto files = filesIn(dir_ / "dumps");
    ASSERT_EQ(files.size(), 1u);
    const std::string report = slurp(files[0]);
    EXPECT_NE(report.find("Signal: 11 (SIGSEGV)"), std::string::npos);
    EXPECT_NE(report.find("\nAddress: "), std::string::npos);
    EXPECT_EQ(waitForNotice(), "--crash-notice " + files[0].string() + "\n");
}

TEST_F(CrashRun, NoWritableFolderGivesTheFailedNoticeAndStillTheSignal) {
    std::ofstream(dir_ / "file") << "x";
    const int status = run({(dir_ / "file" / "dumps").string(), "gui"});
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);
    EXPECT_EQ(waitForNotice(), "--crash-notice-failed\n");
}

}  // namespace
}  // namespace pellandor
