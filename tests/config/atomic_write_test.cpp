#include "config/atomic_file.h"
#include "config/ini_write_batch.h"
#include "test_files.h"

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pellandor {
namespace {

using test::ScratchFolder;

TEST_F(ScratchFolder, KilledSaveLeavesTheOldOrTheNewFileNeverAMix) {
    // Large values widen the window in which a non-atomic write would be caught half done.
    const std::string valueA(256 * 1024, 'a');
    const std::string valueB(300 * 1024, 'b');
    auto save = [](const std::string& path, const std::string& value, const char* tag) {
        CIniWriteBatch batch(path);
        batch.Write("USER_INFO", "ID", value);
        batch.Write("SYS_INFO", "IP", tag);
        return batch.Commit();
    };
    ASSERT_TRUE(save(PathOf("a.ini"), valueA, "A"));
    ASSERT_TRUE(save(PathOf("b.ini"), valueB, "B"));
    const std::string bytesA = Get(PathOf("a.ini"));
    const std::string bytesB = Get(PathOf("b.ini"));

    for (int round = 0; round < 25; ++round) {
        Put(Ini(), bytesA);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (unsigned i = 1;; ++i) save(Ini(), i % 2 ? valueB : valueA, i % 2 ? "B" : "A");
        }
        ::usleep(static_cast<useconds_t>(1000 + (round * 7919) % 30000));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        const std::string now = Get(Ini());
        EXPECT_TRUE(now == bytesA || now == bytesB) << "round " << round << ": " << now.size() << " bytes";
    }
}

TEST_F(ScratchFolder, ReplacementKeepsModeAndWritesThroughSymlinks) {
    const std::string real = PathOf("real.ini");
    Put(real, "[S]\nK=1\n");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(::symlink(real.c_str(), Ini().c_str()), 0);
    std::string error;
    ASSERT_TRUE(WriteIniString(Ini(), "S", "K", "2", error)) << error;
    EXPECT_EQ(Get(real), "[S]\nK=2\n");
    struct stat st {};
    ASSERT_EQ(::lstat(Ini().c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(ScratchFolder, FailedWriteLeavesNoTemporaryFile) {
    // A folder where the file should be: the rename must fail.
    ASSERT_EQ(::mkdir(Ini().c_str(), 0700), 0);
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(Ini(), "x", error));
    EXPECT_FALSE(error.empty());
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_)) ++files;
    EXPECT_EQ(files, 1u);
}

}  // namespace
}  // namespace pellandor
