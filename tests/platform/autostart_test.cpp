#include "platform/autostart.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace pellandor {
namespace {

namespace fs = std::filesystem;

TEST(quoteExecArgument, QuotesAndEscapesAsDesktopEntriesRequire) {
    struct Case {
        const char* path;
        const char* exec;
    };
    const Case cases[] = {
        {"/usr/bin/pellandor", "/usr/bin/pellandor"},
        {"/opt/Ulvex Pellandor/pellandor", "\"/opt/Ulvex Pellandor/pellandor\""},
        {"/opt/a$b/p", "\"/opt/a\\\\$b/p\""},      // \$ inside quotes, then the backslash escaped
        {"/opt/a\\b/p", "\"/opt/a\\\\\\\\b/p\""},  // a literal backslash takes four
        {"/opt/say \"hi\"/p", "\"/opt/say \\\\\"hi\\\\\"/p\""},
        {"/opt/100%/p", "/opt/100%%/p"},  // % alone would start a field code
        {"/opt/tab\there/p", "\"/opt/tab\\there/p\""},
        {"/opt/x`y/p", "\"/opt/x\\\\`y/p\""},
    };
    for (const Case& c : cases) EXPECT_EQ(quoteExecArgument(c.path), c.exec) << c.path;
}

class AutostartEntry : public test::ScratchFolder {
protected:
    static std::string slurp(const fs::path& path) { return get(path); }
};

TEST_F(AutostartEntry, PathFollowsXdgConfigHomeWithTheHomeFallback) {
    const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string keepConfig = savedConfig != nullptr ? savedConfig : "";
    const char* savedHome = std::getenv("HOME");
    const std::string keepHome = savedHome != nullptr ? savedHome : "";
    setenv("HOME", "/home/u", 1);
    setenv("XDG_CONFIG_HOME", "/cfg/", 1);
    EXPECT_EQ(autostartEntryPath(), "/cfg/autostart/pellandor.desktop");
    setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ(autostartEntryPath(), "/home/u/.config/autostart/pellandor.desktop");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(autostartEntryPath(), "/home/u/.config/autostart/pellandor.desktop");
    if (savedConfig != nullptr) setenv("XDG_CONFIG_HOME", keepConfig.c_str(), 1);
    if (savedHome != nullptr) setenv("HOME", keepHome.c_str(), 1);
}

TEST_F(AutostartEntry, RegisterWritesTheEntryAndUnregisterRemovesIt) {
    const fs::path entry = dir_ / "config" / "autostart" / "pellandor.desktop";
    ASSERT_TRUE(registerAutostart(entry.string(), "Ulvex Pellandor", "/opt/Ulvex Pellandor/pellandor"));
    EXPECT_EQ(
        slurp(entry),
        "[Desktop Entry]\nType=Application\nName=Ulvex Pellandor\n"
        "Exec=\"/opt/Ulvex Pellandor/pellandor\"\nIcon=pellandor\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
    // A moved program: registering again writes the new path over the old one.
    ASSERT_TRUE(registerAutostart(entry.string(), "Ulvex Pellandor", "/usr/bin/pellandor"));
    EXPECT_NE(slurp(entry).find("\nExec=/usr/bin/pellandor\n"), std::string::npos);

    // A settings file of its own is named, as an absolute path; nothing but
    // the entry is left in the folder the session reads.
    ASSERT_TRUE(registerAutostart(entry.string(), "Ulvex Pellandor", "/usr/bin/pellandor", "/srv/my settings.ini"));
    EXPECT_NE(slurp(entry).find("\nExec=/usr/bin/pellandor --settings \"/srv/my settings.ini\"\n"), std::string::npos)
        << slurp(entry);
    ASSERT_TRUE(registerAutostart(entry.string(), "Ulvex Pellandor", "/usr/bin/pellandor", "rel.ini"));
    EXPECT_NE(slurp(entry).find(" --settings " + quoteExecArgument((fs::current_path() / "rel.ini").string()) + "\n"),
              std::string::npos);
    std::vector<std::string> names;
    for (const auto& file : fs::directory_iterator(entry.parent_path())) names.push_back(file.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"pellandor.desktop"});
    EXPECT_TRUE(autostartEntryExists(entry.string()));

    ASSERT_TRUE(unregisterAutostart(entry.string()));
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_FALSE(autostartEntryExists(entry.string()));
    // Nothing left to remove is the state asked for, not a failure.
    EXPECT_TRUE(unregisterAutostart(entry.string()));
}

TEST_F(AutostartEntry, FailuresNameTheStepThatFailed) {
    std::ofstream(dir_ / "file") << "x";
    const Status folder = registerAutostart((dir_ / "file" / "autostart" / "p.desktop").string(), "N", "/p");
    EXPECT_EQ(folder.code(), ErrorCode::NoStore);
    EXPECT_FALSE(folder.error().empty());
    EXPECT_EQ(autostartFailureText(true, folder), "Failed to register(RegCreateKey) to startup program lists");
    // The folder itself is a file: it cannot be made, though a write test on
    // it passes (as every one does for root).
    EXPECT_EQ(registerAutostart((dir_ / "file" / "p.desktop").string(), "N", "/p").code(), ErrorCode::NoStore);

    // An entry that is a folder cannot be replaced or removed.
    fs::create_directories(dir_ / "autostart" / "pellandor.desktop" / "x");
    const std::string entry = (dir_ / "autostart" / "pellandor.desktop").string();
    const Status write = registerAutostart(entry, "N", "/p");
    EXPECT_FALSE(write);
    EXPECT_EQ(autostartFailureText(true, write), "Failed to register(RegSetValueEx) to startup program lists");
    const Status remove = unregisterAutostart(entry);
    EXPECT_FALSE(remove);
    EXPECT_EQ(autostartFailureText(false, remove), "Failed to register(RegDeleteValue) from startup program lists");
}

}  // namespace
}  // namespace pellandor
