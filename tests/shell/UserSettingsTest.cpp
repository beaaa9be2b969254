#include "shell/UserSettings.h"

#include <gtest/gtest.h>

#include "shell/Registry.h"
#include "shell/SettingsWords.h"
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
        explicit Run(UserSettingsTest& test)
            : store(test.settingsFile()),
              settings(store, recent, [&test](const std::string& text, const std::string& caption) {
                  test.warnings.push_back(caption + "|" + text);
              }) {}
        SettingsStore store;
        FileList recent;
        UserSettings settings;
    };
    std::vector<std::string> warnings;
};

TEST_F(UserSettingsTest, EmptyStoreGivesTheDefaultsAndExitWritesThemAll) {
    {
        Run run(*this);
        EXPECT_FALSE(run.settings.startupLoginWanted());
        run.settings.loadSettings();
        const StoredSettings& s = run.settings.settings();
        EXPECT_EQ(s.sound.deviceSelection, 0x10000);
        EXPECT_EQ(s.sound.sampleRate, 22050u);
        EXPECT_EQ(s.sound.bufferFrames, 256u);
        EXPECT_EQ(s.sound.bufferCount, 4u);
        EXPECT_EQ(encodeSoundOptions(s), 79u);
        EXPECT_EQ(s.recording.soundfileMaxCount, 99u);
        EXPECT_EQ(s.midi.channel, 0);
        EXPECT_EQ(s.midi.responseOptions, 1837u);
        EXPECT_TRUE(s.midi.moveSliders);
        EXPECT_TRUE(s.midi.monitorInput);
        EXPECT_FALSE(s.midi.relativeFine);
        EXPECT_EQ(s.input.framerate, 44100u);
        EXPECT_EQ(s.input.stereo, 2u);
        EXPECT_EQ(s.input.framecount, 1024u);
        EXPECT_EQ(s.input.appbuffer, 300u);
        EXPECT_TRUE(warnings.empty());
        run.settings.saveSettings();
    }
    SettingsStore written(settingsFile());
    auto dword = [&](const char* name) { return written.findValue(kBase, name)->dword; };
    EXPECT_EQ(dword("Do startup login"), 0u);
    EXPECT_EQ(written.findValue(kBase, "Version")->text, "Jul 25 2013");
    EXPECT_EQ(dword("Selected devices"), 0x10000u);
    EXPECT_EQ(dword("Sample rate"), 22050u);
    EXPECT_EQ(dword("Sound buffers"), 0x10004u);
    EXPECT_EQ(dword("Sound options"), 79u);
    EXPECT_EQ(dword("Soundfile max count"), 99u);
    EXPECT_EQ(dword("MIDI input channel"), 0u);
    EXPECT_EQ(dword("MIDI monitor"), 3u);
    EXPECT_EQ(dword("MIDI response (0)"), 0x72Du);
    EXPECT_FALSE(written.findValue(kBase, "MIDI response (1)")) << "zero rows are not written";
    EXPECT_FALSE(written.findValue(kBase, "soundout.devicename"));
    EXPECT_EQ(dword("soundin.appbuffer"), 300u);
    EXPECT_EQ(written.findValue(kBase, "Soundfile in folder")->text, "");
}

TEST_F(UserSettingsTest, DecodesStoredWords) {
    {
        SettingsStore store(settingsFile());
        store.setText(kBase, "Version", "v");
        store.setDword(kBase, "Sound options", 0x4F);
        store.setDword(kBase, "Sound buffers", 0x20004);
        store.setDword(kBase, "Selected devices", 0x0305);  // ALSA device 5, MIDI device 3
        store.setDword(kBase, "Soundfile max count", 1);
        store.setDword(kBase, "MIDI monitor", 4);
        ASSERT_FALSE(store.save());
    }
    Run run(*this);
    run.settings.loadSettings();
    const StoredSettings& s = run.settings.settings();
    EXPECT_TRUE(s.sound.stereo);
    EXPECT_TRUE(s.sound.softStop);
    EXPECT_TRUE(s.sound.resetLoopOnPlay);
    EXPECT_FALSE(s.sound.numberedFiles);
    EXPECT_EQ(s.recording.bytesPerSample, 4u);
    EXPECT_FALSE(s.sound.oneFilePerStream);
    EXPECT_EQ(s.recording.lastFileNumber, 0u);
    EXPECT_EQ(s.sound.bufferFrames, 512u);
    EXPECT_EQ(s.sound.bufferCount, 4u);
    EXPECT_EQ(s.sound.deviceSelection, 5);
    EXPECT_EQ(s.midi.selectedDevice, 3);
    EXPECT_EQ(s.recording.soundfileMaxCount, 99u);
    EXPECT_FALSE(s.midi.moveSliders);
    EXPECT_TRUE(s.midi.relativeFine);
}

TEST_F(UserSettingsTest, SoundOptionsWordBitByBit) {
    StoredSettings s;
    decodeSoundOptions(0x3A63, s);  // 0b0011_1010_0110_0011: file 0x3A, bytes 6 -> 2
    EXPECT_TRUE(s.sound.stereo);
    EXPECT_TRUE(s.sound.softStop);
    EXPECT_FALSE(s.sound.resetLoopOnPlay);
    EXPECT_TRUE(s.sound.numberedFiles);
    EXPECT_EQ(s.recording.bytesPerSample, 2u);
    EXPECT_FALSE(s.sound.oneFilePerStream);
    EXPECT_EQ(s.recording.lastFileNumber, 0x3Au);
    decodeSoundOptions(0x00B0, s);  // bytes 3, one file per stream
    EXPECT_EQ(s.recording.bytesPerSample, 3u);
    EXPECT_TRUE(s.sound.oneFilePerStream);
    EXPECT_EQ(encodeSoundOptions(s), 0x00B0u);
}

TEST_F(UserSettingsTest, IncompleteSettingsForceTheFirstRtDeviceAndKeepTheBufferSize) {
    {
        SettingsStore store(settingsFile());
        store.setDword(kBase, "Selected devices", 0x0002);
        store.setDword(kBase, "Sound buffers", 0x40004);
        ASSERT_FALSE(store.save());
    }
    Run run(*this);
    run.settings.loadSettings();
    EXPECT_EQ(run.settings.settings().sound.deviceSelection, 0x10000);
    EXPECT_EQ(run.settings.settings().sound.bufferFrames, 256u);
}

TEST_F(UserSettingsTest, DeviceSelectionsRoundTrip) {
    for (int32_t selection : {-1, 0, 7, 0x10000, 0x10003}) {
        SCOPED_TRACE(selection);
        StoredSettings s;
        s.sound.deviceSelection = selection;
        s.midi.selectedDevice = 2;
        StoredSettings back;
        decodeSelectedDevices(encodeSelectedDevices(s), true, back);
        EXPECT_EQ(back.sound.deviceSelection, selection);
        EXPECT_EQ(back.midi.selectedDevice, 2);
    }
    StoredSettings none;
    none.midi.selectedDevice = -1;
    EXPECT_EQ(encodeSelectedDevices(none), 0x10000u | (127u << 8)) << "no MIDI device keeps bit 16 intact";
}

TEST_F(UserSettingsTest, WrongTypeEndsTheReadingWithAWarning) {
    {
        SettingsStore store(settingsFile());
        store.setText(kBase, "Version", "v");
        store.setDword(kBase, "Selected devices", 0x10001);
        store.setText(kBase, "Sample rate", "44100");
        store.setDword(kBase, "Sound options", 0);
        ASSERT_FALSE(store.save());
    }
    Run run(*this);
    run.settings.loadSettings();
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], "|Could not read registry - please review program settings");
    EXPECT_EQ(run.settings.settings().sound.deviceSelection, 0x10001) << "read before the error";
    EXPECT_EQ(run.settings.settings().sound.sampleRate, 22050u);
    EXPECT_TRUE(run.settings.settings().sound.stereo) << "not read after the error";
}

TEST_F(UserSettingsTest, UnreadableSettingsFileIsReportedOnceAndKept) {
    write(settingsFile(), "garbage");
    Run run(*this);
    run.settings.loadSettings();
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], "|Could not read registry - please review program settings");
    EXPECT_EQ(read(settingsFile().string() + ".unreadable"), "garbage");
    run.settings.loadSettings();
    EXPECT_EQ(warnings.size(), 1u);
}

TEST_F(UserSettingsTest, NewUserKeyIsCreatedFromTheSettingsInMemory) {
    Run run(*this);
    run.settings.loadSettings();
    run.settings.settings().sound.sampleRate = 48000;
    run.settings.setUserName("bob");
    run.settings.loadSettings();
    EXPECT_EQ(run.store.findValue(kBob, "Sample rate")->dword, 48000u);
    EXPECT_EQ(run.settings.settingsKey(), std::string(kBob));
}

TEST_F(UserSettingsTest, SettingsSurviveARestartPerUser) {
    {
        Run run(*this);
        run.settings.setUserName("bob");
        run.settings.loadSettings();
        auto& s = run.settings.settings();
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
        EXPECT_TRUE(run.settings.startupLoginWanted());
        EXPECT_TRUE(run.settings.settings().doStartupLogin);
        run.settings.loadSettings();  // nobody logged in: the base key's defaults
        EXPECT_EQ(run.settings.settings().sound.sampleRate, 22050u);
    }
    Run run(*this);
    run.settings.setUserName("bob");
    run.settings.loadSettings();
    const auto& s = run.settings.settings();
    EXPECT_EQ(s.sound.deviceSelection, 0x10002);
    EXPECT_EQ(s.sound.deviceName, "system");
    EXPECT_EQ(s.sound.bufferFrames, 1024u);
    EXPECT_EQ(s.sound.sampleRate, 44100u);
    EXPECT_EQ(s.midi.responseRows[2], 0x14030064u);
    EXPECT_EQ(s.soundfileInFolder, "/home/bob/in");
    EXPECT_TRUE(warnings.empty());
}

TEST_F(UserSettingsTest, ZeroResponseRowIsNotWrittenSoTheOldOneReturns) {
    {
        Run run(*this);
        run.settings.loadSettings();
        run.settings.settings().midi.responseRows[0] = 0x14010A50;
        run.settings.saveSettings();
        run.settings.settings().midi.responseRows[0] = 0;
        run.settings.saveSettings();
    }
    Run run(*this);
    run.settings.loadSettings();
    EXPECT_EQ(run.settings.settings().midi.responseRows[0], 0x14010A50u);
}

TEST_F(UserSettingsTest, ResponseRowsWithoutATargetAreDropped) {
    {
        SettingsStore store(settingsFile());
        store.setDword(kBase, "MIDI response (1)", 0x140D6400);  // target 13
        store.setDword(kBase, "MIDI response (2)", 0x140C6400);  // target 12, "Output amp"
        store.setDword(kBase, "MIDI response (3)", 0x140F0000);  // target 15
        ASSERT_FALSE(store.save());
    }
    Run run(*this);
    run.settings.loadSettings();
    const auto& rows = run.settings.settings().midi.responseRows;
    EXPECT_EQ(rows[0], 0u);
    EXPECT_EQ(rows[1], 0x140C6400u);
    EXPECT_EQ(rows[2], 0u);
}

TEST_F(UserSettingsTest, StoreSoundOptionsWritesTheUsersKey) {
    Run run(*this);
    run.settings.setUserName("bob");
    run.settings.loadSettings();
    run.settings.storeSoundOptions(0x054F);
    EXPECT_EQ(SettingsStore(settingsFile()).findValue(kBob, "Sound options")->dword, 0x054Fu);
}

TEST_F(UserSettingsTest, UserNames) {
    Run run(*this);
    run.settings.setUserName("Default");
    EXPECT_EQ(run.settings.userName(), "");
    EXPECT_EQ(run.settings.settingsKey(), "Software\\Wavecraft\\Frisson\\");
    run.settings.setUserName("default");
    EXPECT_EQ(run.settings.userName(), "default");
    run.settings.setUserName(std::string(100, 'u'));
    EXPECT_EQ(run.settings.userName(), std::string(79, 'u'));
}

}  // namespace
}  // namespace shell
