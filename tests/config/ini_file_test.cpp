#include "config/ini_file.h"
#include "config/ini_document.h"
#include "config/ini_write_batch.h"
#include "base/status_assert.h"
#include "support/scratch_folder.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <new>

namespace pellandor {
namespace {

using test::ScratchFolder;
using test::succeeded;

class IniReadTest : public ScratchFolder, public ::testing::WithParamInterface<const char*> {
protected:
    // The same file with the line end under test.
    void writeSample() {
        std::string text =
            "; a comment line\n"
            "stray=outside any section\n"
            "[User_Info]\n"
            "  id  =  alice smith  \n"
            "PW=\n"
            "id=second wins never\n"
            "[EMPTY]\n"
            "[SYS_INFO\n"
            "IP=1.2.3.4\n"
            "[NUMBERS]\n"
            "BLANKS=   42\n"
            "[USER_INFO]\n"
            "PN=200\n";
        std::string converted;
        for (char c : text) {
            if (c == '\n')
                converted += GetParam();
            else
                converted += c;
        }
        put(iniPath(), converted);
    }
};

TEST_P(IniReadTest, NamesMatchInAnyCaseAndValuesLoseOuterBlanks) {
    writeSample();
    const IniFile ini(iniPath());
    EXPECT_EQ(ini.getString("USER_INFO", "ID"), "alice smith");
    EXPECT_EQ(ini.getString("user_info", "Id"), "alice smith");
    // A later section of the same name is searched for keys the first lacks.
    EXPECT_EQ(ini.getString("USER_INFO", "PN"), "200");
    EXPECT_EQ(ini.getString("USER_INFO", "PW", "dflt"), "");
    EXPECT_EQ(ini.getString("USER_INFO", "NONE", "dflt"), "dflt");
    EXPECT_EQ(ini.getUInt("NUMBERS", "BLANKS"), 42u);
    EXPECT_TRUE(ini.sectionExists("user_info"));
    EXPECT_TRUE(ini.sectionExists("EMPTY"));
    EXPECT_EQ(ini.getString("EMPTY", "ANY", "dflt"), "dflt");
    EXPECT_FALSE(ini.sectionExists(""));
    // A header without "]" opens no section, and its keys belong to none.
    EXPECT_FALSE(ini.sectionExists("SYS_INFO"));
    EXPECT_EQ(ini.getString("EMPTY", "IP"), "");
    EXPECT_EQ(ini.sectionNames(), (std::vector<std::string>{"User_Info", "EMPTY", "NUMBERS", "USER_INFO"}));
}

INSTANTIATE_TEST_SUITE_P(LineEnds, IniReadTest, ::testing::Values("\n", "\r\n"));

TEST_F(ScratchFolder, MissingFileOrFileWithoutSectionsGivesDefaults) {
    const IniFile missing(pathOf("nothing.ini"));
    EXPECT_FALSE(missing.sectionExists("USER_INFO"));
    EXPECT_EQ(missing.getString("A", "B", "d"), "d");
    EXPECT_EQ(missing.getBool("A", "B", 1), 1);
    put(iniPath(), "KEY=value\n; nothing else\n");
    const IniFile noSections(iniPath());
    EXPECT_FALSE(noSections.sectionExists("KEY"));
    EXPECT_EQ(noSections.getString("", "KEY", "d"), "d");
}

TEST_F(ScratchFolder, SnapshotCacheSeesEverySaveAndRemoval) {
    IniSnapshotCache cache;
    EXPECT_FALSE(cache.snapshot(iniPath()).sectionExists("SECURITY"));  // no file yet
    ASSERT_TRUE(succeeded(writeFileAtomically(iniPath(), "[SECURITY]\nPIN=aaaa\n")));
    EXPECT_EQ(cache.snapshot(iniPath()).getString("SECURITY", "PIN"), "aaaa");

    // A save of the same size right after: a new file, so a new stamp.
    ASSERT_TRUE(succeeded(writeFileAtomically(iniPath(), "[SECURITY]\nPIN=bbbb\n")));
    EXPECT_EQ(cache.snapshot(iniPath()).getString("SECURITY", "PIN"), "bbbb");

    // Changed in place, as an editor may save it.
    put(iniPath(), "[SECURITY]\nPIN=c\n");
    EXPECT_EQ(cache.snapshot(iniPath()).getString("SECURITY", "PIN"), "c");

    ASSERT_EQ(std::remove(iniPath().c_str()), 0);
    EXPECT_FALSE(cache.snapshot(iniPath()).sectionExists("SECURITY"));
}

TEST_F(ScratchFolder, LongValuesComeBackWhole) {
    const std::string big(3 * 1024 * 1024, 'x');
    put(iniPath(), "[S]\nSHORT=" + std::string(600, 'v') + "\nBIG=" + big + "\n");
    const IniFile ini(iniPath());
    EXPECT_EQ(ini.getString("S", "SHORT"), std::string(600, 'v'));
    EXPECT_EQ(ini.getString("S", "BIG"), big);
}

TEST_F(ScratchFolder, GetUIntConvertsLikeStrtoulOn32Bits) {
    const struct {
        const char* value;
        std::uint32_t expected;
    } cases[] = {
        {"-1", 4294967295u},
        {" 42", 42u},
        {"12abc", 12u},
        {"abc", 0u},
        {"", 0u},
        {"+7", 7u},
        {"-25", static_cast<std::uint32_t>(-25)},
        {"4294967295", 4294967295u},
        {"4294967296", 4294967295u},
        {"-99999999999", 4294967295u},
    };
    std::string text = "[N]\n";
    for (std::size_t i = 0; i < std::size(cases); ++i) text += "K" + std::to_string(i) + "=" + cases[i].value + "\n";
    // Only the first 64 bytes are converted.
    text += "LONG=" + std::string(63, '0') + "7" + "555555\n";
    put(iniPath(), text);
    const IniFile ini(iniPath());
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(ini.getUInt("N", "K" + std::to_string(i)), cases[i].expected) << cases[i].value;
    }
    EXPECT_EQ(ini.getUInt("N", "LONG"), 7u);
    EXPECT_EQ(ini.getUInt("N", "MISSING"), 0u);
}

TEST_F(ScratchFolder, GetBoolAcceptsWordsAndSignedNumbers) {
    const struct {
        const char* value;
        int expected;
    } cases[] = {
        {"TRUE", 1},  {"Yes", 1}, {"1", 1},  {"-3", 1}, {"7x", 1}, {"99999999999", 1},
        {"false", 0}, {"no", 0},  {"on", 0}, {"0", 0},  {"x7", 0}, {"yes please", 0},
    };
    std::string text = "[B]\nEMPTY=\n";
    for (std::size_t i = 0; i < std::size(cases); ++i) text += "K" + std::to_string(i) + "=" + cases[i].value + "\n";
    put(iniPath(), text);
    const IniFile ini(iniPath());
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(ini.getBool("B", "K" + std::to_string(i), 7), cases[i].expected) << cases[i].value;
    }
    EXPECT_EQ(ini.getBool("B", "EMPTY", 1), 1);
    EXPECT_EQ(ini.getBool("B", "EMPTY", 0), 0);
    EXPECT_EQ(ini.getBool("B", "MISSING", 1), 1);
}

TEST(truncateText, KeepsAtMostSizeMinusOneBytesAndWholeCharacters) {
    const struct {
        std::string text;
        std::size_t buffer;
        std::string expected;
    } cases[] = {
        {"abcdef", 7, "abcdef"},
        {"abcdef", 6, "abcde"},
        {"ab\xC3\xA4", 5, "ab\xC3\xA4"},  // fits exactly
        {"abc\xC3\xA4", 5, "abc"},        // 2-byte character cut in half
        {"a\xE2\x82\xAC", 3, "a"},        // 3-byte character
        {"a\xF0\x9F\x93\x9E"
         "b",
         6, "a\xF0\x9F\x93\x9E"},  // 4-byte character kept whole
        {"a\xF0\x9F\x93\x9E", 5, "a"},
        {std::string(10, '\x80'), 5, std::string(4, '\x80')},  // not UTF-8: plain byte cut
        {"abc", 0, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(truncateText(c.text, c.buffer), c.expected) << c.text << " " << c.buffer;
}

TEST_F(ScratchFolder, WritesReplaceInPlaceAppendToSectionAndAppendSections) {
    put(iniPath(), "; kept\r\n[A]\r\nONE=1\r\nTWO = 2\r\n\r\n[B]\r\nX=y\r\n");
    ASSERT_TRUE(succeeded(writeIniString(iniPath(), "a", "two", "22")));
    ASSERT_TRUE(succeeded(writeIniString(iniPath(), "A", "THREE", "3")));
    ASSERT_TRUE(succeeded(writeIniString(iniPath(), "C", "NEW", "  spaced  ")));
    EXPECT_EQ(get(iniPath()),
              "; kept\r\n[A]\r\nONE=1\r\nTWO=22\r\nTHREE=3\r\n\r\n[B]\r\nX=y\r\n\r\n[C]\r\nNEW=  spaced  \r\n");
    EXPECT_EQ(IniFile(iniPath()).getString("C", "NEW"), "spaced");
}

TEST_F(ScratchFolder, WriteCreatesMissingFileAndFolders) {
    const std::string path = pathOf("deeper/still/settings.ini");
    ASSERT_TRUE(succeeded(writeIniString(path, "S", "K", "v")));
    EXPECT_EQ(get(path), "[S]\nK=v\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);  // may hold a password
}

TEST_F(ScratchFolder, WriteToFileWithoutFinalLineEndKeepsItsStyle) {
    put(iniPath(), "[A]\r\nK=1");
    ASSERT_TRUE(succeeded(writeIniString(iniPath(), "A", "L", "2")));
    EXPECT_EQ(get(iniPath()), "[A]\r\nK=1\r\nL=2\r\n");
}

// A write leaves every line it does not touch byte for byte as it was,
// whatever ends the lines, and reading drops stray CRs around a value.
TEST_F(ScratchFolder, WritesKeepUntouchedLinesWhateverTheirLineEnds) {
    const struct {
        const char* file;
        const char* after;  // after DLG_POS/X=10 and SYS_INFO/PORT=5000
    } cases[] = {
        {"[SYS_INFO]\r\nIP=127.0.0.1\r", "[SYS_INFO]\r\nIP=127.0.0.1\r\nPORT=5000\r\n\r\n[DLG_POS]\r\nX=10\r\n"},
        {"[SYS_INFO]\r\nIP=127.0.0.1\r\n", "[SYS_INFO]\r\nIP=127.0.0.1\r\nPORT=5000\r\n\r\n[DLG_POS]\r\nX=10\r\n"},
        {"[SYS_INFO]\nIP=127.0.0.1\n", "[SYS_INFO]\nIP=127.0.0.1\nPORT=5000\n\n[DLG_POS]\nX=10\n"},
        {"[SYS_INFO]\nIP=127.0.0.1", "[SYS_INFO]\nIP=127.0.0.1\nPORT=5000\n\n[DLG_POS]\nX=10\n"},
        {"[SYS_INFO]\r\nIP=127.0.0.1\r\r\n", "[SYS_INFO]\r\nIP=127.0.0.1\r\r\nPORT=5000\r\n\r\n[DLG_POS]\r\nX=10\r\n"},
        {"[SYS_INFO]\rIP=127.0.0.1\r", nullptr},  // old Mac line ends: one line, no key; only appended to
    };
    for (const auto& c : cases) {
        put(iniPath(), c.file);
        ASSERT_TRUE(succeeded(writeIniString(iniPath(), "DLG_POS", "X", "10")));
        ASSERT_TRUE(succeeded(writeIniString(iniPath(), "SYS_INFO", "PORT", "5000")));
        const std::string now = get(iniPath());
        if (c.after != nullptr) {
            EXPECT_EQ(now, c.after) << testing::PrintToString(std::string(c.file));
            EXPECT_EQ(IniFile(iniPath()).getString("SYS_INFO", "IP"), "127.0.0.1") << testing::PrintToString(now);
        } else {
            EXPECT_EQ(now.rfind(c.file, 0), 0u) << testing::PrintToString(now);
        }
        EXPECT_EQ(IniFile(iniPath()).getString("DLG_POS", "X"), "10") << testing::PrintToString(now);
    }
}

// Loading and saving a large file holds it a few times at most, never a
// string per line: checked under an address-space limit, not a clock.
TEST_F(ScratchFolder, LargeFileIsSavedAndReadWithinAFewTimesItsSize) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "sanitizers reserve address space of their own";
#else
    std::string big = "[SYS_INFO]\nIP=127.0.0.1\n";
    big.append(std::size_t{32} << 20, '\n');
    put(iniPath(), big);
    big.clear();
    big.shrink_to_fit();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = std::size_t{768} << 20;
        ::setrlimit(RLIMIT_AS, &limit);
        try {
            IniWriteBatch batch(iniPath());
            for (int k = 0; k < 30; ++k) batch.write("DLG_POS", "K" + std::to_string(k), "1");
            const bool saved = batch.commit().ok();
            const IniFile ini = IniFile::snapshot(iniPath());
            const bool read = ini.getString("SYS_INFO", "IP") == "127.0.0.1" && ini.getString("DLG_POS", "K29") == "1";
            ::_exit(saved && read ? 0 : 1);
        } catch (const std::bad_alloc&) {
            ::_exit(2);
        }
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: out of memory";
#endif
}

TEST_F(ScratchFolder, ValuesCannotAddLinesAndBadNamesAreRefused) {
    ASSERT_TRUE(succeeded(writeIniString(iniPath(), "S", "K", "first\n[INJECTED]\nX=1")));
    EXPECT_EQ(get(iniPath()), "[S]\nK=first\n");
    for (const char* bad : {"", "A]B", "A=B", "A\nB", " A", ";A"}) {
        EXPECT_FALSE(writeIniString(iniPath(), bad, "K", "v")) << bad;
        EXPECT_FALSE(writeIniString(iniPath(), "S", bad, "v")) << bad;
    }
    EXPECT_EQ(get(iniPath()), "[S]\nK=first\n");
}

TEST_F(ScratchFolder, BatchGivesTheBytesOfSingleWritesInTurn) {
    const struct {
        std::string start, after;
    } cases[] = {
        {"\xEF\xBB\xBF[B]\nK=old\n[A]\nZ=1\n", "\xEF\xBB\xBF[B]\nK=new\nM=m\n[A]\nZ=1\nX=2\n\n[C]\nQ=\n"},
        // One line ending in a lone CR: the first write makes it CR LF.
        {"[A]\r", "[A]\r\nX=2\r\n\r\n[B]\r\nK=new\r\nM=m\r\n\r\n[C]\r\nQ=\r\n"},
        {"K=1\r", "K=1\r\n\r\n[A]\r\nX=2\r\n\r\n[B]\r\nK=new\r\nM=m\r\n\r\n[C]\r\nQ=\r\n"},
        {"[A]\nZ=1\r", "[A]\nZ=1\r\nX=2\n\n[B]\nK=new\nM=m\n\n[C]\nQ=\n"},
    };
    const std::vector<std::array<std::string, 3>> writes = {
        {"A", "X", "1"}, {"B", "K", "new"}, {"C", "Q", ""}, {"a", "x", "2"}, {"B", "M", "m"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.start));
        const std::string single = pathOf("single.ini");
        const std::string batched = pathOf("batched.ini");
        put(single, c.start);
        put(batched, c.start);
        IniWriteBatch batch(batched);
        for (const auto& w : writes) {
            ASSERT_TRUE(succeeded(writeIniString(single, w[0], w[1], w[2])));
            batch.write(w[0], w[1], w[2]);
        }
        ASSERT_TRUE(succeeded(batch.commit()));
        EXPECT_EQ(get(batched), get(single));
        EXPECT_EQ(get(batched), c.after);
    }
}

TEST_F(ScratchFolder, UnreadableTargetIsNeitherReadNorReplaced) {
    // A FIFO would block a plain read forever.
    ASSERT_EQ(::mkfifo(iniPath().c_str(), 0600), 0);
    EXPECT_FALSE(IniFile(iniPath()).sectionExists("S"));
    const Status written = writeIniString(iniPath(), "S", "K", "v");
    EXPECT_FALSE(written);
    EXPECT_NE(written.error().find("not a regular file"), std::string::npos) << written.error();
    struct stat st {};
    ASSERT_EQ(::stat(iniPath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

}  // namespace
}  // namespace pellandor
