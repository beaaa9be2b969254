// Play control against a sound server driven by hand, and the direct ALSA path against ALSA's "null" PCM,
// which takes every sample at once: the writer hands each buffer back as a done message.
#include "output/PlayControl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <sstream>

#include "engine/Engine.h"
#include "output/ManualAudioApi.h"
#include "platform/MessageQueue.h"
#include "sounds/SoundTable.h"

namespace output {
namespace {

constexpr std::uint32_t kRate = 44100;
constexpr int kEnoughPeriods = 2000;  // far more than a half-second fade needs

struct RecordedView : PlayView, UserWarnings {
    std::vector<bool> buttons;
    std::vector<std::string> statusMessages;
    std::vector<std::pair<std::string, std::string>> warnings;
    void setPlayButton(bool playing) override { buttons.push_back(playing); }
    void showStatusMessage(const std::string& text) override { statusMessages.push_back(text); }
    void showWarning(const std::string& caption, const std::string& text) override {
        warnings.emplace_back(caption, text);
    }
};

// x × 32767.5 rounded half to even, within ±32767.
std::int16_t expected16(float x) {
    const double scaled = std::nearbyint(static_cast<double>(x) * 32767.5);
    return static_cast<std::int16_t>(std::fmax(-32767.0, std::fmin(32767.0, scaled)));
}

class PlayControlTest : public ::testing::Test {
  protected:
    PlayControlTest() {
        DeviceInfo system;
        system.probed = true;
        system.name = "system";
        system.outputChannels = 2;
        system.isDefaultOutput = true;
        server.devices[AudioApiId::kJack] = {system};
        settings.sampleRate = kRate;
        settings.deviceSelection = kRtDeviceBase;
    }

    PlayControl& control() {
        if (!control_) {
            control_ = std::make_unique<PlayControl>(
                engine, PlayControl::Devices{audio, alsa, alsaDevices, queue, log}, settings, view, view,
                nullptr);
            EXPECT_FALSE(control_->allocateBuffers().has_value());
        }
        return *control_;
    }

    // Delivers every waiting message as the main loop does.
    void pumpMessages() {
        while (const auto message = queue.take()) {
            if (message->number == platform::kMsgBufferDone) {
                control().onBufferDone(message->first, message->second);
            }
        }
    }

    // Runs device periods (and the main loop after each) while playing, up to count; returns how many ran.
    int runPeriods(int count = kEnoughPeriods) {
        int periods = 0;
        for (; control().playing() && periods < count; ++periods) {
            server.runPeriod();
            pumpMessages();
        }
        return periods;
    }

    void hardStops() {
        settings.softStop = false;
        engine.setSoftStop(false);
    }

    sounds::SoundTable sounds{kRate};
    engine::Engine engine{sounds, engine::OutputFormat{kRate, true, 256, 4}};
    ManualAudioServer server;
    std::ostringstream log;
    AudioSystem audio{server.factory(), log};
    platform::MessageQueue queue;
    AlsaOutput alsa{queue};
    AlsaDeviceTable alsaDevices = listAlsaPlaybackDevices();
    SoundSettings settings;
    RecordedView view;
    std::unique_ptr<PlayControl> control_;
};

TEST_F(PlayControlTest, StartFillsTheRingAndTheDeviceReceivesTheOldestPeriodIn16Bit) {
    ASSERT_TRUE(control().startPlay(0));
    EXPECT_EQ(engine.filled(), 4);
    EXPECT_EQ(engine.writeIndex(), 0);
    EXPECT_EQ(engine.callbacksTotal(), 0u);
    EXPECT_EQ(server.streamState(), StreamState::kRunning);
    EXPECT_EQ(audio.state(), AudioSystemState::kRunning);
    const std::vector<float> slot0(engine.ringSlot(0), engine.ringSlot(0) + engine.samplesPerBuffer());
    const std::vector<std::int16_t> played = server.runPeriod();
    ASSERT_EQ(played.size(), slot0.size());
    bool anySound = false;
    for (std::size_t k = 0; k < played.size(); ++k) {
        ASSERT_EQ(played[k], expected16(slot0[k])) << k;
        anySound = anySound || played[k] != 0;
    }
    EXPECT_TRUE(anySound);
    EXPECT_EQ(engine.filled(), 4);  // one consumed, one rendered
}

TEST_F(PlayControlTest, GrantedBufferSizesAreAdoptedBeforeTheRingIsFilled) {
    server.grantedFrames = 512;
    server.grantedBuffers = 3;
    ASSERT_TRUE(control().startPlay(0));
    EXPECT_EQ(settings.bufferFrames, 512u);
    EXPECT_EQ(settings.bufferCount, 3u);
    EXPECT_EQ(engine.outputFormat().framesPerBuffer, 512);
    EXPECT_EQ(engine.samplesPerBuffer(), 1024u);
    EXPECT_EQ(engine.filled(), 3);
}

TEST_F(PlayControlTest, SoftStopEndsOnceTheRingHasDrainedAndPlayDuringItRestartsOnTheOpenStream) {
    control().togglePlay(0);
    ASSERT_TRUE(control().playing());
    for (int k = 0; k < 8; ++k)
        server.runPeriod();
    control().togglePlay(0);  // the stop request
    EXPECT_TRUE(control().playing());
    EXPECT_TRUE(engine.stopping());
    const int periods = runPeriods();
    EXPECT_FALSE(control().playing());
    // The half-second fade (about 86 periods) plus the ring, at most.
    EXPECT_GT(periods, 4);
    EXPECT_LE(periods, 86 + 8);
    EXPECT_EQ(server.streamState(), StreamState::kClosed);
    EXPECT_EQ(view.buttons, (std::vector<bool>{true, true, false}));

    control().togglePlay(0);
    EXPECT_EQ(server.openCount(), 2);
    for (int k = 0; k < 8; ++k)
        server.runPeriod();
    control().togglePlay(0);
    ASSERT_TRUE(engine.stopping());
    control().togglePlay(0);  // play again before the fade has ended
    EXPECT_TRUE(control().playing());
    EXPECT_FALSE(engine.stopping());
    EXPECT_FALSE(control().restartPending());
    EXPECT_EQ(server.openCount(), 2);
    EXPECT_EQ(server.streamState(), StreamState::kRunning);
    control().onBufferDone(0, 1);  // a stop message from the ended play is ignored
    EXPECT_EQ(runPeriods(200), 200);
}

TEST_F(PlayControlTest, PeriodsAskedForAfterTheRingDrainedAreReportedAsUnderruns) {
    control().togglePlay(0);
    unsigned periods = 0;
    for (; periods < 8; ++periods)
        server.runPeriod();
    control().togglePlay(0);
    // Run the device until it asks for the end of play, without handing the
    // message on yet: the main thread is late.
    std::optional<platform::Message> endOfPlay;
    for (; !endOfPlay && periods < kEnoughPeriods; ++periods) {
        server.runPeriod();
        endOfPlay = queue.take();
    }
    ASSERT_TRUE(endOfPlay.has_value());
    // Three more periods while nothing is rendered: three underruns.
    for (int k = 0; k < 3; ++k, ++periods)
        server.runPeriod();
    control().onBufferDone(endOfPlay->first, endOfPlay->second);
    EXPECT_FALSE(control().playing());
    const unsigned perMille = 3000 / periods;
    EXPECT_EQ(view.statusMessages,
              std::vector<std::string>{"3 buffer underruns in performance (" + std::to_string(perMille / 10) +
                                       "." + std::to_string(perMille % 10) + " %)"});
}

TEST_F(PlayControlTest, TheQKeyStopsAtTheNextPeriodAndAHardStopAtOnce) {
    control().togglePlay(0);
    server.runPeriod();
    engine.setQuitKeyHeld(true);
    server.runPeriod();
    pumpMessages();
    EXPECT_FALSE(control().playing());
    EXPECT_EQ(view.buttons.back(), false);
    engine.setQuitKeyHeld(false);
    hardStops();
    control().togglePlay(0);
    server.runPeriod();
    control().togglePlay(0);
    EXPECT_FALSE(control().playing());
    EXPECT_EQ(server.streamState(), StreamState::kClosed);
    EXPECT_EQ(audio.state(), AudioSystemState::kClosed);
}

TEST_F(PlayControlTest, AServerThatGoesAwayEndsPlayWithTheReasonInTheLog) {
    control().togglePlay(0);
    server.runPeriod();
    control().checkDevice();
    EXPECT_TRUE(control().playing());
    server.dropStream();
    control().checkDevice();
    EXPECT_FALSE(control().playing());
    EXPECT_EQ(audio.state(), AudioSystemState::kClosed);
    EXPECT_NE(log.str().find("the sound server closed the stream"), std::string::npos);
    EXPECT_TRUE(control().deviceLost());
    EXPECT_EQ(view.buttons.back(), false);
}

TEST_F(PlayControlTest, ADeviceThatRefusesToOpenLeavesPlayOff) {
    server.openError = RtError("device busy", RtError::kDriverError);
    control().togglePlay(0);
    EXPECT_FALSE(control().playing());
    EXPECT_EQ(view.buttons, (std::vector<bool>{false}));
    EXPECT_NE(log.str().find("device busy"), std::string::npos);
    EXPECT_TRUE(view.warnings.empty());  // device errors go to the log only
}

class AlsaPlayControlTest : public PlayControlTest {
  protected:
    AlsaPlayControlTest() {
        const auto null = std::find(alsaDevices.names.begin(), alsaDevices.names.end(), "null");
        settings.deviceSelection = static_cast<DeviceSelection>(null - alsaDevices.names.begin());
    }

    void pumpFor(int messages) {
        for (int k = 0; k < messages && control().playing(); ++k) {
            const auto message = queue.waitAndTake(std::chrono::seconds(2));
            ASSERT_TRUE(message.has_value());
            control().onBufferDone(message->first, message->second);
        }
    }
};

TEST_F(AlsaPlayControlTest, PlaysByRenderingAPeriodForEveryBufferDoneUntilTheQKeyOrAHardStop) {
    ASSERT_TRUE(control().startPlay(0));
    pumpFor(4);
    engine.setQuitKeyHeld(true);
    pumpFor(1);
    EXPECT_FALSE(control().playing());
    EXPECT_FALSE(alsa.isOpen());
    EXPECT_EQ(view.buttons.back(), false);

    engine.setQuitKeyHeld(false);
    ASSERT_TRUE(control().startPlay(0));
    EXPECT_TRUE(view.warnings.empty());
    pumpFor(40);
    EXPECT_TRUE(control().playing());
    EXPECT_EQ(engine.filled(), 4);  // each buffer done renders the next
    hardStops();
    control().togglePlay(0);
    EXPECT_FALSE(control().playing());
    EXPECT_FALSE(alsa.isOpen());
    EXPECT_TRUE(view.statusMessages.empty());  // no underrun report on this path
}

TEST_F(AlsaPlayControlTest, SoftStopFadesOutThenClosesThePcmAndPlayDuringItKeepsItOpen) {
    ASSERT_TRUE(control().startPlay(0));
    pumpFor(20);
    control().togglePlay(0);
    control().togglePlay(0);
    EXPECT_TRUE(control().playing());
    EXPECT_FALSE(engine.stopping());
    EXPECT_TRUE(alsa.isOpen());
    pumpFor(200);  // longer than the fade: the restarted play goes on
    EXPECT_TRUE(control().playing());
    EXPECT_EQ(engine.filled(), 4);
    control().togglePlay(0);
    EXPECT_TRUE(control().playing());
    EXPECT_TRUE(engine.stopping());
    pumpFor(kEnoughPeriods);
    EXPECT_FALSE(control().playing());
    EXPECT_FALSE(engine.anyGrainActive());
    EXPECT_FALSE(alsa.isOpen());
}

TEST_F(AlsaPlayControlTest, AnUnknownPcmShowsTheSystemsTextInAnAlsaErrorBox) {
    alsaDevices.names = {"no_such_pcm_for_frisson"};
    settings.deviceSelection = 0;
    EXPECT_FALSE(control().startPlay(0));
    ASSERT_EQ(view.warnings.size(), 1u);
    EXPECT_EQ(view.warnings[0].first, "ALSA Error");
    EXPECT_FALSE(view.warnings[0].second.empty());
    EXPECT_FALSE(control().playing());
}

TEST(AlsaDevices, ListsNullAsAPlaybackDeviceAndNamesDefaultMinusOne) {
    const AlsaDeviceTable table = listAlsaPlaybackDevices();
    EXPECT_NE(std::find(table.names.begin(), table.names.end(), "null"), table.names.end());
    EXPECT_EQ(table.pcmName(-1), "default");
    ASSERT_GT(table.count(), 0);
    EXPECT_EQ(table.pcmName(0), table.names[0]);
}

constexpr unsigned kFrames = 256;
constexpr std::int64_t kTag = 7;
using SlotAndTag = std::pair<std::int64_t, std::int64_t>;

class AlsaOutputTest : public ::testing::Test {
  protected:
    const std::int16_t* slot(int s) const {
        return buffers.data() + static_cast<std::size_t>(s) * 2 * kFrames;
    }
    // The next done message: its slot and tag.
    SlotAndTag done() {
        const auto message = queue.waitAndTake(std::chrono::seconds(2));
        EXPECT_TRUE(message.has_value());
        EXPECT_EQ(message ? message->number : 0, platform::kMsgBufferDone);
        return message ? std::pair{message->first, message->second}
                       : std::pair<std::int64_t, std::int64_t>{-1, -1};
    }
    bool nothingWaits() { return !queue.waitAndTake(std::chrono::milliseconds(50)).has_value(); }

    platform::MessageQueue queue;
    AlsaOutput alsa{queue};
    std::vector<std::int16_t> buffers = std::vector<std::int16_t>(4 * 2 * kFrames, 0);
};

TEST_F(AlsaOutputTest, QueuedBuffersWaitForRestartThenComeBackInOrder) {
    ASSERT_TRUE(alsa.open("null", 2, kRate, kFrames));
    for (int s = 0; s < 4; ++s)
        ASSERT_TRUE(alsa.write(s, slot(s), kFrames, kTag));
    EXPECT_TRUE(nothingWaits());  // paused after open: nothing is written yet
    alsa.restart();
    for (int s = 0; s < 4; ++s)
        EXPECT_EQ(done(), SlotAndTag(s, kTag));
    EXPECT_TRUE(alsa.release());
    EXPECT_TRUE(alsa.close());
    EXPECT_FALSE(alsa.isOpen());
}

TEST_F(AlsaOutputTest, ResetDropsQueuedBuffersWithoutDoneMessages) {
    ASSERT_TRUE(alsa.open("null", 1, 22050, kFrames));
    ASSERT_TRUE(alsa.write(0, slot(0), kFrames, kTag));
    ASSERT_TRUE(alsa.write(1, slot(1), kFrames, kTag));
    EXPECT_TRUE(alsa.reset());
    alsa.restart();
    EXPECT_TRUE(nothingWaits());
    ASSERT_TRUE(alsa.write(2, slot(2), kFrames, kTag + 1));
    EXPECT_EQ(done(), SlotAndTag(2, kTag + 1));
}

TEST_F(AlsaOutputTest, FailuresCarryTheSystemsText) {
    const AlsaStatus missing = alsa.open("no_such_pcm_for_frisson", 2, kRate, kFrames);
    EXPECT_FALSE(missing);
    EXPECT_FALSE(missing.error.empty());
    EXPECT_FALSE(alsa.isOpen());
    EXPECT_FALSE(alsa.write(0, slot(0), kFrames, kTag));
    EXPECT_TRUE(alsa.close());  // closing what is not open is harmless
}

}  // namespace
}  // namespace output
