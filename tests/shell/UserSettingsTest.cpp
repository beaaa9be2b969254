// A user's settings, login, folders and session.
#include "shell/UserSettings.h"

#include <gtest/gtest.h>

#include <tuple>

#include "shell/LoginDialog.h"
#include "shell/Registry.h"
#include "shell/SessionStore.h"
#include "shell/SettingsWords.h"
#include "shell/UserFolders.h"
#include "tests/shell/TempHome.h"

namespace shell {
namespace {

using platform::SettingsStore;

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
        const StoredSettings& s = run.loaded();
        EXPECT_EQ(std::tuple(s.sound.deviceSelection, s.sound.sampleRate, s.sound.bufferFrames,
                             s.sound.bufferCount, encodeSoundOptions(s), s.recording.soundfileMaxCount),
                  std::tuple(0x10000, 22050u, 256u, 4u, 79u, 99u));
        EXPECT_EQ(std::tuple(s.midi.channel, s.midi.responseOptions, s.midi.moveSliders, s.midi.monitorInput,
                             s.midi.relativeFine),
                  std::tuple(0, 1837u, true, true, false));
        EXPECT_EQ(std::tuple(s.input.framerate, s.input.stereo, s.input.framecount, s.input.appbuffer),
                  std::tuple(44100u, 2u, 1024u, 300u));
        EXPECT_TRUE(warnings.empty());
        run.settings.saveSettings();
    }
    SettingsStore written(settingsFile());
    const std::vector<std::pair<const char*, uint32_t>> defaults{
        {"Do startup login", 0},    {"Selected devices", 0x10000}, {"Sample rate", 22050},
        {"Sound buffers", 0x10004}, {"Sound options", 79},         {"Soundfile max count", 99},
        {"MIDI input channel", 0},  {"MIDI monitor", 3},           {"MIDI response (0)", 0x72D},
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
    // A text where a dword belongs ends the reading: what came before it is read, nothing after.
    {
        SettingsStore store(settingsFile());
        store.setText(kBase, "Version", "v");
        store.setDword(kBase, "Selected devices", 0x10001);
        store.setText(kBase, "Sample rate", "44100");
        store.setDword(kBase, "Sound options", 0);
        ASSERT_FALSE(store.save());
    }
    const std::vector<std::string> warned{"|Could not read registry - please review program settings"};
    Run wrongType(*this);
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

TEST_F(LoginTest, ListsDefaultThenEveryUserButDefaultInAnyCaseAndLogsInTheTypedName) {
    LoginDialog dialog(store, "", false);
    EXPECT_EQ(dialog.entries(), (std::vector<std::string>{"Default", "amy", "bob", "zoe"}));
    EXPECT_EQ(dialog.selected(), 0);
    EXPECT_TRUE(dialog.dontShowAgain());
    dialog.setDontShowAgain(false);
    EXPECT_TRUE(dialog.doStartupLogin());

    LoginDialog asBob(store, "bob", true);
    EXPECT_EQ(asBob.selected(), 2);
    asBob.useDefault();
    EXPECT_EQ(asBob.userName(), "");
    // "Default" is the default user; lower case logs in a user of that name; 79 characters at most.
    for (const auto& [typed, user] : std::vector<std::pair<std::string, std::string>>{
             {"Default", ""}, {"default", "default"}, {std::string(80, 'n'), std::string(79, 'n')}}) {
        EXPECT_TRUE(asBob.logIn(typed, 0, false));
        EXPECT_EQ(asBob.userName(), user);
    }
}

TEST_F(LoginTest, CtrlShiftLogInDeletesTheSelectedUser) {
    LoginDialog dialog(store, "", false);
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
