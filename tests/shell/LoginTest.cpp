#include "shell/LoginDialog.h"

#include <gtest/gtest.h>

#include "shell/UserFolders.h"
#include "tests/shell/TempHome.h"

namespace shell {
namespace {

constexpr const char* kUsers = "Software\\Wavecraft\\Frisson\\Users";

class LoginTest : public testing::TempHome {
  protected:
    void SetUp() override {
        TempHome::SetUp();
        for (const char* name : {"zoe", "DEFAULT", "bob", "amy"})
            store.setText(std::string(kUsers) + "\\" + name, "Version", "v");
        store.setText(std::string(kUsers) + "\\bob\\SessionPatches", "A", "drums");
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

    LoginDialog asBob(store, "bob", true);
    EXPECT_EQ(asBob.selected(), 2);
}

TEST_F(LoginTest, UseDefaultAndLogIn) {
    LoginDialog dialog(store, "bob", true);
    dialog.useDefault();
    EXPECT_EQ(dialog.userName(), "");

    EXPECT_TRUE(dialog.logIn("Default", 0, false));
    EXPECT_EQ(dialog.userName(), "");
    EXPECT_TRUE(dialog.logIn("default", 0, false));
    EXPECT_EQ(dialog.userName(), "default") << "lower case logs in a user of that name";
    EXPECT_TRUE(dialog.logIn(std::string(80, 'n'), 0, false));
    EXPECT_EQ(dialog.userName(), std::string(79, 'n'));
}

TEST_F(LoginTest, CtrlShiftLogInDeletesTheSelectedUser) {
    LoginDialog dialog(store, "", false);
    EXPECT_FALSE(dialog.logIn("amy", 2, true)) << "the selected entry is bob, not amy";
    EXPECT_TRUE(store.keyExists(std::string(kUsers) + "\\amy"));
    EXPECT_EQ(dialog.entries().size(), 4u);

    EXPECT_FALSE(dialog.logIn("bob", 2, true));
    EXPECT_FALSE(store.keyExists(std::string(kUsers) + "\\bob"));
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

    StoredSettings plain;
    applyFolderDefaults(plain, program);
    EXPECT_EQ(plain.soundfileOutFolder, program);
    EXPECT_EQ(plain.soundfileInFolder, program);

    setenv("SFDIR", "/music/out/", 1);
    setenv("SSDIR", "/music/in", 1);
    StoredSettings fromEnvironment;
    fromEnvironment.soundfileInFolder = "";
    applyFolderDefaults(fromEnvironment, program);
    EXPECT_EQ(fromEnvironment.soundfileOutFolder, "/music/out");
    EXPECT_EQ(fromEnvironment.soundfileInFolder, "/music/in");

    unsetenv("SSDIR");
    StoredSettings kept;
    kept.soundfileOutFolder = "/mine";
    applyFolderDefaults(kept, program);
    EXPECT_EQ(kept.soundfileOutFolder, "/mine");
    EXPECT_EQ(kept.soundfileInFolder, "/mine");
}

}  // namespace
}  // namespace shell
