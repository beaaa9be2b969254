// The settings file and the recent files kept in it; a user's settings, login, folders and session.
#include <gtest/gtest.h>

#include <stdexcept>
#include <tuple>

#include "platform/SettingsStore.h"
#include "shell/FileList.h"
#include "shell/LoginDialog.h"
#include "shell/Registry.h"
#include "shell/SessionStore.h"
#include "shell/SettingsWords.h"
#include "shell/UserFolders.h"
#include "shell/UserSettings.h"
#include "tests/audio/TestFiles.h"
#include "tests/shell/TempHome.h"

namespace shell {
namespace {

using platform::SettingsStore;
using platform::SettingsValueType;

class SettingsStoreTest : public testing::TempHome {};

TEST_F(SettingsStoreTest, LivesInTheConfigFolderAndWritesTheRegistryExportLayoutAndAStoreInMemoryNothing) {
    EXPECT_EQ(platform::defaultSettingsFile(), settingsFile());
    SettingsStore memory;
    memory.setText("K", "v", "x");
    EXPECT_FALSE(memory.save());
    EXPECT_EQ(std::tuple(std::filesystem::exists(settingsFile()), memory.findValue("K", "v")->text),
              std::tuple(false, "x"));
    SettingsStore store(settingsFile());
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
        store.setText("K", "z", "line \"one\"\nline \\two");
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
    const auto values = again.values("k");  // names ignore case
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(std::tuple(values[0].name, values[0].text, values[1].name, values[1].text, values[2].type,
                         values[2].dword),
              std::tuple("z", "line \"one\"\nline \\two", "a", "", SettingsValueType::Dword, 0xFFFFFFFFu));
    EXPECT_EQ(again.findValue("K\\SUB", "")->text, "default value");
    EXPECT_EQ(again.subkeys("K"), (std::vector<std::string>{"Alpha", "beta", "Sub"}));
    EXPECT_TRUE(again.findValue("HKEY_CURRENT_USER\\K", "hive"));
    // Deleting values and key trees; names ignore case here too.
    again.setText("A\\B\\C", "x", "1");
    again.setText("A\\B", "y", "2");
    EXPECT_TRUE(again.deleteValue("A\\B", "Y"));
    EXPECT_FALSE(again.deleteValue("A\\B", "y"));
    EXPECT_TRUE(again.deleteKey("a\\b"));
    EXPECT_EQ(std::pair(again.keyExists("A\\B\\C"), again.keyExists("A")), std::pair(false, true));
    EXPECT_FALSE(again.deleteKey("A\\missing"));
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
        // A key line without its closing bracket; a value name without '='; a text that ends in its
        // escape, one followed by more, a hex value the file ends in; only a comment, no header.
        "Windows Registry Editor Version 5.00\n[K\n",
        "Windows Registry Editor Version 5.00\n[K]\n\"X\" \"y\"\n",
        "Windows Registry Editor Version 5.00\n[K]\n\"T\"=\"escape\\\n",
        "Windows Registry Editor Version 5.00\n[K]\n\"T\"=\"x\"y\n",
        "Windows Registry Editor Version 5.00\n[K]\n\"H\"=hex:01,\\\n",
        // A backslash hidden by blanks before a continuation: the value goes on past the last line.
        "Windows Registry Editor Version 5.00\n[K]\n\"H\"=hex:01\\ \\\n\n",
        "; a comment\n",
        // Values of a key line naming no key would have no place in the saved file.
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\]\n\"R\"=\"lost at the next save\"\n",
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
        EXPECT_EQ(std::pair(read(aside), read(aside + ".1")), std::pair(text, std::string("also damaged")));

        second.setText("K", "v", "new");
        EXPECT_FALSE(second.save());
        EXPECT_FALSE(SettingsStore(settingsFile()).loadProblem());
    }
}

TEST_F(SettingsStoreTest, FailedSaveIsReportedKeepsTheChangesUnsavedAndLeavesNoTemporaryFile) {
    // A folder in the file's place makes the rename fail, even for root.
    const auto blocked = root / "blocked" / "settings.reg";
    SettingsStore other(blocked);
    std::filesystem::create_directories(blocked / "inside");
    other.setText("K", "v", "new");
    EXPECT_TRUE(other.save());
    EXPECT_TRUE(other.dirty());
    for (const auto& entry : std::filesystem::directory_iterator(blocked.parent_path()))
        EXPECT_EQ(entry.path().filename(), "settings.reg") << "no temporary file left behind";
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
};

TEST_F(FileListTest, KeepsTheTenNewestInLoadOrderInTheMenuNewestFirstWithFileNamesAndSavesThem) {
    FileList list;
    list.add(sound(1));
    EXPECT_EQ(std::pair(list[1], list[9]), std::pair(std::string(), std::string()));
    EXPECT_EQ(audio::test::thrown<std::out_of_range>([&] { (void)list[10]; }), "FileList::operator[]");
    FakeMenu menu;
    list.attach(&menu);
    list.add(sound(2));
    list.add(sound(3));
    EXPECT_EQ(menu.items, (std::vector<std::pair<int, std::string>>{
                              {22224, "sound3.wav"}, {22223, "sound2.wav"}, {22222, "sound1.wav"}}));
    EXPECT_EQ(std::tuple(list.pathForCommand(22223), list.pathForCommand(22225), recentFileLabel("plain")),
              std::tuple(sound(2), std::nullopt, "plain"));

    for (int n = 4; n <= 11; ++n)
        list.add(sound(n));
    list.add(sound(5));  // already listed: it does not move
    ASSERT_EQ(list.size(), 10u);
    EXPECT_EQ(std::pair(list[0], list[9]), std::pair(sound(2), sound(11)));
    platform::SettingsStore store(settingsFile());
    list.saveRecent(store, kUserKey);
    const auto values = SettingsStore(settingsFile()).values(kRecordKey);
    ASSERT_EQ(values.size(), 10u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(std::pair(values[size_t(i)].name, values[size_t(i)].text),
                  std::pair(std::to_string(i), sound(i + 2)));
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
    ASSERT_EQ(list.size(), 3u);
    // The saved record is the loaded list, in order.
    const std::vector<std::string> loaded{sound(0), sound(2), (root / "abc").string()};
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

constexpr const char* kBase = "Software\\Wavecraft\\Frisson";
constexpr const char* kBob = "Software\\Wavecraft\\Frisson\\Users\\bob";

class UserSettingsTest : public testing::TempHome {
  protected:
    // A program start: a fresh store read from the file, fresh settings.
    struct Run {
        explicit Run(UserSettingsTest& test, const std::string& user = "")
            : store(test.settingsFile()),
              settings(store, recent, [&test](const std::string& text, const std::string& caption) {
                  test.warnings.push_back(caption + "|" + text);
              }) {
            if (!user.empty())
                settings.setUserName(user);
        }
        const StoredSettings& loaded() {
            settings.loadSettings();
            return settings.settings();
        }
        SettingsStore store;
        FileList recent;
        UserSettings settings;
    };
    // Writes these dwords of the base key to the file (with a version: a complete record).
    void seed(const std::vector<std::pair<const char*, uint32_t>>& dwords, bool complete = true) {
        SettingsStore store(settingsFile());
        if (complete)
            store.setText(kBase, "Version", "v");
        for (const auto& [name, value] : dwords)
            store.setDword(kBase, name, value);
        ASSERT_FALSE(store.save());
    }
    std::vector<std::string> warnings;
};

TEST_F(UserSettingsTest, EmptyStoreGivesTheDefaultsAndExitWritesThemAll) {
    {
        Run run(*this);
        EXPECT_FALSE(run.settings.startupLoginWanted());
        run.loaded();
        EXPECT_TRUE(warnings.empty());
        run.settings.saveSettings();
    }
    // The defaults loaded, as the exit writes them (the fields of the words are decoded below).
    SettingsStore written(settingsFile());
    const std::vector<std::pair<const char*, uint32_t>> defaults{
        {"Do startup login", 0},      {"Selected devices", 0x10000}, {"Sample rate", 22050},
        {"Sound buffers", 0x10004},   {"Sound options", 79},         {"Soundfile max count", 99},
        {"MIDI input channel", 0},    {"MIDI monitor", 3},           {"MIDI response (0)", 0x72D},
        {"soundin.framerate", 44100}, {"soundin.stereo", 2},         {"soundin.framecount", 1024},
        {"soundin.appbuffer", 300}};
    for (const auto& [name, value] : defaults)
        EXPECT_EQ(written.findValue(kBase, name)->dword, value) << name;
    EXPECT_EQ(written.findValue(kBase, "Version")->text, "Jul 25 2013");
    EXPECT_EQ(written.findValue(kBase, "Soundfile in folder")->text, "");
    EXPECT_FALSE(written.findValue(kBase, "MIDI response (1)")) << "zero rows are not written";
    EXPECT_FALSE(written.findValue(kBase, "soundout.devicename"));
}

// The fields of the sound options word, from bit 0.
auto soundOptions(const StoredSettings& s) {
    return std::tuple(s.sound.stereo, s.sound.softStop, s.sound.resetLoopOnPlay, s.sound.numberedFiles,
                      s.recording.bytesPerSample, s.sound.oneFilePerStream, s.recording.lastFileNumber);
}

TEST_F(UserSettingsTest, StoredWordsDecodeFieldByFieldAndDeviceSelectionsRoundTrip) {
    // ALSA device 5, MIDI device 3; a max count of 1 is not taken.
    seed({{"Sound options", 0x4F},
          {"Sound buffers", 0x20004},
          {"Selected devices", 0x0305},
          {"Soundfile max count", 1},
          {"MIDI monitor", 4}});
    Run run(*this);
    const StoredSettings& s = run.loaded();
    EXPECT_EQ(soundOptions(s), std::tuple(true, true, true, false, 4u, false, 0u));
    EXPECT_EQ(std::tuple(s.sound.bufferFrames, s.sound.bufferCount, s.sound.deviceSelection,
                         s.midi.selectedDevice, s.recording.soundfileMaxCount),
              std::tuple(512u, 4u, 5, 3, 99u));
    EXPECT_EQ(std::pair(s.midi.moveSliders, s.midi.relativeFine), std::pair(false, true));

    StoredSettings words;
    decodeSoundOptions(0x3A63, words);  // 0b0011_1010_0110_0011: file 0x3A, bytes 6 -> 2
    EXPECT_EQ(soundOptions(words), std::tuple(true, true, false, true, 2u, false, 0x3Au));
    decodeSoundOptions(0x00B0, words);  // bytes 3, one file per stream
    EXPECT_EQ(std::pair(words.recording.bytesPerSample, words.sound.oneFilePerStream), std::pair(3u, true));
    EXPECT_EQ(encodeSoundOptions(words), 0x00B0u);
    for (int32_t selection : {-1, 0, 7, 0x10000, 0x10003}) {
        words.sound.deviceSelection = selection;
        words.midi.selectedDevice = 2;
        StoredSettings back;
        decodeSelectedDevices(encodeSelectedDevices(words), true, back);
        EXPECT_EQ(std::pair(back.sound.deviceSelection, back.midi.selectedDevice), std::pair(selection, 2));
    }
    StoredSettings none;
    none.midi.selectedDevice = -1;
    EXPECT_EQ(encodeSelectedDevices(none), 0x10000u | (127u << 8)) << "no MIDI device keeps bit 16 intact";
}

// Without a version the record is incomplete: the first RtAudio device is forced, the buffer size kept.
// Response rows without a target are dropped: targets 13 and 15 are none, 12 is "Output amp".
TEST_F(UserSettingsTest, IncompleteSettingsForceTheFirstRtDeviceAndRowsWithoutATargetAreDropped) {
    seed({{"Selected devices", 0x0002},
          {"Sound buffers", 0x40004},
          {"MIDI response (1)", 0x140D6400},
          {"MIDI response (2)", 0x140C6400},
          {"MIDI response (3)", 0x140F0000}},
         false);
    Run run(*this);
    const StoredSettings& s = run.loaded();
    EXPECT_EQ(std::pair(s.sound.deviceSelection, s.sound.bufferFrames), std::pair(0x10000, 256u));
    const auto& rows = s.midi.responseRows;
    EXPECT_EQ(std::tuple(rows[0], rows[1], rows[2]), std::tuple(0u, 0x140C6400u, 0u));
}

TEST_F(UserSettingsTest, AWrongTypeOrAnUnreadableFileIsReportedOnce) {
    // A text where a dword belongs ends the reading: what is read before it is read, nothing after.
    seed({{"Selected devices", 0x10001}, {"Sound options", 0}});
    const std::vector<std::string> warned{"|Could not read registry - please review program settings"};
    Run wrongType(*this);
    wrongType.store.setText(kBase, "Sample rate", "44100");
    const StoredSettings& s = wrongType.loaded();
    // The device selection is read before the error; the rate and the sound options are not.
    EXPECT_EQ(std::tuple(warnings, s.sound.deviceSelection, s.sound.sampleRate, s.sound.stereo),
              std::tuple(warned, 0x10001, 22050u, true));

    warnings.clear();
    write(settingsFile(), "garbage");
    Run unreadable(*this);
    unreadable.loaded();
    EXPECT_EQ(std::pair(warnings, read(settingsFile().string() + ".unreadable")),
              std::pair(warned, std::string("garbage")));
    unreadable.loaded();
    EXPECT_EQ(warnings, warned) << "once";
}

// "Default" is the default user, whose settings are the base key's; any other case names a user; 79
// characters at most. A new user's key is made from the settings in memory.
TEST_F(UserSettingsTest, UserNamesAndANewUsersKeyMadeFromTheSettingsInMemory) {
    Run run(*this);
    for (const auto& [name, kept] : std::vector<std::pair<std::string, std::string>>{
             {"Default", ""}, {"default", "default"}, {std::string(100, 'u'), std::string(79, 'u')}}) {
        run.settings.setUserName(name);
        EXPECT_EQ(run.settings.userName(), kept);
    }
    run.settings.setUserName("Default");
    EXPECT_EQ(run.settings.settingsKey(), "Software\\Wavecraft\\Frisson\\");
    run.loaded();
    run.settings.settings().sound.sampleRate = 48000;
    run.settings.setUserName("bob");
    run.loaded();
    EXPECT_EQ(run.store.findValue(kBob, "Sample rate")->dword, 48000u);
    EXPECT_EQ(run.settings.settingsKey(), std::string(kBob));
    run.settings.storeSoundOptions(0x054F);  // written to the user's key at once
    EXPECT_EQ(SettingsStore(settingsFile()).findValue(kBob, "Sound options")->dword, 0x054Fu);
}

TEST_F(UserSettingsTest, SettingsSurviveARestartPerUser) {
    {
        Run run(*this, "bob");
        run.loaded();
        auto& s = run.settings.settings();
        s.midi.responseRows[0] = 0x14010A50;
        run.settings.saveSettings();
        s.midi.responseRows[0] = 0;  // a zero row is not written: the one saved before returns
        s.sound.deviceSelection = 0x10002;
        s.sound.deviceName = "(JACK2) system";
        s.sound.bufferFrames = 1024;
        s.sound.sampleRate = 44100;
        s.midi.responseRows[2] = 0x14030064;
        s.soundfileInFolder = "/home/bob/in";
        s.doStartupLogin = true;
        run.settings.saveSettings();
    }
    {
        Run run(*this);
        EXPECT_EQ(std::pair(run.settings.startupLoginWanted(), run.settings.settings().doStartupLogin),
                  std::pair(true, true));
        EXPECT_EQ(run.loaded().sound.sampleRate, 22050u) << "nobody logged in: the base key's defaults";
    }
    Run run(*this, "bob");
    const auto& s = run.loaded();
    EXPECT_EQ(
        std::tuple(s.sound.deviceSelection, s.sound.deviceName, s.sound.bufferFrames, s.sound.sampleRate,
                   s.midi.responseRows[0], s.midi.responseRows[2], s.soundfileInFolder),
        std::tuple(0x10002, "system", 1024u, 44100u, 0x14010A50u, 0x14030064u, "/home/bob/in"));
    EXPECT_TRUE(warnings.empty());
}

constexpr const char* kUsers = "Software\\Wavecraft\\Frisson\\Users";

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

TEST_F(LoginTest, ListsDefaultThenEveryOtherUserLogsInTheTypedNameAndCtrlShiftDeletesTheSelectedUser) {
    LoginDialog asBob(store, "bob", true);
    EXPECT_EQ(asBob.selected(), 2);
    // "Default" is the default user; lower case logs in a user of that name; 79 characters at most.
    for (const auto& [typed, user] : std::vector<std::pair<std::string, std::string>>{
             {"Default", ""}, {"default", "default"}, {std::string(80, 'n'), std::string(79, 'n')}}) {
        EXPECT_TRUE(asBob.logIn(typed, 0, false));
        EXPECT_EQ(asBob.userName(), user);
    }
    // No user named Default in any case is listed.
    LoginDialog dialog(store, "", false);
    EXPECT_EQ(std::tuple(dialog.entries(), dialog.selected(), dialog.dontShowAgain()),
              std::tuple(std::vector<std::string>{"Default", "amy", "bob", "zoe"}, 0, true));
    // With Ctrl and Shift the dialog stays open, and deletes the selected user if that is the one typed.
    EXPECT_FALSE(dialog.logIn("amy", 2, true)) << "the selected entry is bob, not amy";
    EXPECT_EQ(std::pair(store.keyExists(std::string(kUsers) + "\\amy"), dialog.entries().size()),
              std::pair(true, 4ul));
    EXPECT_FALSE(dialog.logIn("bob", 2, true));
    EXPECT_EQ(std::tuple(store.keyExists(kBob), dialog.entries(), dialog.selected()),
              std::tuple(false, std::vector<std::string>{"Default", "amy", "zoe"}, 0));
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
    EXPECT_EQ(std::tuple((*names)[0], (*names)[1], (*names)[2]), std::tuple("drums", "voices", ""));
    EXPECT_FALSE(file.findValue(std::string(kBob) + "\\SessionPatches", "C"));
    file.setDword(std::string(kBob) + "\\SessionPatches", "A", 1);
    EXPECT_THROW(session.read(), RegistryError);
}

}  // namespace
}  // namespace shell
