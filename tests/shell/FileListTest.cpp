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
    std::vector<platform::SettingsValue> saved() const {
        return platform::SettingsStore(settingsFile()).values(kRecordKey);
    }
    std::vector<std::string> entries(const FileList& list) {
        std::vector<std::string> paths;
        for (size_t i = 0; i < list.size(); ++i)
            paths.push_back(list[i]);
        return paths;
    }
};

TEST_F(FileListTest, KeepsTheTenNewestInLoadOrderAndSavesThem) {
    FileList list;
    for (int n = 0; n < 11; ++n)
        list.add(sound(n));
    list.add(sound(5));  // already listed: it does not move
    ASSERT_EQ(list.size(), 10u);
    EXPECT_EQ(list[0], sound(1));
    EXPECT_EQ(list[9], sound(10));

    platform::SettingsStore store(settingsFile());
    list.saveRecent(store, kUserKey);
    const auto values = saved();
    ASSERT_EQ(values.size(), 10u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(values[size_t(i)].name + "=" + values[size_t(i)].text,
                  std::to_string(i) + "=" + sound(i + 1));
}

TEST_F(FileListTest, IndexAccessAndTheMenuNewestFirstWithFileNames) {
    FileList list;
    FakeMenu menu;
    list.add(sound(1));
    EXPECT_EQ(list[1], "");
    EXPECT_EQ(list[9], "");
    try {
        (void)list[10];
        ADD_FAILURE() << "no exception";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "FileList::operator[]");
    }
    list.attach(&menu);
    list.add(sound(2));
    list.add(sound(3));
    EXPECT_EQ(menu.items, (std::vector<std::pair<int, std::string>>{
                              {22224, "sound3.wav"}, {22223, "sound2.wav"}, {22222, "sound1.wav"}}));
    EXPECT_EQ(list.pathForCommand(22223), sound(2));
    EXPECT_FALSE(list.pathForCommand(22225));
    EXPECT_EQ(recentFileLabel("plain"), "plain");
}

// Values of the record: "3" is too short (3 bytes with the terminator), "4" names a file that is
// gone and "5" is no text; the gaps close, and a save of the shorter list deletes the old values.
TEST_F(FileListTest, LoadingSkipsShortMissingAndNonTextValuesAndClosesGaps) {
    platform::SettingsStore store(settingsFile());
    for (int i = 0; i < 10; ++i)
        store.setText(kRecordKey, std::to_string(i), "old");
    store.setText(kRecordKey, "0", sound(0));
    store.deleteValue(kRecordKey, "1");
    store.setText(kRecordKey, "2", sound(2));
    store.setText(kRecordKey, "3", "ab");
    store.setText(kRecordKey, "4", (root / "gone.wav").string());
    store.setDword(kRecordKey, "5", 7);
    write(root / "abc", "x");
    store.setText(kRecordKey, "6", (root / "abc").string());
    FileList list;
    list.add(sound(9));
    list.loadRecent(store, kUserKey);
    const std::vector<std::string> loaded{sound(0), sound(2), (root / "abc").string()};
    EXPECT_EQ(entries(list), loaded);

    list.saveRecent(store, kUserKey);
    const platform::SettingsStore written(settingsFile());
    ASSERT_EQ(written.values(kRecordKey).size(), 3u);  // "0".."2" written, "3".."9" deleted
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(written.findValue(kRecordKey, std::to_string(i))->text, loaded[i]);
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
