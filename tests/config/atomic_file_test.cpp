#include "platform/atomic_file.h"
#include "config/ini_file.h"
#include "config/ini_write_batch.h"
#include "base/status_assert.h"
#include "support/scratch_folder.h"

#include <csignal>
#include <set>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pellandor {
namespace {

using test::ScratchFolder;
using test::succeeded;

TEST_F(ScratchFolder, KilledSaveLeavesTheOldOrTheNewFileNeverAMix) {
    // Large values widen the window in which a non-atomic write would be caught half done.
    const std::string valueA(256 * 1024, 'a');
    const std::string valueB(300 * 1024, 'b');
    auto save = [](const std::string& path, const std::string& value, const char* tag) {
        IniWriteBatch batch(path);
        batch.write("USER_INFO", "ID", value);
        batch.write("SYS_INFO", "IP", tag);
        return batch.commit();
    };
    ASSERT_TRUE(save(pathOf("a.ini"), valueA, "A"));
    ASSERT_TRUE(save(pathOf("b.ini"), valueB, "B"));
    const std::string bytesA = get(pathOf("a.ini"));
    const std::string bytesB = get(pathOf("b.ini"));

    for (int round = 0; round < 25; ++round) {
        put(iniPath(), bytesA);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (unsigned i = 1;; ++i) (void)save(iniPath(), i % 2 ? valueB : valueA, i % 2 ? "B" : "A");
        }
        ::usleep(static_cast<useconds_t>(1000 + (round * 7919) % 30000));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        const std::string now = get(iniPath());
        EXPECT_TRUE(now == bytesA || now == bytesB) << "round " << round << ": " << now.size() << " bytes";
    }
}

TEST_F(ScratchFolder, ReplacementIsPrivateAndWritesThroughSymlinks) {
    const std::string real = pathOf("real.ini");
    put(real, "[S]\nK=1\n");
    // A file made by hand or another tool may be readable by everyone; it holds a password.
    ASSERT_EQ(::chmod(real.c_str(), 0644), 0);
    ASSERT_EQ(::symlink(real.c_str(), iniPath().c_str()), 0);
    ASSERT_TRUE(succeeded(writeIniString(iniPath(), "S", "K", "2")));
    EXPECT_EQ(get(real), "[S]\nK=2\n");
    struct stat st {};
    ASSERT_EQ(::lstat(iniPath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(ScratchFolder, FailedWriteLeavesNoTemporaryFile) {
    // A folder where the file should be: the rename must fail.
    ASSERT_EQ(::mkdir(iniPath().c_str(), 0700), 0);
    const Status written = writeFileAtomically(iniPath(), "x");
    EXPECT_FALSE(written);
    EXPECT_FALSE(written.error().empty());
    EXPECT_EQ(names(), (std::set<std::string>{".pellandor_settings.ini.lock", "pellandor_settings.ini"}));
}

TEST_F(ScratchFolder, NextSaveRemovesTemporaryFilesOfKilledSaves) {
    put(iniPath(), "[S]\nK=1\n");
    for (const char* stale : {".pellandor_settings.ini.a1B2c3", ".pellandor_settings.ini.ZZZZZZ"})
        put(pathOf(stale), "half");
    // Not temporary files of this one: kept.
    for (const char* other : {".pellandor_settings.ini.keep", ".other.ini.a1B2c3", "notes.txt"})
        put(pathOf(other), "x");
    ASSERT_TRUE(succeeded(writeIniString(iniPath(), "S", "K", "2")));
    EXPECT_EQ(names(), (std::set<std::string>{".pellandor_settings.ini.keep", ".other.ini.a1B2c3", "notes.txt",
                                              ".pellandor_settings.ini.lock", "pellandor_settings.ini"}));
}

TEST_F(ScratchFolder, ReadOnlyFileIsRefusedNotReplaced) {
    put(iniPath(), "[S]\nK=1\n");
    ASSERT_EQ(::chmod(iniPath().c_str(), 0444), 0);
    const Status written = writeIniString(iniPath(), "S", "K", "2");
    EXPECT_FALSE(written);
    EXPECT_NE(written.error().find("read-only"), std::string::npos) << written.error();
    EXPECT_EQ(get(iniPath()), "[S]\nK=1\n");
    EXPECT_FALSE(writeFileAtomically(iniPath(), "x"));
    EXPECT_EQ(get(iniPath()), "[S]\nK=1\n");
}

// Writers in separate processes, each changing keys of its own at the same
// moment: without a lock across the read-change-write, some changes vanish.
TEST_F(ScratchFolder, ConcurrentWritersOfOtherKeysAllLand) {
    constexpr int kWriters = 20;
    constexpr int kKeysEach = 5;
    put(iniPath(), "[SYS_INFO]\nIP=127.0.0.1\n");
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(go[1]);
            char byte = 0;
            // Every writer starts when the pipe closes.
            while (::read(go[0], &byte, 1) > 0) {
            }
            bool ok = true;
            for (int k = 0; k < kKeysEach; ++k) {
                ok = writeIniString(iniPath(), "W" + std::to_string(w), "K" + std::to_string(k), "v").ok() && ok;
            }
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    ::close(go[0]);
    ::close(go[1]);
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const IniFile ini(iniPath());
    int missing = 0;
    for (int w = 0; w < kWriters; ++w) {
        for (int k = 0; k < kKeysEach; ++k) {
            missing += ini.getString("W" + std::to_string(w), "K" + std::to_string(k)) != "v";
        }
    }
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(ini.getString("SYS_INFO", "IP"), "127.0.0.1");
}

}  // namespace
TEST_F(ScratchFolder, AnUpdateWithinABoundGivesUpWhileAnotherWriterHoldsTheLock) {
    put(iniPath(), "[S]\nK=1\n");
    const std::size_t slash = iniPath().rfind('/');
    const std::string lockPath = iniPath().substr(0, slash + 1) + "." + iniPath().substr(slash + 1) + ".lock";
    const int held = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const FileChange change = [](std::string& bytes) -> Status {
        bytes = "[S]\nK=2\n";
        return {};
    };
    const Status busy = updateFileWithin(iniPath(), change, 20);
    EXPECT_TRUE(busy.busy());
    EXPECT_NE(busy.error().find("lock"), std::string::npos) << busy.error();
    EXPECT_EQ(get(iniPath()), "[S]\nK=1\n");
    ::close(held);
    EXPECT_TRUE(test::succeeded(updateFileWithin(iniPath(), change, 20)));
    EXPECT_EQ(get(iniPath()), "[S]\nK=2\n");
}

}  // namespace pellandor
