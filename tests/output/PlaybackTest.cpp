// The device list, device choices, the stream state machine and play control against a sound server
// driven by hand, and the direct ALSA path against ALSA's "null" PCM, which takes every sample at once:
// the writer hands each buffer back as a done message.
#include "output/AudioSystem.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>
#include <sstream>
#include <thread>

#include "engine/Engine.h"
#include "output/DeviceChoices.h"
#include "output/ManualAudioApi.h"
#include "output/PlayControl.h"
#include "output/RtError.h"
#include "output/SoundDeviceCheck.h"
#include "platform/MessageQueue.h"
#include "sounds/SoundTable.h"
#include "tests/audio/TestFiles.h"

namespace output {
namespace {

using audio::test::thrown;

DeviceInfo device(const std::string& name, unsigned outputs = 2, bool defaultOutput = false,
                  bool probed = true) {
    return {.probed = probed,
            .name = name,
            .outputChannels = outputs,
            .isDefaultOutput = defaultOutput,
            .sampleRates = {}};
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

// What play control and the device check show the user; warnings as "caption: text".
struct RecordedView : PlayView, UserWarnings {
    std::vector<bool> buttons;
    std::vector<std::string> statusMessages;
    std::vector<std::string> warnings;
    void setPlayButton(bool playing) override { buttons.push_back(playing); }
    void showStatusMessage(const std::string& text) override { statusMessages.push_back(text); }
    void showWarning(const std::string& caption, const std::string& text) override {
        warnings.push_back(caption + ": " + text);
    }
};

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

    // The states of the system and of the server's stream.
    std::pair<AudioSystemState, StreamState> states() { return {system().state(), server.streamState()}; }

    std::vector<std::string> names() {
        std::vector<std::string> result;
        for (const DeviceInfo& info : system().getDeviceList().entries)
            result.push_back(info.name);
        return result;
    }

    // The selection the device check leaves for a stored one, and the warnings it shows; the device
    // list is built afresh.
    std::pair<DeviceSelection, std::vector<std::string>> checked(const std::vector<std::string>& alsaNames,
                                                                 bool alsaDefault, DeviceSelection stored,
                                                                 const std::string& storedName = "") {
        system_.reset();
        SoundSettings settings{.deviceSelection = stored, .deviceName = storedName};
        RecordedView view;
        checkSoundDevices(system(), AlsaDeviceTable{alsaNames, alsaDefault, {}}, settings, view);
        return {settings.deviceSelection, view.warnings};
    }

    ManualAudioServer server;
    std::ostringstream log;
    std::unique_ptr<AudioSystem> system_;
    CallbackRecord record;
};

TEST(Datatype2rtfmt, MapsEveryDeviceFormatAndRejectsOthers) {
    using namespace audio;
    const SampleFormat formats[] = {kByte, kInt16LE, kInt24LE, kInt24BE, kInt32LE, kFloat32LE, kFloat64LE};
    const unsigned codes[] = {1, 2, 4, 4, 8, 16, 32};
    for (std::size_t i = 0; i < std::size(codes); ++i)
        EXPECT_EQ(datatype2rtfmt(formats[i]), codes[i]) << formats[i];
    EXPECT_EQ(thrown<RtError>([] { datatype2rtfmt(audio::kInt16BE); }),
              "Invalid RtAudioFormat code in datatype2rtfmt");
}

TEST_F(AudioSystemTest, ListsJackThenPulseDevicesWithKeysThatKeepGapsAndSelectsByNameIgnoringCase) {
    EXPECT_EQ(names(), (std::vector<std::string>{"(JACK0) system", "(JACK2) Studio Bus",
                                                 "(PULSE0) PulseAudio", "(PULSE1) studio monitor"}));
    const DeviceList& list = system().getDeviceList();
    // The last default output enumerated wins: PulseAudio after JACK.
    const DeviceSpec& out = list.defaultOutputDevice;
    EXPECT_EQ(std::tuple(list.jackDeviceCount, out.api, out.device, out.name, list.defaultInputDevice),
              std::tuple(2u, AudioApiId::kPulse, 0, "(PULSE0) PulseAudio", DeviceSpec::blank()));
    // Built once: a device appearing later is not listed.
    server.devices[AudioApiId::kJack].push_back(device("late"));
    EXPECT_EQ(system().getDeviceList().entries.size(), 4u);
    // Selecting by name closes the open stream.
    system().open(callbackTrampoline, nullptr, outputConfig(0));
    system().start();
    ASSERT_EQ(system().state(), AudioSystemState::kRunning);
    // "studio" is in a JACK and a PulseAudio name: the JACK entry comes first.
    const auto selected = [&] { return std::pair(system().currentApi(), system().config().output.device); };
    EXPECT_TRUE(system().selectDeviceByName("STUDIO"));
    EXPECT_EQ(std::tuple(states(), selected(), system().config().input.device),
              std::tuple(std::pair(AudioSystemState::kClosed, StreamState::kClosed),
                         std::pair(AudioApiId::kJack, 2), -1));
    // A stored name that carries its key is longer than the shown name's tail; a name not listed
    // keeps the selection.
    EXPECT_TRUE(system().selectDeviceByName("(pulse1) Studio Monitor"));
    EXPECT_FALSE(system().selectDeviceByName("usb headset"));
    EXPECT_EQ(selected(), std::pair(AudioApiId::kPulse, 1));
    // A failed JACK pass is logged and leaves only the PulseAudio devices.
    system_.reset();
    log.str("");
    server.enumerationErrors.emplace(AudioApiId::kJack, RtError("no server", RtError::kDriverError));
    EXPECT_EQ(names(), (std::vector<std::string>{"(PULSE0) PulseAudio", "(PULSE1) studio monitor"}));
    EXPECT_EQ(std::tuple(system().getDeviceList().jackDeviceCount, log.str()),
              std::tuple(0u, "RtAudio error no server\n"));
}

TEST_F(AudioSystemTest, OpenRejectsBadConfigurationsAndUsesTheEntrysApiIndexAndGrantedBuffers) {
    const auto failure = [&](const StreamConfig& config) {
        try {
            system().open(callbackTrampoline, nullptr, config);
        } catch (const RtError& error) {
            return std::pair(error.message(), error.type());
        }
        return std::pair(std::string("(no error)"), RtError::kUnspecified);
    };
    using Failure = std::pair<std::string, RtError::Type>;
    StreamConfig mixed = outputConfig(0);
    mixed.input.device = 0;
    mixed.input.rtFormat = kRtFloat32;
    EXPECT_EQ(failure(outputConfig(4)), Failure("illegal device index", RtError::kInvalidDevice));
    EXPECT_EQ(failure(outputConfig(-1)), Failure("no device to open", RtError::kInvalidParameter));
    EXPECT_EQ(failure(mixed),
              Failure("output and input must use same sample format", RtError::kInvalidParameter));
    EXPECT_EQ(std::pair(system().state(), server.openCount()), std::pair(AudioSystemState::kClosed, 0));
    system().open(callbackTrampoline, nullptr, outputConfig(3));  // (PULSE1) studio monitor
    const auto& opened = server.lastOpen();
    ASSERT_TRUE(opened.output.has_value());
    EXPECT_EQ(
        std::tuple(opened.api, opened.output->deviceId, opened.output->channels, opened.input.has_value(),
                   opened.format, system().config().output.device, system().state()),
        std::tuple(AudioApiId::kPulse, 1u, 2u, false, kRtSInt16, 1, AudioSystemState::kOpen));
    server.grantedFrames = 1024;
    server.grantedBuffers = 2;
    system().open(callbackTrampoline, nullptr, outputConfig(0, 256, 4));
    EXPECT_EQ(std::pair(system().config().output.bufferFrames, system().config().output.numberOfBuffers),
              std::pair(1024u, 2u));
    // Zero asks for the current values again.
    server.grantedFrames = server.grantedBuffers = 0;
    system().open(callbackTrampoline, nullptr, outputConfig(0, 0, 0));
    EXPECT_EQ(std::pair(server.lastOpen().frames, server.lastOpen().numberOfBuffers), std::pair(1024u, 2u));
    EXPECT_EQ(server.closeCount(), 2);  // each stream was closed before the next was opened
}

TEST_F(AudioSystemTest, SetCallbackRoutesPeriodsThroughTheTrampolineAndTheStreamFollowsTheStateMachine) {
    StreamConfig floatConfig = outputConfig(0);
    floatConfig.output.rtFormat = kRtFloat32;
    system().setCallback(floatConfig, recordingCallback, &record);
    server.openError = RtError("device busy", RtError::kDriverError);
    system().setCallback(outputConfig(0), recordingCallback, &record);
    EXPECT_EQ(log.str(),
              "setCallback: Callback function type error\n\n"
              "AudioSystem::open(): RtAudio error device busy\n"
              "device busy\n\n");
    system().start();  // nothing open: nothing happens
    EXPECT_EQ(system().state(), AudioSystemState::kClosed);
    system().setCallback(outputConfig(0, 128), recordingCallback, &record);
    ASSERT_EQ(system().state(), AudioSystemState::kOpen);
    system().start();
    EXPECT_EQ(states(), std::pair(AudioSystemState::kRunning, StreamState::kRunning));
    const std::vector<std::int16_t> period = server.runPeriod();
    ASSERT_EQ(period.size(), 256u);
    EXPECT_EQ(std::tuple(record.calls, record.frames, period[0]), std::tuple(1, 128u, 1234));
    EXPECT_EQ(callbackTrampoline(nullptr, nullptr, 1, 0.0, 0, nullptr), 0);
    system().stop();
    EXPECT_EQ(states(), std::pair(AudioSystemState::kOpen, StreamState::kStopped));
    system().start();
    system().close();  // a running stream is stopped, then closed
    EXPECT_EQ(states(), std::pair(AudioSystemState::kClosed, StreamState::kClosed));
    // Destroying a running system stops and closes its stream.
    system().open(callbackTrampoline, nullptr, outputConfig(0));
    system().start();
    system_.reset();
    EXPECT_EQ(std::pair(server.streamState(), server.closeCount()), std::pair(StreamState::kClosed, 2));
}

TEST_F(AudioSystemTest, PlaybackStreamAsksForTheSettingsAndReusesAnOpenStreamOnTheSameDevice) {
    SoundSettings settings;
    settings.bufferCount = 3;
    settings.sampleRate = 48000;
    settings.stereo = false;
    settings.deviceSelection = kRtDeviceBase + 2;  // (PULSE0)
    ASSERT_TRUE(system().openPlaybackStream(settings, recordingCallback, &record));
    const auto& opened = server.lastOpen();
    EXPECT_EQ(std::tuple(opened.api, opened.sampleRate, opened.output->channels, opened.numberOfBuffers),
              std::tuple(AudioApiId::kPulse, 48000u, 1u, 3u));
    // Same device again: the open stream is kept.
    ASSERT_TRUE(system().openPlaybackStream(settings, recordingCallback, &record));
    EXPECT_EQ(server.openCount(), 1);
    // JACK0 has the same index within its API, but is another device.
    settings.deviceSelection = kRtDeviceBase;
    ASSERT_TRUE(system().openPlaybackStream(settings, recordingCallback, &record));
    EXPECT_EQ(std::pair(server.openCount(), server.lastOpen().api), std::pair(2, AudioApiId::kJack));
    // A device that is gone reports false.
    settings.deviceSelection = kRtDeviceBase + 9;
    EXPECT_FALSE(system().openPlaybackStream(settings, recordingCallback, &record));
    EXPECT_NE(log.str().find("illegal device index"), std::string::npos);
}

TEST_F(AudioSystemTest, SoundDeviceCheckKeepsStoredSelectionsOrReplacesThemWithAWarning) {
    using Checked = std::pair<DeviceSelection, std::vector<std::string>>;
    const std::string noDevice = "Frisson Warning!: No wave output device available!";
    const std::string alsaFallback = "Frisson Warning!: Could not find PulseAudio device, using ALSA";
    const std::vector<std::string> twoPcms{"null", "hw:CARD=PCH,DEV=0"};
    // A stored index in range is kept without a name; a stored name finds its entry wherever it is
    // listed, or falls back to the first entry.
    EXPECT_EQ(checked({}, false, kRtDeviceBase + 1), Checked(kRtDeviceBase + 1, {}));
    EXPECT_EQ(checked({}, false, kRtDeviceBase, "pulseaudio"), Checked(kRtDeviceBase + 2, {}));
    EXPECT_EQ(checked({}, false, kRtDeviceBase + 1, "USB Headset"),
              Checked(kRtDeviceBase, {"Frisson Warning!: Could not find previously selected device, so set "
                                      "default device"}));
    // Without any device, or without a server device, ALSA takes over.
    server.devices.clear();
    EXPECT_EQ(checked({}, false, kRtDeviceBase + 1), Checked(0, {noDevice, alsaFallback}));
    EXPECT_EQ(checked({}, true, kRtDeviceBase), Checked(kDefaultAlsaDevice, {alsaFallback}));
    // ALSA selections outside the devices become device 0; -1 is the default PCM.
    EXPECT_EQ(checked(twoPcms, false, 2), Checked(0, {}));
    EXPECT_EQ(checked(twoPcms, false, -2), Checked(0, {}));
    EXPECT_EQ(checked(twoPcms, false, -1), Checked(-1, {}));
    EXPECT_EQ(checked({}, false, 1), Checked(-1, {noDevice}));
}

TEST(DeviceChoices, ServerDevicesThenAlsaDefaultThenAlsaDevicesFoundByAnyPartOfTheirText) {
    const DeviceList list{.entries = {device("(JACK0) system"), device("(PULSE0) PulseAudio")},
                          .jackDeviceCount = 1,
                          .built = true};
    AlsaDeviceTable alsa{{"null", "hw:CARD=PCH,DEV=0"}, true, {}};
    const std::vector<DeviceChoice> choices = outputDeviceChoices(list, alsa);
    EXPECT_EQ(choices, (std::vector<DeviceChoice>{{"(JACK0) system", 0x10000},
                                                  {"(PULSE0) PulseAudio", 0x10001},
                                                  {"(ALSA) default", -1},
                                                  {"(ALSA) null", 0},
                                                  {"(ALSA) hw:CARD=PCH,DEV=0", 1}}));
    const auto found = [&](const char* text) {
        const auto choice = findDeviceChoice(choices, text);
        return choice ? std::optional(choice->selection) : std::nullopt;
    };
    EXPECT_EQ(std::tuple(found("pulse"), found("(jack0) SYSTEM"), found("NULL"), found("usb"), found("")),
              std::tuple(0x10001, 0x10000, 0, std::nullopt, std::nullopt));
    // Without a default PCM that opens there is no entry -1.
    alsa.defaultAvailable = false;
    EXPECT_EQ(outputDeviceChoices(DeviceList{}, alsa),
              (std::vector<DeviceChoice>{{"(ALSA) null", 0}, {"(ALSA) hw:CARD=PCH,DEV=0", 1}}));
}

constexpr std::uint32_t kRate = 44100;
constexpr int kEnoughPeriods = 2000;  // far more than a half-second fade needs

// x × 32767.5 rounded half to even, within ±32767.
std::int16_t expected16(float x) {
    const double scaled = std::nearbyint(static_cast<double>(x) * 32767.5);
    return static_cast<std::int16_t>(std::fmax(-32767.0, std::fmin(32767.0, scaled)));
}

// Play control on the first JACK device of the server driven by hand.
class PlayControlTest : public AudioSystemTest {
  protected:
    PlayControlTest() { settings.sampleRate = kRate; }

    PlayControl& control() {
        if (!control_) {
            control_ = std::make_unique<PlayControl>(
                engine, PlayControl::Devices{system(), alsa, alsaDevices, queue, log, silentLimit}, settings,
                view, view, nullptr);
            EXPECT_FALSE(control_->allocateBuffers().has_value());
        }
        return *control_;
    }

    // Runs device periods while playing, up to count, each followed by the main loop delivering the
    // waiting messages; returns how many ran.
    int runPeriods(int count) {
        int periods = 0;
        for (; control().playing() && periods < count; ++periods) {
            server.runPeriod();
            while (const auto message = queue.take())
                if (message->number == platform::kMsgBufferDone)
                    control().onBufferDone(message->first, message->second);
        }
        return periods;
    }

    std::chrono::milliseconds silentLimit = PlayControl::kSilentDeviceLimit;
    sounds::SoundTable sounds{kRate};
    engine::Engine engine{sounds, engine::OutputFormat{kRate, true, 256, 4}};
    platform::MessageQueue queue;
    AlsaOutput alsa{queue};
    AlsaDeviceTable alsaDevices = listAlsaPlaybackDevices();
    SoundSettings settings;
    RecordedView view;
    std::unique_ptr<PlayControl> control_;
};

TEST_F(PlayControlTest, StartAdoptsTheGrantedSizesFillsTheRingAndTheDeviceReceivesTheOldestPeriodIn16Bit) {
    server.grantedFrames = 512;
    server.grantedBuffers = 3;
    ASSERT_TRUE(control().startPlay(0));
    EXPECT_EQ(std::tuple(settings.bufferFrames, settings.bufferCount, engine.filled(),
                         engine.callbacksTotal(), states()),
              std::tuple(512u, 3u, 3, 0u, std::pair(AudioSystemState::kRunning, StreamState::kRunning)));
    // Stereo 512-frame periods: 1024 samples; a ring made for another size would play silence.
    std::vector<std::int16_t> slot0(1024);
    std::transform(engine.ringSlot(0), engine.ringSlot(0) + slot0.size(), slot0.begin(), expected16);
    EXPECT_EQ(server.runPeriod(), slot0);
    EXPECT_TRUE(std::any_of(slot0.begin(), slot0.end(), [](std::int16_t s) { return s != 0; }));
    EXPECT_EQ(engine.filled(), 3);  // one consumed, one rendered
}

TEST_F(PlayControlTest, ASoftStopEndsOnceTheRingHasDrainedAndPeriodsAskedForLaterAreUnderruns) {
    control().togglePlay(0);
    unsigned periods = runPeriods(8);
    ASSERT_EQ(periods, 8u);
    control().togglePlay(0);  // the stop request
    // Run the device until it asks for the end of play, without handing the
    // message on yet: the main thread is late.
    std::optional<platform::Message> endOfPlay;
    for (; !endOfPlay && periods < kEnoughPeriods; ++periods) {
        server.runPeriod();
        endOfPlay = queue.take();
    }
    ASSERT_TRUE(endOfPlay.has_value());
    // The half-second fade (about 86 periods) plus the ring, at most.
    EXPECT_GT(periods, 8u + 4);
    EXPECT_LE(periods, 8u + 86 + 8);
    // Three more periods while nothing is rendered: three underruns.
    for (int k = 0; k < 3; ++k, ++periods)
        server.runPeriod();
    control().onBufferDone(endOfPlay->first, endOfPlay->second);
    EXPECT_EQ(std::tuple(control().playing(), server.streamState(), view.buttons),
              std::tuple(false, StreamState::kClosed, std::vector<bool>{true, true, false}));
    const unsigned perMille = 3000 / periods;
    EXPECT_EQ(view.statusMessages,
              std::vector<std::string>{"3 buffer underruns in performance (" + std::to_string(perMille / 10) +
                                       "." + std::to_string(perMille % 10) + " %)"});
}

// A device that refuses to open, or whose server closes the stream, ends play with the reason in the
// log. So does a server whose client library never says it went away (the stream stays open) but that
// asks for no more periods: play ends once it has been silent for the limit, and not before.
TEST_F(PlayControlTest, ADeviceThatRefusesToOpenGoesAwayOrFallsSilentForTheLimitEndsPlay) {
    using Clock = std::chrono::steady_clock;
    silentLimit = std::chrono::milliseconds(500);
    server.openError = RtError("device busy", RtError::kDriverError);
    control().togglePlay(0);
    // Device errors go to the log only.
    EXPECT_EQ(std::tuple(control().playing(), view.buttons, view.warnings.empty()),
              std::tuple(false, std::vector<bool>{false}, true));
    EXPECT_NE(log.str().find("device busy"), std::string::npos);
    // The server goes away while playing.
    control().togglePlay(0);
    server.runPeriod();
    control().checkDevice();
    EXPECT_TRUE(control().playing());
    server.dropStream();
    control().checkDevice();
    EXPECT_EQ(
        std::tuple(control().playing(), system().state(), control().deviceLost(), bool(view.buttons.back())),
        std::tuple(false, AudioSystemState::kClosed, true, false));
    EXPECT_NE(log.str().find("the sound server closed the stream"), std::string::npos);
    // The server falls silent.
    control().togglePlay(0);
    EXPECT_FALSE(control().deviceLost());
    auto lastPeriod = Clock::now();
    for (int turn = 0; turn < 10; ++turn) {  // turns of the main loop, a period in each
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        runPeriods(1);
        lastPeriod = Clock::now();
        control().checkDevice();
    }
    EXPECT_TRUE(control().playing());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    control().checkDevice();
    if (Clock::now() - lastPeriod < silentLimit) {  // a busy machine may have slept past it
        EXPECT_TRUE(control().playing()) << "within the limit";
    }
    std::this_thread::sleep_until(lastPeriod + silentLimit + std::chrono::milliseconds(10));
    control().checkDevice();
    EXPECT_EQ(std::pair(control().playing(), control().deviceLost()), std::pair(false, true));
    EXPECT_NE(log.str().find("the sound server asked for no period in 500 ms"), std::string::npos)
        << log.str();
}

// Play control on both device paths: the sound server driven by hand, and ALSA's "null" PCM.
class PlayPathTest : public PlayControlTest, public ::testing::WithParamInterface<bool> {
  protected:
    PlayPathTest() {
        if (onAlsa) {
            const auto null = std::find(alsaDevices.names.begin(), alsaDevices.names.end(), "null");
            settings.deviceSelection = static_cast<DeviceSelection>(null - alsaDevices.names.begin());
        }
    }

    // Runs up to count periods while playing: the server's, each followed by the main loop, or the PCM's,
    // each a buffer done message for the main loop. Returns how many ran.
    int periods(int count) {
        if (!onAlsa)
            return runPeriods(count);
        int ran = 0;
        for (; control().playing() && ran < count; ++ran) {
            const auto message = queue.waitAndTake(std::chrono::seconds(2));
            if (!message.has_value()) {
                ADD_FAILURE() << "no buffer done after " << ran;
                break;
            }
            control().onBufferDone(message->first, message->second);
        }
        return ran;
    }
    bool deviceClosed() const {
        return onAlsa ? !alsa.isOpen() : server.streamState() == StreamState::kClosed;
    }

    const bool onAlsa = GetParam();
};

TEST_P(PlayPathTest, PlayDuringASoftStopGoesOnAndASoftStopTheQKeyAndAHardStopEndIt) {
    // Whether play goes on, and whether the device is closed.
    const auto state = [&] { return std::pair(control().playing(), deviceClosed()); };
    const auto ended = std::pair(false, true);
    ASSERT_TRUE(control().startPlay(0));
    periods(20);
    control().togglePlay(0);
    ASSERT_TRUE(engine.stopping());
    control().togglePlay(0);  // play again before the fade has ended: on the open stream or PCM
    EXPECT_EQ(
        std::tuple(control().playing(), engine.stopping(), control().restartPending(), server.openCount()),
        std::tuple(true, false, false, onAlsa ? 0 : 1));
    EXPECT_TRUE(onAlsa ? alsa.isOpen() : server.streamState() == StreamState::kRunning);
    control().onBufferDone(0, 1);   // a stop message from the ended play is ignored
    EXPECT_EQ(periods(200), 200);   // longer than the fade: the restarted play goes on
    EXPECT_EQ(engine.filled(), 4);  // each period renders the next
    control().togglePlay(0);        // a soft stop fades out, then closes the device
    EXPECT_EQ(std::pair(control().playing(), engine.stopping()), std::pair(true, true));
    periods(kEnoughPeriods);
    EXPECT_EQ(std::pair(state(), engine.anyGrainActive()), std::pair(ended, false));
    // The Q key stops at the next period.
    control().togglePlay(0);
    periods(4);
    engine.setQuitKeyHeld(true);
    periods(1);
    EXPECT_EQ(std::pair(state(), bool(view.buttons.back())), std::pair(ended, false));
    // A hard stop closes at once.
    engine.setQuitKeyHeld(false);
    ASSERT_TRUE(control().startPlay(0));
    periods(40);
    settings.softStop = false;
    engine.setSoftStop(false);
    control().togglePlay(0);
    EXPECT_EQ(state(), ended);
    EXPECT_TRUE(view.statusMessages.empty());  // periods came on time: no underrun report
}

INSTANTIATE_TEST_SUITE_P(Devices, PlayPathTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "AlsaNull" : "SoundServer"; });

// The writer of a PCM that is open: paused after open, queued buffers wait for restart, then come back
// in order as done messages; a reset drops them. A PCM that does not open shows the system's text.
TEST_F(PlayControlTest, AlsaBuffersWaitForRestartThenComeBackInOrderAndResetDropsThem) {
    constexpr unsigned kFrames = 256;
    constexpr std::int64_t kTag = 7;
    using SlotAndTag = std::pair<std::int64_t, std::int64_t>;
    std::vector<std::int16_t> buffers(4 * 2 * kFrames, 0);
    const auto slot = [&](int s) { return buffers.data() + s * 2 * kFrames; };
    const auto done = [&] {  // the next done message: its slot and tag, or -1 and -1 when none comes
        const auto message = queue.waitAndTake(std::chrono::seconds(2));
        const bool isDone = message && message->number == platform::kMsgBufferDone;
        return isDone ? SlotAndTag(message->first, message->second) : SlotAndTag(-1, -1);
    };
    const auto nothingWaits = [&] { return !queue.waitAndTake(std::chrono::milliseconds(50)).has_value(); };
    EXPECT_EQ(alsaDevices.pcmName(-1), "default");
    alsaDevices.names = {"no_such_pcm_for_frisson"};
    settings.deviceSelection = 0;
    EXPECT_FALSE(control().startPlay(0));
    ASSERT_EQ(view.warnings.size(), 1u);
    EXPECT_EQ(view.warnings[0].substr(0, 12), "ALSA Error: ");
    EXPECT_GT(view.warnings[0].size(), 12u);
    EXPECT_FALSE(control().playing());
    // What is not open takes no buffer; closing it is harmless.
    EXPECT_FALSE(alsa.isOpen());
    EXPECT_FALSE(alsa.write(0, slot(0), kFrames, kTag));
    EXPECT_TRUE(alsa.close());
    ASSERT_TRUE(alsa.open("null", 2, kRate, kFrames));
    for (int s = 0; s < 4; ++s)
        ASSERT_TRUE(alsa.write(s, slot(s), kFrames, kTag));
    EXPECT_TRUE(nothingWaits());
    alsa.restart();
    for (int s = 0; s < 4; ++s)
        EXPECT_EQ(done(), SlotAndTag(s, kTag));
    EXPECT_TRUE(alsa.release());
    EXPECT_TRUE(alsa.close());
    EXPECT_FALSE(alsa.isOpen());
    ASSERT_TRUE(alsa.open("null", 1, 22050, kFrames));
    ASSERT_TRUE(alsa.write(0, slot(0), kFrames, kTag));
    ASSERT_TRUE(alsa.write(1, slot(1), kFrames, kTag));
    EXPECT_TRUE(alsa.reset());
    alsa.restart();
    EXPECT_TRUE(nothingWaits());
    ASSERT_TRUE(alsa.write(2, slot(2), kFrames, kTag + 1));
    EXPECT_EQ(done(), SlotAndTag(2, kTag + 1));
}

// JACK's client library ends its process thread with an asynchronous cancel when a stream closes, also
// after its server died while a period was being rendered. The period must still end as rendered: the
// thread may only end once the program's callback has returned.
struct SlowPeriod {
    std::atomic<bool> entered{false};
    std::atomic<bool> mayEnd{false};
    std::atomic<bool> ended{false};
    std::atomic<bool> threadWentOn{false};
};

// Renders until told to end, with no cancellation point on the way, as a render has none.
int slowPeriod(void* context, std::int16_t* output, unsigned frames) {
    auto& period = *static_cast<SlowPeriod*>(context);
    period.entered.store(true);
    while (!period.mayEnd.load()) {
        for (unsigned i = 0; i < 2 * frames; ++i)
            output[i] = static_cast<std::int16_t>(i);
    }
    period.ended.store(true);
    return 0;
}

// A process thread as JACK's: cancelled at any instruction.
void* processThread(void* slots) {
    pthread_setcanceltype(PTHREAD_CANCEL_ASYNCHRONOUS, nullptr);
    std::int16_t output[2 * 64] = {};
    callbackTrampoline(output, nullptr, 64, 0.0, 0, slots);
    static_cast<SlowPeriod*>(static_cast<CallbackSlots*>(slots)->context)->threadWentOn.store(true);
    return nullptr;
}

TEST(CallbackCancel, ACancelDuringAPeriodEndsTheThreadOnlyAfterThePeriod) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer does not follow asynchronous cancellation";
#endif
    SlowPeriod period;
    CallbackSlots slots{slowPeriod, &period};
    pthread_t thread{};
    ASSERT_EQ(pthread_create(&thread, nullptr, processThread, &slots), 0);
    while (!period.entered.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(pthread_cancel(thread), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(period.ended.load()) << "the period ended before it was told to";
    period.mayEnd.store(true);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
    EXPECT_TRUE(period.ended.load()) << "the cancel cut the period short";
    EXPECT_FALSE(period.threadWentOn.load()) << "the cancel was lost";
}

}  // namespace
}  // namespace output
