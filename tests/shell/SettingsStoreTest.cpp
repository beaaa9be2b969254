// The settings file, and the recent files kept in it.
#include "platform/SettingsStore.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <tuple>

#include "shell/FileList.h"
#include "tests/audio/TestFiles.h"
#include "tests/shell/TempHome.h"

namespace shell {
namespace {

using platform::SettingsStore;
using platform::SettingsValueType;

class SettingsStoreTest : public testing::TempHome {};

TEST_F(SettingsStoreTest, LivesInTheConfigFolderAndWritesTheRegistryExportLayout) {
    EXPECT_EQ(platform::defaultSettingsFile(), settingsFile());
    SettingsStore store(settingsFile());
    EXPECT_FALSE(store.loadProblem());
    store.setDword("Software\\Wavecraft\\Frisson\\", "Do startup login", 1);
    store.setText("Software\\Wavecraft\\Frisson\\Users\\bob", "Soundfile in folder", "C:\\a \"b\"");
    store.setDword("Software\\Wavecraft\\Frisson\\Users\\bob", "Sample rate", 22050);
    store.createKey("Software\\Wavecraft\\Frisson\\Users\\bob\\SessionPatches");
    ASSERT_FALSE(store.save());
    EXPECT_EQ(read(settingsFile()),
              "Windows Registry Editor Version 5.00\n"
              "\n[Software]\n"
              "\n[Software\\Wavecraft]\n"
              "\n[Software\\Wavecraft\\Frisson]\n"
              "\"Do startup login\"=dword:00000001\n"
              "\n[Software\\Wavecraft\\Frisson\\Users]\n"
              "\n[Software\\Wavecraft\\Frisson\\Users\\bob]\n"
              "\"Soundfile in folder\"=\"C:\\\\a \\\"b\\\"\"\n"
              "\"Sample rate\"=dword:00005622\n"
              "\n[Software\\Wavecraft\\Frisson\\Users\\bob\\SessionPatches]\n");
    EXPECT_FALSE(store.dirty());
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(platform::defaultSettingsFile(), "/home/someone/.config/frisson/settings.reg");
}

TEST_F(SettingsStoreTest, RoundTripsValuesKeysAndOrder) {
    {
        SettingsStore store(settingsFile());
        store.setText("K", "z", "line one\nline two");
        store.setText("K", "a", "");
        store.setDword("K", "n", 0xFFFFFFFFu);
        store.setText("K\\Sub", "", "default value");
        store.createKey("K\\beta");
        store.createKey("K\\Alpha");
        // A key named like the hive that key lines may begin with.
        store.setDword("HKEY_CURRENT_USER\\K", "hive", 1);
        ASSERT_FALSE(store.save());
    }
    SettingsStore again(settingsFile());
    EXPECT_FALSE(again.loadProblem());
    const auto values = again.values("k");  // names ignore case
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(std::tuple(values[0].name, values[0].text, values[1].name, values[1].text, values[2].type,
                         values[2].dword),
              std::tuple("z", "line one\nline two", "a", "", SettingsValueType::Dword, 0xFFFFFFFFu));
    EXPECT_EQ(again.findValue("K\\SUB", "")->text, "default value");
    EXPECT_EQ(again.subkeys("K"), (std::vector<std::string>{"Alpha", "beta", "Sub"}));
    EXPECT_TRUE(again.findValue("HKEY_CURRENT_USER\\K", "hive"));
}

TEST_F(SettingsStoreTest, DeletesValuesAndKeyTreesAndAStoreInMemoryWritesNothing) {
    SettingsStore store(settingsFile());
    store.setText("A\\B\\C", "x", "1");
    store.setText("A\\B", "y", "2");
    EXPECT_TRUE(store.deleteValue("A\\B", "Y"));
    EXPECT_FALSE(store.deleteValue("A\\B", "y"));
    EXPECT_TRUE(store.deleteKey("a\\b"));
    EXPECT_EQ(std::pair(store.keyExists("A\\B\\C"), store.keyExists("A")), std::pair(false, true));
    EXPECT_FALSE(store.deleteKey("A\\missing"));

    SettingsStore memory;
    memory.setText("K", "v", "x");
    EXPECT_FALSE(memory.save());
    EXPECT_EQ(std::tuple(std::filesystem::exists(settingsFile()), memory.findValue("K", "v")->text),
              std::tuple(false, "x"));
}

TEST_F(SettingsStoreTest, ReadsHandWrittenFilesWithOtherTypes) {
    write(settingsFile(),
          "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
          "; a comment\r\n"
          "[HKEY_CURRENT_USER\\Software\\Wavecraft\\Frisson]\r\n"
          "\"Version\"=\"x\"\r\n"
          "\"Blob\"=hex:01,02,\\\r\n"
          "  03,04\r\n"
          "\"Rate\"=dword:ac44\r\n"
          "\"Tail\"=hex:05, \\\r\n"
          "\r\n");
    SettingsStore store(settingsFile());
    ASSERT_FALSE(store.loadProblem()) << *store.loadProblem();
    const auto value = [&](const char* name) {
        return *store.findValue("Software\\Wavecraft\\Frisson", name);
    };
    // A blank before the last backslash is no part of the value, so a save reads back the same.
    EXPECT_EQ(std::tuple(value("Version").text, value("Rate").dword, value("Blob").type, value("Blob").text,
                         value("Tail").text, store.dirty()),
              std::tuple("x", 44100u, SettingsValueType::Other, "hex:01,02,03,04", "hex:05,", false));
}

TEST_F(SettingsStoreTest, UnreadableFileIsKeptAsideAndReported) {
    const std::string damaged[] = {
        "not a settings file\n",
        "Windows Registry Editor Version 5.00\n\"Orphan\"=\"value before any key\"\n",
        "Windows Registry Editor Version 5.00\n[K]\n\"Open\"=\"no closing quote\n",
        "Windows Registry Editor Version 5.00\n[K]\n\"D\"=dword:123456789\n",
        "Windows Registry Editor Version 5.00\n[K]\n\"X\"=42\n",
        // Values of a key line naming no key would have no place in the saved file.
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\]\n\"R\"=\"lost at the next save\"\n",
        "Windows Registry Editor Version 5.00\n[\\\\]\n\"R\"=dword:00000001\n",
    };
    for (const std::string& text : damaged) {
        SCOPED_TRACE(text);
        std::filesystem::remove_all(settingsFile().parent_path());
        write(settingsFile(), text);
        SettingsStore store(settingsFile());
        ASSERT_TRUE(store.loadProblem());
        EXPECT_TRUE(store.values("K").empty());
        const auto aside = settingsFile().string() + ".unreadable";
        EXPECT_EQ(read(aside), text) << "the damaged file is kept as it was";
        EXPECT_NE(store.loadProblem()->find(aside), std::string::npos);

        // A second damaged file does not overwrite the first one kept aside.
        write(settingsFile(), "also damaged");
        SettingsStore second(settingsFile());
        EXPECT_EQ(read(aside), text);
        EXPECT_EQ(read(aside + ".1"), "also damaged");

        second.setText("K", "v", "new");
        EXPECT_FALSE(second.save());
        EXPECT_FALSE(SettingsStore(settingsFile()).loadProblem());
    }
}

TEST_F(SettingsStoreTest, EveryCutOfAGoodFileIsReadOrKeptAside) {
    SettingsStore store(settingsFile());
    store.setText("K\\Sub", "path", "a \"quoted\" \\ text");
    store.setDword("K", "n", 0x1234);
    const std::string good = store.serialize();
    for (size_t length = 0; length < good.size(); ++length) {
        std::filesystem::remove_all(settingsFile().parent_path());
        const std::string cut = good.substr(0, length);
        write(settingsFile(), cut);
        SettingsStore read(settingsFile());
        if (read.loadProblem()) {
            EXPECT_EQ(TempHome::read(settingsFile().string() + ".unreadable"), cut) << length;
        } else {
            EXPECT_TRUE(std::filesystem::exists(settingsFile())) << length;
        }
    }
}

TEST_F(SettingsStoreTest, FailedSaveLeavesTheOldFile) {
    SettingsStore store(settingsFile());
    store.setText("K", "v", "old");
    ASSERT_FALSE(store.save());
    // A folder in the file's place makes the rename fail, even for root.
    const auto blocked = root / "blocked" / "settings.reg";
    SettingsStore other(blocked);
    std::filesystem::create_directories(blocked / "inside");
    other.setText("K", "v", "new");
    EXPECT_TRUE(other.save());
    EXPECT_TRUE(other.dirty());
    for (const auto& entry : std::filesystem::directory_iterator(blocked.parent_path()))
        EXPECT_EQ(entry.path().filename(), "settings.reg") << "no temporary file left behind";
    EXPECT_EQ(SettingsStore(settingsFile()).findValue("K", "v")->text, "old");
}

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
    EXPECT_EQ(std::pair(list[0], list[9]), std::pair(sound(1), sound(10)));

    platform::SettingsStore store(settingsFile());
    list.saveRecent(store, kUserKey);
    const auto values = saved();
    ASSERT_EQ(values.size(), 10u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(std::pair(values[size_t(i)].name, values[size_t(i)].text),
                  std::pair(std::to_string(i), sound(i + 1)));
}

TEST_F(FileListTest, IndexAccessAndTheMenuNewestFirstWithFileNames) {
    FileList list;
    FakeMenu menu;
    list.add(sound(1));
    EXPECT_EQ(std::pair(list[1], list[9]), std::pair(std::string(), std::string()));
    EXPECT_EQ(audio::test::thrown<std::out_of_range>([&] { (void)list[10]; }), "FileList::operator[]");
    list.attach(&menu);
    list.add(sound(2));
    list.add(sound(3));
    EXPECT_EQ(menu.items, (std::vector<std::pair<int, std::string>>{
                              {22224, "sound3.wav"}, {22223, "sound2.wav"}, {22222, "sound1.wav"}}));
    EXPECT_EQ(std::tuple(list.pathForCommand(22223), list.pathForCommand(22225), recentFileLabel("plain")),
              std::tuple(sound(2), std::nullopt, "plain"));
}

// Values of the record: "3" is too short (3 bytes with the terminator), "4" names a file that is
// gone and "5" is no text; the gaps close, and a save of the shorter list deletes the old values.
TEST_F(FileListTest, LoadingSkipsShortMissingAndNonTextValuesAndClosesGaps) {
    platform::SettingsStore store(settingsFile());
    FileList list;
    list.add(sound(9));
    list.loadRecent(store, kUserKey);
    EXPECT_EQ(list.size(), 1u) << "an empty record keeps the list";
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
    list.loadRecent(store, kUserKey);
    const std::vector<std::string> loaded{sound(0), sound(2), (root / "abc").string()};
    EXPECT_EQ(entries(list), loaded);

    list.saveRecent(store, kUserKey);
    const platform::SettingsStore written(settingsFile());
    ASSERT_EQ(written.values(kRecordKey).size(), 3u);  // "0".."2" written, "3".."9" deleted
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(written.findValue(kRecordKey, std::to_string(i))->text, loaded[i]);

    // A record with values replaces the list even when none loads.
    store.deleteKey(kRecordKey);
    store.setText(kRecordKey, "0", "a");
    list.loadRecent(store, kUserKey);
    EXPECT_EQ(list.size(), 0u);
}

}  // namespace
}  // namespace shell
