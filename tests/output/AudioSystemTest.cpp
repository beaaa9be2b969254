#include "output/AudioSystem.h"

#include <gtest/gtest.h>

#include <sstream>

#include "output/ManualAudioApi.h"
#include "output/RtError.h"

namespace output {
namespace {

DeviceInfo device(const std::string& name, unsigned outputs, bool defaultOutput = false, bool probed = true) {
    DeviceInfo info;
    info.probed = probed;
    info.name = name;
    info.outputChannels = outputs;
    info.isDefaultOutput = defaultOutput;
    return info;
}

class AudioSystemTest : public ::testing::Test {
  protected:
    AudioSystemTest() {
        server.devices[AudioApiId::kJack] = {device("system", 2, true), device("hidden", 2, false, false),
                                             device("Studio Bus", 8)};
        server.devices[AudioApiId::kPulse] = {device("PulseAudio", 2, true), device("studio monitor", 2)};
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

    ManualAudioServer server;
    std::ostringstream log;
    std::unique_ptr<AudioSystem> system_;
};

std::vector<std::string> names(const DeviceList& list) {
    std::vector<std::string> result;
    for (const DeviceInfo& info : list.entries) {
        result.push_back(info.name);
    }
    return result;
}

TEST(Datatype2rtfmt, MapsEveryDeviceFormatAndRejectsOthers) {
    EXPECT_EQ(datatype2rtfmt(audio::kByte), 1u);
    EXPECT_EQ(datatype2rtfmt(audio::kInt16LE), 2u);
    EXPECT_EQ(datatype2rtfmt(audio::kInt24LE), 4u);
    EXPECT_EQ(datatype2rtfmt(audio::kInt24BE), 4u);
    EXPECT_EQ(datatype2rtfmt(audio::kInt32LE), 8u);
    EXPECT_EQ(datatype2rtfmt(audio::kFloat32LE), 16u);
    EXPECT_EQ(datatype2rtfmt(audio::kFloat64LE), 32u);
    try {
        datatype2rtfmt(audio::kInt16BE);
        FAIL() << "no error";
    } catch (const RtError& error) {
        EXPECT_EQ(error.message(), "Invalid RtAudioFormat code in datatype2rtfmt");
    }
}

TEST_F(AudioSystemTest, ListsJackThenPulseDevicesWithKeysThatKeepGaps) {
    const DeviceList& list = system().getDeviceList();
    EXPECT_EQ(names(list), (std::vector<std::string>{"(JACK0) system", "(JACK2) Studio Bus",
                                                     "(PULSE0) PulseAudio", "(PULSE1) studio monitor"}));
    EXPECT_EQ(list.jackDeviceCount, 2u);
    // The last default output enumerated wins: PulseAudio after JACK.
    EXPECT_EQ(list.defaultOutputDevice.device, 0);
    EXPECT_EQ(list.defaultOutputDevice.api, AudioApiId::kPulse);
    EXPECT_EQ(list.defaultOutputDevice.name, "(PULSE0) PulseAudio");
    EXPECT_EQ(list.defaultInputDevice, DeviceSpec::blank());
    // Built once: a device appearing later is not listed.
    server.devices[AudioApiId::kJack].push_back(device("late", 2));
    EXPECT_EQ(system().getDeviceList().entries.size(), 4u);
}

TEST_F(AudioSystemTest, AFailedJackPassIsLoggedAndLeavesOnlyPulseDevices) {
    server.enumerationErrors.emplace(AudioApiId::kJack, RtError("no server", RtError::kDriverError));
    const DeviceList& list = system().getDeviceList();
    EXPECT_EQ(list.jackDeviceCount, 0u);
    EXPECT_EQ(names(list), (std::vector<std::string>{"(PULSE0) PulseAudio", "(PULSE1) studio monitor"}));
    EXPECT_EQ(log.str(), "RtAudio error no server\n");
}

TEST_F(AudioSystemTest, SelectsByNameIgnoringCaseInEitherDirection) {
    // "studio" is in a JACK and a PulseAudio name: the JACK entry comes first.
    EXPECT_TRUE(system().selectDeviceByName("STUDIO"));
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

TEST_F(AudioSystemTest, SelectingADeviceClosesTheOpenStream) {
    system().open(callbackTrampoline, nullptr, outputConfig(0));
    system().start();
    ASSERT_EQ(system().state(), AudioSystemState::kRunning);
    EXPECT_TRUE(system().selectDeviceByName("system"));
    EXPECT_EQ(system().state(), AudioSystemState::kClosed);
    EXPECT_EQ(server.streamState(), StreamState::kClosed);
}

TEST_F(AudioSystemTest, OpenRejectsBadConfigurationsAndStaysClosed) {
    const auto expectError = [&](const StreamConfig& config, const std::string& message, RtError::Type type) {
        try {
            system().open(callbackTrampoline, nullptr, config);
            ADD_FAILURE() << "no error for " << message;
        } catch (const RtError& error) {
            EXPECT_EQ(error.message(), message);
            EXPECT_EQ(error.type(), type);
        }
        EXPECT_EQ(system().state(), AudioSystemState::kClosed);
    };
    expectError(outputConfig(4), "illegal device index", RtError::kInvalidDevice);
    expectError(outputConfig(-1), "no device to open", RtError::kInvalidParameter);
    StreamConfig mixed = outputConfig(0);
    mixed.input.device = 0;
    mixed.input.rtFormat = kRtFloat32;
    expectError(mixed, "output and input must use same sample format", RtError::kInvalidParameter);
    EXPECT_EQ(server.openCount(), 0);
}

TEST_F(AudioSystemTest, OpenUsesTheEntrysApiAndIndexWithinIt) {
    system().open(callbackTrampoline, nullptr, outputConfig(3));  // (PULSE1) studio monitor
    EXPECT_EQ(server.lastOpen().api, AudioApiId::kPulse);
    ASSERT_TRUE(server.lastOpen().output.has_value());
    EXPECT_EQ(server.lastOpen().output->deviceId, 1u);
    EXPECT_EQ(server.lastOpen().output->channels, 2u);
    EXPECT_FALSE(server.lastOpen().input.has_value());
    EXPECT_EQ(server.lastOpen().format, kRtSInt16);
    EXPECT_EQ(system().config().output.device, 1);
    EXPECT_EQ(system().state(), AudioSystemState::kOpen);
}

TEST_F(AudioSystemTest, GrantedBufferValuesAreReadBackAndZeroKeepsThem) {
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
    EXPECT_EQ(server.closeCount(), 1);  // the first stream was closed first
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
}

TEST_F(AudioSystemTest, DestroyingARunningSystemStopsAndClosesItsStream) {
    system().open(callbackTrampoline, nullptr, outputConfig(0));
    system().start();
    system_.reset();
    EXPECT_EQ(server.streamState(), StreamState::kClosed);
    EXPECT_EQ(server.closeCount(), 1);
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

TEST_F(AudioSystemTest, SetCallbackRoutesPeriodsThroughTheTrampoline) {
    CallbackRecord record;
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

TEST_F(AudioSystemTest, SetCallbackLogsErrorsAndLeavesTheStreamClosed) {
    CallbackRecord record;
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
}

TEST_F(AudioSystemTest, PlaybackStreamAdoptsGrantsAndReusesAnOpenStreamOnTheSameDevice) {
    server.grantedFrames = 512;
    server.grantedBuffers = 3;
    SoundSettings settings;
    settings.sampleRate = 48000;
    settings.stereo = false;
    settings.deviceSelection = kRtDeviceBase + 2;  // (PULSE0)
    CallbackRecord record;
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
}

TEST_F(AudioSystemTest, PlaybackStreamOnARefusingDeviceReportsFalse) {
    server.openError = RtError("sample rate refused", RtError::kInvalidParameter);
    SoundSettings settings;
    settings.deviceSelection = kRtDeviceBase;
    CallbackRecord record;
    EXPECT_FALSE(system().openPlaybackStream(settings, recordingCallback, &record));
    EXPECT_EQ(system().state(), AudioSystemState::kClosed);
    settings.deviceSelection = kRtDeviceBase + 9;  // gone
    EXPECT_FALSE(system().openPlaybackStream(settings, recordingCallback, &record));
    EXPECT_NE(log.str().find("illegal device index"), std::string::npos);
}

}  // namespace
}  // namespace output
