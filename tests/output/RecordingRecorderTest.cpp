#include "output/Recorder.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <new>
#include <thread>
#include <vector>

#include "engine/Engine.h"
#include "output/PeriodQueue.h"
#include "sounds/SoundTable.h"
#include "tests/output/RecordingTestFiles.h"

namespace output {
namespace {

using testing::le16;
using testing::le32;
using testing::readBytes;
using testing::recordingScratch;
using testing::sample16;
using testing::sampleFloat;

constexpr std::array<bool, kRecordingSlots> kAllStreams{true, true, true, true, true, true, true, true};
constexpr std::array<bool, kRecordingSlots> kNoStreams{};

engine::RenderedPeriod mixPeriod(const std::vector<float>& samples, int channels) {
    engine::RenderedPeriod period;
    period.mix = samples.data();
    period.samples = samples.size();
    period.channels = channels;
    return period;
}

class RecorderTest : public ::testing::Test {
  protected:
    // Queues a period as the audio thread does and waits until the writer thread has written it.
    void write(const engine::RenderedPeriod& period) {
        recorder_.writePeriod(period);
        recorder_.flush();
    }

    std::mutex engineLock_;
    Recorder recorder_{engineLock_};
};

TEST_F(RecorderTest, StereoSixteenBitFileHoldsExactlyWhatWasWritten) {
    const auto dir = recordingScratch("recorder-16");
    const auto path = dir / "take.wav";
    ASSERT_TRUE(recorder_.start(path, {44100, 2, audio::kInt16LE}, false, kNoStreams, 0));
    EXPECT_TRUE(recorder_.recording());
    // 1000 frames in periods of 250, the first frame of each holding two test values.
    std::vector<float> period(500, 0.0f);
    for (int p = 0; p < 4; ++p) {
        period[0] = 0.5f;   // round(0.5 × 32766.5) = 16383
        period[1] = 1.5f;   // clipped: 32766
        period[2] = -1.0f;  // -32766
        recorder_.writePeriod(mixPeriod(period, 2));
    }
    recorder_.stop();
    EXPECT_FALSE(recorder_.recording());
    EXPECT_EQ(recorder_.takeStatusText(), nullptr);

    const std::string bytes = readBytes(path);
    ASSERT_EQ(bytes.size(), 44u + 4000u);  // cut to its content although more was reserved
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(le32(bytes, 4), 4036u);
    EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(bytes, 16), 16u);
    EXPECT_EQ(le16(bytes, 20), 1u);
    EXPECT_EQ(le16(bytes, 22), 2u);
    EXPECT_EQ(le32(bytes, 24), 44100u);
    EXPECT_EQ(le32(bytes, 28), 176400u);
    EXPECT_EQ(le16(bytes, 32), 4u);
    EXPECT_EQ(le16(bytes, 34), 16u);
    EXPECT_EQ(bytes.substr(36, 4), "data");
    EXPECT_EQ(le32(bytes, 40), 4000u);
    for (size_t p = 0; p < 4; ++p) {
        EXPECT_EQ(sample16(bytes, p * 500 + 0), 16383);
        EXPECT_EQ(sample16(bytes, p * 500 + 1), 32766);
        EXPECT_EQ(sample16(bytes, p * 500 + 2), -32766);
        EXPECT_EQ(sample16(bytes, p * 500 + 3), 0);
    }
}

TEST_F(RecorderTest, FloatFileKeepsValuesAboveFullScale) {
    const auto path = recordingScratch("recorder-float") / "float.wav";
    ASSERT_TRUE(recorder_.start(path, {22050, 1, audio::kFloat32LE}, false, kNoStreams, 0));
    const std::vector<float> period{1.75f, -0.25f, 0.0f, 3.0e-8f};
    recorder_.writePeriod(mixPeriod(period, 1));
    recorder_.stop();
    const std::string bytes = readBytes(path);
    ASSERT_EQ(bytes.size(), 44u + 16u);
    EXPECT_EQ(le16(bytes, 20), 3u);
    EXPECT_EQ(le16(bytes, 34), 32u);
    for (size_t i = 0; i < period.size(); ++i)
        EXPECT_EQ(sampleFloat(bytes, i), period[i]);
}

TEST_F(RecorderTest, ExistingFileIsOverwrittenToExactlyTheNewContent) {
    const auto path = recordingScratch("recorder-overwrite") / "fizz.wav";
    std::ofstream(path, std::ios::binary) << std::string(100000, 'x');
    ASSERT_TRUE(recorder_.start(path, {8000, 1, audio::kInt16LE}, false, kNoStreams, 0));
    recorder_.writePeriod(mixPeriod(std::vector<float>(8, 0.0f), 1));
    recorder_.stop();
    EXPECT_EQ(readBytes(path).size(), 44u + 16u);
}

TEST_F(RecorderTest, OneFilePerStreamInUse) {
    const auto dir = recordingScratch("recorder-streams");
    std::array<bool, kRecordingSlots> inUse{};
    inUse[0] = inUse[2] = true;
    ASSERT_TRUE(recorder_.start(dir / "fizz03.wav", {44100, 1, audio::kFloat32LE}, true, inUse, 500));
    EXPECT_TRUE(recorder_.slotOpen(0));
    EXPECT_FALSE(recorder_.slotOpen(1));
    EXPECT_TRUE(recorder_.streamFileOpen(2));

    const std::vector<float> one(8, 0.25f);
    const std::vector<float> silence(8, 0.0f);
    engine::RenderedPeriod period;
    period.streams[0] = one.data();
    period.streams[2] = silence.data();
    period.samples = 8;
    recorder_.writePeriod(period);
    recorder_.stop();

    EXPECT_FALSE(std::filesystem::exists(dir / "fizz03.wav"));
    EXPECT_FALSE(std::filesystem::exists(dir / "fizz03.2.wav"));
    const std::string first = readBytes(dir / "fizz03.1.wav");
    const std::string third = readBytes(dir / "fizz03.3.wav");
    ASSERT_EQ(first.size(), 44u + 32u);
    ASSERT_EQ(third.size(), 44u + 32u);
    EXPECT_EQ(sampleFloat(first, 7), 0.25f);
    EXPECT_EQ(sampleFloat(third, 7), 0.0f);
}

TEST_F(RecorderTest, StreamAddedDuringRecordingNamesItsOffset) {
    const auto dir = recordingScratch("recorder-added");
    std::array<bool, kRecordingSlots> inUse{};
    inUse[0] = true;
    // Started at frame 0: the start clock is 1.
    ASSERT_TRUE(recorder_.start(dir / "fizz07.wav", {44100, 2, audio::kInt16LE}, true, inUse, 0));
    recorder_.streamAdded(3, dir / "fizz07.wav", 88201);
    EXPECT_TRUE(std::filesystem::exists(dir / "fizz07.4_(88200).wav"));
    // Within one frame of the start the plain name is used.
    recorder_.streamAdded(1, dir / "fizz07.wav", 2);
    EXPECT_TRUE(std::filesystem::exists(dir / "fizz07.2.wav"));
    recorder_.streamEnded(3);
    EXPECT_FALSE(recorder_.slotOpen(3));
    EXPECT_TRUE(recorder_.recording());
}

TEST_F(RecorderTest, FileThatCannotBeCreatedLeavesRecordingOff) {
    const auto path = recordingScratch("recorder-open") / "missing-folder" / "fizz.wav";
    EXPECT_FALSE(recorder_.start(path, {44100, 2, audio::kInt16LE}, false, kNoStreams, 0));
    EXPECT_FALSE(recorder_.recording());
    const std::string prefix = "Could not open \"" + path.string() + "\" for output.\n";
    ASSERT_GT(recorder_.openFailures().size(), prefix.size());
    EXPECT_EQ(recorder_.openFailures().substr(0, prefix.size()), prefix);
    EXPECT_EQ(recorder_.openFailures().back(), '\n');
}

TEST_F(RecorderTest, PartialFrameIsAShortWriteThatClosesTheFile) {
    const auto path = recordingScratch("recorder-odd") / "odd.wav";
    ASSERT_TRUE(recorder_.start(path, {44100, 2, audio::kInt16LE}, false, kNoStreams, 0));
    write(mixPeriod(std::vector<float>(7, 0.5f), 2));
    EXPECT_FALSE(recorder_.recording());
    EXPECT_FALSE(recorder_.slotOpen(0));
    EXPECT_STREQ(recorder_.takeStatusText(), "ERROR: Could not write to output soundfile. Closed file.");
    EXPECT_EQ(recorder_.takeStatusText(), nullptr);  // reported once
    // The three whole frames are kept.
    EXPECT_EQ(readBytes(path).size(), 44u + 12u);
}

// A file-size limit makes the file's growth fail as a full disk would. The
// limit's signal keeps its default action, which ends the process: the
// recording must see to it that a growth past the limit only fails.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_DFL);
        getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &previous_); }

  private:
    rlimit previous_{};
};

TEST_F(RecorderTest, PerStreamRecordingStopsWhenTheLastFileFails) {
    const auto dir = recordingScratch("recorder-streams-fail");
    std::array<bool, kRecordingSlots> inUse{};
    inUse[1] = inUse[4] = true;
    ASSERT_TRUE(recorder_.start(dir / "fizz.wav", {44100, 2, audio::kInt16LE}, true, inUse, 0));
    const std::vector<float> whole(16, 0.5f);
    engine::RenderedPeriod period;
    period.streams[1] = whole.data();
    period.streams[4] = whole.data();
    period.samples = 15;  // half a frame short: both files fail
    write(period);
    EXPECT_FALSE(recorder_.slotOpen(1));
    EXPECT_FALSE(recorder_.slotOpen(4));
    EXPECT_FALSE(recorder_.recording());
    EXPECT_STREQ(recorder_.takeStatusText(), kWriteFailedText);
}

TEST_F(RecorderTest, AQueueThatOverflowsStopsTheRecordingAndKeepsWhatWasQueued) {
    const auto path = recordingScratch("recorder-behind") / "behind.wav";
    // 8000 Hz mono: the queue holds at least four of the longest periods, 65536 samples.
    ASSERT_TRUE(recorder_.start(path, {8000, 1, audio::kFloat32LE}, false, kNoStreams, 0));
    const std::vector<float> period(1000, 0.25f);
    for (int p = 0; p < 10; ++p)
        write(mixPeriod(period, 1));
    // A period the queue cannot take is what a stalled disk leads to.
    const std::vector<float> tooMuch(70000, 0.5f);
    write(mixPeriod(tooMuch, 1));
    EXPECT_FALSE(recorder_.recording());
    EXPECT_FALSE(recorder_.slotOpen(0));
    EXPECT_STREQ(recorder_.takeStatusText(), kFellBehindText);
    write(mixPeriod(period, 1));  // nothing more is taken
    recorder_.stop();
    const std::string bytes = readBytes(path);
    ASSERT_EQ(bytes.size(), 44u + 10u * 1000u * 4u);
    EXPECT_EQ(le32(bytes, 40), 40000u);
    EXPECT_EQ(sampleFloat(bytes, 9999), 0.25f);
}

TEST_F(RecorderTest, AnOfflineRenderWaitsForTheWriterInsteadOfDropping) {
    const auto path = recordingScratch("recorder-wait") / "offline.wav";
    recorder_.setWaitWhenFull(true);
    ASSERT_TRUE(recorder_.start(path, {8000, 1, audio::kFloat32LE}, false, kNoStreams, 0));
    // 100 periods of 30000 samples, queued as fast as they come: 46 times what the queue holds.
    std::vector<float> period(30000);
    for (int p = 0; p < 100; ++p) {
        period.front() = static_cast<float>(p);
        recorder_.writePeriod(mixPeriod(period, 1));
    }
    EXPECT_TRUE(recorder_.recording());
    recorder_.stop();
    EXPECT_EQ(recorder_.takeStatusText(), nullptr);
    const std::string bytes = readBytes(path);
    ASSERT_EQ(bytes.size(), 44u + 100u * 30000u * 4u);
    EXPECT_EQ(sampleFloat(bytes, 99 * 30000), 99.0f);
}

TEST(PeriodQueue, WrapsWholePeriodsAndRefusesWhatDoesNotFit) {
    PeriodQueue queue;
    queue.reset(10, 3);
    // Two periods of 4 fit; a third does not until the first is taken; it then starts the next
    // lap, since only 2 samples are left before the ring's end.
    float* first = queue.reserve(4);
    ASSERT_NE(first, nullptr);
    std::fill(first, first + 4, 1.0f);
    queue.commit(4, 1);
    float* second = queue.reserve(4);
    ASSERT_NE(second, nullptr);
    std::fill(second, second + 4, 2.0f);
    queue.commit(2, 0b11);
    EXPECT_EQ(queue.reserve(4), nullptr);
    EXPECT_EQ(queue.reserve(11), nullptr);

    auto entry = queue.front();
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->sampleCount(), 4u);
    EXPECT_EQ(queue.samples(*entry)[3], 1.0f);
    queue.pop();
    float* third = queue.reserve(4);
    ASSERT_EQ(third, first) << "the next lap begins at the ring's start";
    std::fill(third, third + 4, 3.0f);
    queue.commit(4, 1);
    EXPECT_EQ(queue.pushed(), 3u);

    entry = queue.front();
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->sampleCount(), 4u) << "two slots of two samples";
    EXPECT_EQ(queue.samples(*entry)[0], 2.0f);
    queue.pop();
    EXPECT_EQ(queue.samples(*queue.front())[0], 3.0f);
    queue.pop();
    EXPECT_FALSE(queue.front().has_value());
    EXPECT_EQ(queue.popped(), 3u);
}

// Page faults the calling thread has taken so far.
long threadPageFaults() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

TEST(RecordingOnTheAudioThread, TakesNoPageFaultWhileTheFileGrows) {
    sounds::SoundTable table{44100};
    engine::Engine engine{table, {.rate = 44100, .stereo = true, .framesPerBuffer = 256, .bufferCount = 4}};
    engine.setParameter(0, engine::Freq, 16000);
    engine.snapParameters(0);
    std::mutex& lock = engine.lock();
    Recorder recorder(lock);
    const auto path = recordingScratch("recorder-faults") / "fresh.wav";
    std::filesystem::remove(path);
    ASSERT_TRUE(recorder.start(path, {44100, 2, audio::kFloat32LE}, false, kNoStreams, 0));
    engine.setRecordingSink(&recorder);
    engine.playStart(true, false);

    // 3000 periods: 17 s of stereo float, 6 MB of fresh file pages, written while this thread
    // plays the audio thread's part.
    long faults = -1;
    std::thread audio([&] {
        for (int p = 0; p < 50; ++p)
            engine.renderOfflinePeriod();
        const long before = threadPageFaults();
        for (int p = 0; p < 3000; ++p)
            engine.renderOfflinePeriod();
        faults = threadPageFaults() - before;
    });
    audio.join();
    recorder.flush();
    EXPECT_TRUE(recorder.recording());
    engine.setRecordingSink(nullptr);
    recorder.stop();
    EXPECT_EQ(faults, 0);
    EXPECT_EQ(readBytes(path).size(), 44u + 3050u * 512u * 4u);
}

TEST(RecordingOnTheAudioThread, AFileThatCannotGrowClosesWithWhatItHoldsAndPlayGoesOn) {
    sounds::SoundTable table{44100};
    engine::Engine engine{table, {.rate = 44100, .stereo = true, .framesPerBuffer = 256, .bufferCount = 4}};
    Recorder recorder(engine.lock());
    const auto path = recordingScratch("recorder-full") / "full.wav";
    // The reservation at creation, 60 × 44100 bytes rounded up to whole 64 KiB units (41 of
    // them), fits under the limit; the first growth does not.
    constexpr size_t kReserved = 41 * 65536;
    const FileSizeLimit limit(3'000'000);
    ASSERT_TRUE(recorder.start(path, {44100, 2, audio::kFloat32LE}, false, kNoStreams, 0));
    engine.setRecordingSink(&recorder);
    engine.playStart(true, false);
    for (int p = 0; p < 2000 && recorder.recording(); ++p) {
        engine.renderOfflinePeriod();
        recorder.flush();
    }
    EXPECT_FALSE(recorder.recording());
    EXPECT_STREQ(recorder.takeStatusText(), kWriteFailedText);
    engine.renderOfflinePeriod();
    EXPECT_TRUE(engine.playing());
    engine.setRecordingSink(nullptr);

    // Periods of 2048 bytes are written while the data stays 1024 bytes short of the
    // reservation: 1311 of them, then the growth fails and the file is cut to its content.
    const std::string bytes = readBytes(path);
    EXPECT_EQ(bytes.size(), 44u + 1311u * 2048u);
    EXPECT_EQ(le32(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(le32(bytes, 40), bytes.size() - 44);
    EXPECT_LT(bytes.size(), kReserved);
}

// A recording cut by kill -9 is never closed: its header, brought up to date as
// the file is written, still describes all but at most the last second.
TEST(RecordingCutByKill, ReadsBackWithAllButTheLastSecond) {
    const auto path = recordingScratch("recorder-killed") / "killed.wav";
    constexpr uint32_t kRate = 44100;
    constexpr size_t kPeriodFrames = 441;  // 10 ms
    // The frames the recording process has been given, counted before each period is handed over.
    void* shared = mmap(nullptr, sizeof(std::atomic<uint64_t>), PROT_READ | PROT_WRITE,
                        MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    auto* given = new (shared) std::atomic<uint64_t>(0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::mutex lock;
        Recorder recorder(lock);
        if (!recorder.start(path, {kRate, 2, audio::kInt16LE}, false, kNoStreams, 0))
            _exit(1);
        const std::vector<float> period(2 * kPeriodFrames, 0.25f);
        for (;;) {
            given->fetch_add(kPeriodFrames);
            recorder.writePeriod(mixPeriod(period, 2));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (given->load() < 2 * kRate && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    const uint64_t frames = given->load();
    munmap(shared, sizeof(std::atomic<uint64_t>));
    ASSERT_GE(frames, 2 * kRate);

    const std::string bytes = readBytes(path);
    const uint64_t held = le32(bytes, 40) / 4;
    EXPECT_LE(held, frames);
    EXPECT_GE(held + kRate, frames);
    EXPECT_EQ(le32(bytes, 4), 36 + held * 4);
    ASSERT_GE(bytes.size(), 44 + held * 4);
    // The last frame counted is sound that was written: round(0.25 × 32766.5).
    EXPECT_EQ(sample16(bytes, 2 * held - 1), 8192);
}

}  // namespace
}  // namespace output
