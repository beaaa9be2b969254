// The device list, device choices and the stream state machine against a sound server driven by hand.
#include "output/AudioSystem.h"

#include <gtest/gtest.h>

#include <sstream>

#include "output/DeviceChoices.h"
#include "output/ManualAudioApi.h"
#include "output/RtError.h"
#include "output/SoundDeviceCheck.h"

namespace output {
namespace {

DeviceInfo device(const std::string& name, unsigned outputs = 2, bool defaultOutput = false,
                  bool probed = true) {
    DeviceInfo info;
    info.probed = probed;
    info.name = name;
    info.outputChannels = outputs;
    info.isDefaultOutput = defaultOutput;
    return info;
}

// The message of the RtError that f raises.
template <class F>
std::string rtError(F&& f) {
    try {
        f();
    } catch (const RtError& error) {
        return error.message();
    }
    return "(no error)";
}

struct CallbackRecord {
    int calls = 0;
    unsigned frames = 0;
};

int recordingCallback(void* context, std::int16_t* output, unsigned frames) {
    auto* record = static_cast<CallbackRecord*>(context);
    ++record->calls;
    record->frames = frames;
    output[0] = 1234;
    return 0;
}

class AudioSystemTest : public ::testing::Test {
  protected:
    AudioSystemTest() {
        server.devices[AudioApiId::kJack] = {device("system", 2, true), device("hidden", 2, false, false),
                                             device("Studio Bus", 8)};
        server.devices[AudioApiId::kPulse] = {device("PulseAudio", 2, true), device("studio monitor")};
    }

    AudioSystem& system() {
        if (!system_) {
            system_ = std::make_unique<AudioSystem>(server.factory(), log);
        }
        return *system_;
    }

    static StreamConfig outputConfig(std::int32_t device, std::uint32_t frames = 256,
                                     std::uint32_t buffers = 4) {
        StreamConfig config = StreamConfig::make(44100, 2, audio::kInt16LE);
        config.output.device = device;
        config.output.bufferFrames = frames;
        config.output.numberOfBuffers = buffers;
        return config;
    }

    std::vector<std::string> names() {
        std::vector<std::string> result;
        for (const DeviceInfo& info : system().getDeviceList().entries)
            result.push_back(info.name);
        return result;
    }

    ManualAudioServer server;
    std::ostringstream log;
    std::unique_ptr<AudioSystem> system_;
    CallbackRecord record;
};

TEST(Datatype2rtfmt, MapsEveryDeviceFormatAndRejectsOthers) {
    EXPECT_EQ(datatype2rtfmt(audio::kByte), 1u);
    EXPECT_EQ(datatype2rtfmt(audio::kInt16LE), 2u);
    EXPECT_EQ(datatype2rtfmt(audio::kInt24LE), 4u);
    EXPECT_EQ(datatype2rtfmt(audio::kInt24BE), 4u);
    EXPECT_EQ(datatype2rtfmt(audio::kInt32LE), 8u);
    EXPECT_EQ(datatype2rtfmt(audio::kFloat32LE), 16u);
    EXPECT_EQ(datatype2rtfmt(audio::kFloat64LE), 32u);
    EXPECT_EQ(rtError([] { datatype2rtfmt(audio::kInt16BE); }),
              "Invalid RtAudioFormat code in datatype2rtfmt");
}

TEST_F(AudioSystemTest, ListsJackThenPulseDevicesWithKeysThatKeepGaps) {
    EXPECT_EQ(names(), (std::vector<std::string>{"(JACK0) system", "(JACK2) Studio Bus",
                                                 "(PULSE0) PulseAudio", "(PULSE1) studio monitor"}));
    const DeviceList& list = system().getDeviceList();
    EXPECT_EQ(list.jackDeviceCount, 2u);
    // The last default output enumerated wins: PulseAudio after JACK.
    EXPECT_EQ(list.defaultOutputDevice.device, 0);
    EXPECT_EQ(list.defaultOutputDevice.api, AudioApiId::kPulse);
    EXPECT_EQ(list.defaultOutputDevice.name, "(PULSE0) PulseAudio");
    EXPECT_EQ(list.defaultInputDevice, DeviceSpec::blank());
    // Built once: a device appearing later is not listed.
    server.devices[AudioApiId::kJack].push_back(device("late"));
    EXPECT_EQ(system().getDeviceList().entries.size(), 4u);
}

TEST_F(AudioSystemTest, AFailedJackPassIsLoggedAndLeavesOnlyPulseDevices) {
    server.enumerationErrors.emplace(AudioApiId::kJack, RtError("no server", RtError::kDriverError));
    EXPECT_EQ(names(), (std::vector<std::string>{"(PULSE0) PulseAudio", "(PULSE1) studio monitor"}));
    EXPECT_EQ(system().getDeviceList().jackDeviceCount, 0u);
    EXPECT_EQ(log.str(), "RtAudio error no server\n");
}

TEST_F(AudioSystemTest, SelectsByNameIgnoringCaseAndClosesTheOpenStream) {
    system().open(callbackTrampoline, nullptr, outputConfig(0));
    system().start();
    ASSERT_EQ(system().state(), AudioSystemState::kRunning);
    // "studio" is in a JACK and a PulseAudio name: the JACK entry comes first.
    EXPECT_TRUE(system().selectDeviceByName("STUDIO"));
    EXPECT_EQ(system().state(), AudioSystemState::kClosed);
    EXPECT_EQ(server.streamState(), StreamState::kClosed);
    EXPECT_EQ(system().currentApi(), AudioApiId::kJack);
    EXPECT_EQ(system().config().output.device, 2);
    EXPECT_EQ(system().config().input.device, -1);
    // A stored name that carries its key is longer than the shown name's tail.
    EXPECT_TRUE(system().selectDeviceByName("(pulse1) Studio Monitor"));
    EXPECT_EQ(system().currentApi(), AudioApiId::kPulse);
    EXPECT_EQ(system().config().output.device, 1);
    EXPECT_FALSE(system().selectDeviceByName("usb headset"));
    EXPECT_EQ(system().config().output.device, 1);
}

TEST_F(AudioSystemTest, OpenRejectsBadConfigurationsAndStaysClosed) {
    StreamConfig mixed = outputConfig(0);
    mixed.input.device = 0;
    mixed.input.rtFormat = kRtFloat32;
    const struct {
        StreamConfig config;
        std::string message;
        RtError::Type type;
    } cases[] = {{outputConfig(4), "illegal device index", RtError::kInvalidDevice},
                 {outputConfig(-1), "no device to open", RtError::kInvalidParameter},
                 {mixed, "output and input must use same sample format", RtError::kInvalidParameter}};
    for (const auto& c : cases) {
        try {
            system().open(callbackTrampoline, nullptr, c.config);
            ADD_FAILURE() << "no error for " << c.message;
        } catch (const RtError& error) {
            EXPECT_EQ(error.message(), c.message);
            EXPECT_EQ(error.type(), c.type);
        }
        EXPECT_EQ(system().state(), AudioSystemState::kClosed);
    }
    EXPECT_EQ(server.openCount(), 0);
}

TEST_F(AudioSystemTest, OpenUsesTheEntrysApiAndIndexAndReadsBackTheGrantedBuffers) {
    system().open(callbackTrampoline, nullptr, outputConfig(3));  // (PULSE1) studio monitor
    EXPECT_EQ(server.lastOpen().api, AudioApiId::kPulse);
    ASSERT_TRUE(server.lastOpen().output.has_value());
    EXPECT_EQ(server.lastOpen().output->deviceId, 1u);
    EXPECT_EQ(server.lastOpen().output->channels, 2u);
    EXPECT_FALSE(server.lastOpen().input.has_value());
    EXPECT_EQ(server.lastOpen().format, kRtSInt16);
    EXPECT_EQ(system().config().output.device, 1);
    EXPECT_EQ(system().state(), AudioSystemState::kOpen);

    server.grantedFrames = 1024;
    server.grantedBuffers = 2;
    system().open(callbackTrampoline, nullptr, outputConfig(0, 256, 4));
    EXPECT_EQ(server.lastOpen().frames, 1024u);
    EXPECT_EQ(system().config().output.bufferFrames, 1024u);
    EXPECT_EQ(system().config().output.numberOfBuffers, 2u);
    // Zero asks for the current values again.
    server.grantedFrames = 0;
    server.grantedBuffers = 0;
    system().open(callbackTrampoline, nullptr, outputConfig(0, 0, 0));
    EXPECT_EQ(server.lastOpen().frames, 1024u);
    EXPECT_EQ(server.lastOpen().numberOfBuffers, 2u);
    EXPECT_EQ(server.closeCount(), 2);  // each stream was closed before the next was opened
}

TEST_F(AudioSystemTest, StartStopCloseFollowTheStateMachine) {
    system().start();  // nothing open: nothing happens
    EXPECT_EQ(system().state(), AudioSystemState::kClosed);
    system().open(callbackTrampoline, nullptr, outputConfig(0));
    system().start();
    EXPECT_EQ(system().state(), AudioSystemState::kRunning);
    EXPECT_EQ(server.streamState(), StreamState::kRunning);
    system().stop();
    EXPECT_EQ(system().state(), AudioSystemState::kOpen);
    EXPECT_EQ(server.streamState(), StreamState::kStopped);
    system().start();
    system().close();  // a running stream is stopped, then closed
    EXPECT_EQ(system().state(), AudioSystemState::kClosed);
    EXPECT_EQ(server.streamState(), StreamState::kClosed);
    EXPECT_EQ(server.closeCount(), 1);
    // Destroying a running system stops and closes its stream.
    system().open(callbackTrampoline, nullptr, outputConfig(0));
    system().start();
    system_.reset();
    EXPECT_EQ(server.streamState(), StreamState::kClosed);
    EXPECT_EQ(server.closeCount(), 2);
}

TEST_F(AudioSystemTest, SetCallbackRoutesPeriodsThroughTheTrampolineOrLogsItsErrors) {
    StreamConfig floatConfig = outputConfig(0);
    floatConfig.output.rtFormat = kRtFloat32;
    system().setCallback(floatConfig, recordingCallback, &record);
    EXPECT_EQ(system().state(), AudioSystemState::kClosed);
    server.openError = RtError("device busy", RtError::kDriverError);
    system().setCallback(outputConfig(0), recordingCallback, &record);
    EXPECT_EQ(system().state(), AudioSystemState::kClosed);
    EXPECT_EQ(log.str(),
              "setCallback: Callback function type error\n\n"
              "AudioSystem::open(): RtAudio error device busy\n"
              "device busy\n\n");

    system().setCallback(outputConfig(0, 128), recordingCallback, &record);
    ASSERT_EQ(system().state(), AudioSystemState::kOpen);
    system().start();
    const std::vector<std::int16_t> period = server.runPeriod();
    EXPECT_EQ(record.calls, 1);
    EXPECT_EQ(record.frames, 128u);
    ASSERT_EQ(period.size(), 256u);
    EXPECT_EQ(period[0], 1234);
    EXPECT_EQ(callbackTrampoline(nullptr, nullptr, 1, 0.0, 0, nullptr), 0);
}

TEST_F(AudioSystemTest, PlaybackStreamAdoptsGrantsAndReusesAnOpenStreamOnTheSameDevice) {
    server.grantedFrames = 512;
    server.grantedBuffers = 3;
    SoundSettings settings;
    settings.sampleRate = 48000;
    settings.stereo = false;
    settings.deviceSelection = kRtDeviceBase + 2;  // (PULSE0)
    ASSERT_TRUE(system().openPlaybackStream(settings, recordingCallback, &record));
    EXPECT_EQ(server.lastOpen().api, AudioApiId::kPulse);
    EXPECT_EQ(server.lastOpen().sampleRate, 48000u);
    EXPECT_EQ(server.lastOpen().output->channels, 1u);
    EXPECT_EQ(server.lastOpen().numberOfBuffers, 3u);
    EXPECT_EQ(system().config().output.bufferFrames, 512u);
    EXPECT_EQ(system().config().output.numberOfBuffers, 3u);
    // Same device again: the open stream is kept.
    ASSERT_TRUE(system().openPlaybackStream(settings, recordingCallback, &record));
    EXPECT_EQ(server.openCount(), 1);
    // JACK0 has the same index within its API, but is another device.
    settings.deviceSelection = kRtDeviceBase;
    ASSERT_TRUE(system().openPlaybackStream(settings, recordingCallback, &record));
    EXPECT_EQ(server.openCount(), 2);
    EXPECT_EQ(server.lastOpen().api, AudioApiId::kJack);
    // A refusing device, or one that is gone, reports false.
    system().close();
    server.openError = RtError("sample rate refused", RtError::kInvalidParameter);
    EXPECT_FALSE(system().openPlaybackStream(settings, recordingCallback, &record));
    EXPECT_EQ(system().state(), AudioSystemState::kClosed);
    settings.deviceSelection = kRtDeviceBase + 9;
    EXPECT_FALSE(system().openPlaybackStream(settings, recordingCallback, &record));
    EXPECT_NE(log.str().find("illegal device index"), std::string::npos);
}

struct RecordedWarnings : UserWarnings {
    std::vector<std::string> shown;
    void showWarning(const std::string& caption, const std::string& text) override {
        shown.push_back(caption + ": " + text);
    }
};

TEST(SoundDeviceCheck, StoredSelectionsAreKeptOrReplacedWithAWarning) {
    const std::string noDevice = "Frisson Warning!: No wave output device available!";
    const std::string alsaFallback = "Frisson Warning!: Could not find PulseAudio device, using ALSA";
    const struct {
        const char* name;
        bool serverDevices;  // a JACK "system" and a PulseAudio "PulseAudio" entry
        std::vector<std::string> alsa;
        bool alsaDefault;
        DeviceSelection stored;
        std::string storedName;
        DeviceSelection expected;
        std::vector<std::string> warnings;
    } cases[] = {
        {"no device at all", false, {}, false, kRtDeviceBase + 1, "", 0, {noDevice, alsaFallback}},
        {"no server device: the default PCM",
         false,
         {},
         true,
         kRtDeviceBase,
         "",
         kDefaultAlsaDevice,
         {alsaFallback}},
        {"ALSA past the devices", false, {"null", "hw:CARD=PCH,DEV=0"}, false, 2, "", 0, {}},
        {"ALSA below the default", false, {"null", "hw:CARD=PCH,DEV=0"}, false, -2, "", 0, {}},
        {"ALSA default", false, {"null", "hw:CARD=PCH,DEV=0"}, false, -1, "", -1, {}},
        {"ALSA without devices", false, {}, false, 1, "", -1, {noDevice}},
        {"index in range, no name", true, {}, false, kRtDeviceBase + 1, "", kRtDeviceBase + 1, {}},
        {"name that matches nothing",
         true,
         {},
         false,
         kRtDeviceBase + 1,
         "USB Headset",
         kRtDeviceBase,
         {"Frisson Warning!: Could not find previously selected device, so set default device"}},
        {"name stored without its key", true, {}, false, kRtDeviceBase, "pulseaudio", kRtDeviceBase + 1, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ManualAudioServer server;
        if (c.serverDevices) {
            server.devices[AudioApiId::kJack] = {device("system")};
            server.devices[AudioApiId::kPulse] = {device("PulseAudio")};
        }
        std::ostringstream log;
        AudioSystem system(server.factory(), log);
        AlsaDeviceTable alsa;
        alsa.names = c.alsa;
        alsa.defaultAvailable = c.alsaDefault;
        SoundSettings settings;
        settings.deviceSelection = c.stored;
        settings.deviceName = c.storedName;
        RecordedWarnings warnings;
        checkSoundDevices(system, alsa, settings, warnings);
        EXPECT_EQ(settings.deviceSelection, c.expected);
        EXPECT_EQ(warnings.shown, c.warnings);
    }
}

TEST(DeviceChoices, ServerDevicesThenAlsaDefaultThenAlsaDevicesFoundByAnyPartOfTheirText) {
    DeviceList list;
    list.entries = {device("(JACK0) system"), device("(PULSE0) PulseAudio")};
    list.jackDeviceCount = 1;
    list.built = true;
    AlsaDeviceTable alsa;
    alsa.names = {"null", "hw:CARD=PCH,DEV=0"};
    alsa.defaultAvailable = true;
    const std::vector<DeviceChoice> choices = outputDeviceChoices(list, alsa);
    EXPECT_EQ(choices, (std::vector<DeviceChoice>{{"(JACK0) system", 0x10000},
                                                  {"(PULSE0) PulseAudio", 0x10001},
                                                  {"(ALSA) default", -1},
                                                  {"(ALSA) null", 0},
                                                  {"(ALSA) hw:CARD=PCH,DEV=0", 1}}));
    EXPECT_EQ(findDeviceChoice(choices, "pulse")->selection, 0x10001);
    EXPECT_EQ(findDeviceChoice(choices, "(jack0) SYSTEM")->selection, 0x10000);
    EXPECT_EQ(findDeviceChoice(choices, "NULL")->selection, 0);
    EXPECT_FALSE(findDeviceChoice(choices, "usb").has_value());
    EXPECT_FALSE(findDeviceChoice(choices, "").has_value());
    // Without a default PCM that opens there is no entry -1.
    alsa.defaultAvailable = false;
    EXPECT_EQ(outputDeviceChoices(DeviceList{}, alsa),
              (std::vector<DeviceChoice>{{"(ALSA) null", 0}, {"(ALSA) hw:CARD=PCH,DEV=0", 1}}));
}

}  // namespace
}  // namespace output
