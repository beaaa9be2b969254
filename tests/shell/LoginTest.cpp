#include "shell/LoginDialog.h"

#include <gtest/gtest.h>

#include "shell/Registry.h"
#include "shell/SessionStore.h"
#include "shell/UserFolders.h"
#include "tests/shell/TempHome.h"

namespace shell {
namespace {

constexpr const char* kUsers = "Software\\Wavecraft\\Frisson\\Users";
constexpr const char* kBob = "Software\\Wavecraft\\Frisson\\Users\\bob";

class LoginTest : public testing::TempHome {
  protected:
    void SetUp() override {
        TempHome::SetUp();
        for (const char* name : {"zoe", "DEFAULT", "bob", "amy"})
            store.setText(std::string(kUsers) + "\\" + name, "Version", "v");
        store.setText(std::string(kBob) + "\\SessionPatches", "A", "drums");
    }
    platform::SettingsStore store;
};

TEST_F(LoginTest, ListsDefaultThenEveryUserButDefaultInAnyCase) {
    LoginDialog dialog(store, "", false);
    EXPECT_EQ(dialog.entries(), (std::vector<std::string>{"Default", "amy", "bob", "zoe"}));
    EXPECT_EQ(dialog.selected(), 0);
    EXPECT_TRUE(dialog.dontShowAgain());
    dialog.setDontShowAgain(false);
    EXPECT_TRUE(dialog.doStartupLogin());
    EXPECT_EQ(LoginDialog(store, "bob", true).selected(), 2);
}

TEST_F(LoginTest, UseDefaultAndLogIn) {
    LoginDialog dialog(store, "bob", true);
    dialog.useDefault();
    EXPECT_EQ(dialog.userName(), "");
    // "Default" is the default user; lower case logs in a user of that name; 79 characters at most.
    for (const auto& [typed, user] : std::vector<std::pair<std::string, std::string>>{
             {"Default", ""}, {"default", "default"}, {std::string(80, 'n'), std::string(79, 'n')}}) {
        EXPECT_TRUE(dialog.logIn(typed, 0, false));
        EXPECT_EQ(dialog.userName(), user);
    }
}

TEST_F(LoginTest, CtrlShiftLogInDeletesTheSelectedUser) {
    LoginDialog dialog(store, "", false);
    EXPECT_FALSE(dialog.logIn("amy", 2, true)) << "the selected entry is bob, not amy";
    EXPECT_TRUE(store.keyExists(std::string(kUsers) + "\\amy"));
    EXPECT_EQ(dialog.entries().size(), 4u);

    EXPECT_FALSE(dialog.logIn("bob", 2, true));
    EXPECT_FALSE(store.keyExists(kBob));
    EXPECT_EQ(dialog.entries(), (std::vector<std::string>{"Default", "amy", "zoe"}));
    EXPECT_EQ(dialog.selected(), 0);

    EXPECT_FALSE(dialog.logIn("Default", 0, true));
    EXPECT_EQ(dialog.entries().size(), 3u);
}

TEST_F(LoginTest, FoldersPerUser) {
    const std::string program = programFolder();
    EXPECT_EQ(program, (root / "data" / "frisson").string());
    EXPECT_EQ(patchFolderFor(program, ""), program + "/Patches/");
    EXPECT_EQ(patchFolderFor(program, "bob"), program + "/Patches/bob/");

    const auto folders = [&](const std::string& out, const std::string& in) {
        StoredSettings s;
        s.soundfileOutFolder = out;
        s.soundfileInFolder = in;
        applyFolderDefaults(s, program);
        return std::pair(s.soundfileOutFolder, s.soundfileInFolder);
    };
    EXPECT_EQ(folders("", ""), std::pair(program, program));
    setenv("SFDIR", "/music/out/", 1);
    setenv("SSDIR", "/music/in", 1);
    EXPECT_EQ(folders("", ""), std::pair(std::string("/music/out"), std::string("/music/in")));
    unsetenv("SSDIR");
    EXPECT_EQ(folders("/mine", ""), std::pair(std::string("/mine"), std::string("/mine")));
}

// The names of a user's banks: none until the first exit; an empty name deletes its value; a
// value of the wrong type is a store error.
TEST_F(LoginTest, TheSessionRecordsBankNamesAcrossARestart) {
    {
        platform::SettingsStore file(settingsFile());
        SessionStore session(file, kBob);
        EXPECT_FALSE(session.read());
        session.write(0, "drums");
        session.write(1, "voices");
        session.write(2, "old");
        session.write(2, "");
    }
    platform::SettingsStore file(settingsFile());
    SessionStore session(file, kBob);
    const auto names = session.read();
    ASSERT_TRUE(names);
    EXPECT_EQ((*names)[0], "drums");
    EXPECT_EQ((*names)[1], "voices");
    EXPECT_EQ((*names)[2], "");
    EXPECT_FALSE(file.findValue(std::string(kBob) + "\\SessionPatches", "C"));
    file.setDword(std::string(kBob) + "\\SessionPatches", "A", 1);
    EXPECT_THROW(session.read(), RegistryError);
}

}  // namespace
}  // namespace shell
