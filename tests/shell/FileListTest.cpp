#include "shell/FileList.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/shell/TempHome.h"

namespace shell {
namespace {

constexpr const char* kUserKey = "Software\\Wavecraft\\Frisson\\";
constexpr const char* kRecordKey = "Software\\Wavecraft\\Frisson\\RecentFiles";

class FakeMenu : public RecentFilesMenu {
  public:
    void removeAllItems() override { items.clear(); }
    void appendItem(int id, const std::string& label) override { items.emplace_back(id, label); }
    std::vector<std::pair<int, std::string>> items;
};

class FileListTest : public testing::TempHome {
  protected:
    std::string sound(int n) {
        const auto path = root / ("sound" + std::to_string(n) + ".wav");
        write(path, "x");
        return path.string();
    }
};

TEST_F(FileListTest, KeepsTheTenNewestInLoadOrderAndSavesThem) {
    FileList list;
    for (int n = 0; n < 11; ++n)
        list.add(sound(n));
    ASSERT_EQ(list.size(), 10u);
    EXPECT_EQ(list[0], sound(1));
    EXPECT_EQ(list[9], sound(10));

    platform::SettingsStore store(settingsFile());
    list.saveRecent(store, kUserKey);
    platform::SettingsStore written(settingsFile());
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(written.findValue(kRecordKey, std::to_string(i))->text, sound(i + 1));
}

TEST_F(FileListTest, AddingAListedFileDoesNotMoveIt) {
    FileList list;
    list.add(sound(1));
    list.add(sound(2));
    list.add(sound(1));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0], sound(1));
    EXPECT_EQ(list[1], sound(2));
}

TEST_F(FileListTest, IndexAccess) {
    FileList list;
    list.add(sound(1));
    EXPECT_EQ(list[1], "");
    EXPECT_EQ(list[9], "");
    EXPECT_THROW(list[10], std::out_of_range);
    try {
        (void)list[10];
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "FileList::operator[]");
    }
}

TEST_F(FileListTest, MenuShowsNewestFirstWithFileNames) {
    FileList list;
    FakeMenu menu;
    list.add(sound(1));
    list.attach(&menu);
    list.add(sound(2));
    list.add(sound(3));
    const std::vector<std::pair<int, std::string>> expected = {
        {22224, "sound3.wav"}, {22223, "sound2.wav"}, {22222, "sound1.wav"}};
    EXPECT_EQ(menu.items, expected);
    EXPECT_EQ(list.pathForCommand(22223), sound(2));
    EXPECT_FALSE(list.pathForCommand(22225));
    EXPECT_EQ(recentFileLabel("plain"), "plain");
}

TEST_F(FileListTest, SavingAShorterListDeletesTheOldValues) {
    platform::SettingsStore store(settingsFile());
    for (int i = 0; i < 10; ++i)
        store.setText(kRecordKey, std::to_string(i), "old");
    FileList list;
    for (int n = 0; n < 3; ++n)
        list.add(sound(n));
    list.saveRecent(store, kUserKey);
    const auto values = platform::SettingsStore(settingsFile()).values(kRecordKey);
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[2].text, sound(2));
}

TEST_F(FileListTest, LoadingSkipsShortMissingAndNonTextValuesAndClosesGaps) {
    platform::SettingsStore store(settingsFile());
    store.setText(kRecordKey, "0", sound(0));
    store.setText(kRecordKey, "2", sound(2));
    store.setText(kRecordKey, "3", "ab");  // 3 bytes with the terminator: too short
    store.setText(kRecordKey, "4", (root / "gone.wav").string());
    store.setDword(kRecordKey, "5", 7);
    write(root / "abc", "x");
    store.setText(kRecordKey, "6", (root / "abc").string());
    FileList list;
    list.add(sound(9));
    list.loadRecent(store, kUserKey);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], sound(0));
    EXPECT_EQ(list[1], sound(2));
    EXPECT_EQ(list[2], (root / "abc").string());

    list.saveRecent(store, kUserKey);
    const auto values = platform::SettingsStore(settingsFile()).values(kRecordKey);
    ASSERT_EQ(values.size(), 3u);  // "0".."2" written, "3".."9" deleted
    EXPECT_EQ(platform::SettingsStore(settingsFile()).findValue(kRecordKey, "1")->text, sound(2));
}

TEST_F(FileListTest, EmptyRecordKeepsTheListAndShortPathsAreSkipped) {
    platform::SettingsStore store(settingsFile());
    FileList list;
    list.add(sound(1));
    list.loadRecent(store, kUserKey);
    EXPECT_EQ(list.size(), 1u);
    store.setText(kRecordKey, "0", "a");
    list.loadRecent(store, kUserKey);
    EXPECT_EQ(list.size(), 0u) << "a record with values replaces the list even when none loads";
}

}  // namespace
}  // namespace shell
