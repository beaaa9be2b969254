// Recording: file names, the record switch, and the recorder's files read back byte by byte.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <new>
#include <thread>

#include "engine/Engine.h"
#include "output/Recorder.h"
#include "output/RecordingNames.h"
#include "output/RecordingSwitch.h"
#include "sounds/SoundTable.h"
#include "tests/audio/TestFiles.h"

namespace output {
namespace {

namespace fs = std::filesystem;
using namespace audio::test;

using Streams = std::array<bool, kRecordingSlots>;  // the streams in use
constexpr Streams kNoStreams{};

engine::RenderedPeriod mixPeriod(const std::vector<float>& samples, int channels) {
    engine::RenderedPeriod period;
    period.mix = samples.data();
    period.samples = samples.size();
    period.channels = channels;
    return period;
}

// The names the record switch gives its files are checked through the switch below; these are the
// cases it does not reach.
TEST(RecordingNames, NamesCountersAndStreamFiles) {
    EXPECT_EQ(recordingName(true, 123), "fizz123.wav");
    EXPECT_EQ(recordingPath("/home/bob/rec/", "fizz.wav"), "/home/bob/rec/fizz.wav");
    EXPECT_EQ(recordingPath("", "fizz.wav"), "fizz.wav");
    // The counter runs up to the maximum, then starts at zero; a stored maximum below 2 means 99.
    EXPECT_EQ(nextRecordingCounter(5, 5), 0);
    EXPECT_EQ(usableMaxCount(0), 99);
    EXPECT_EQ(usableMaxCount(2), 2);
    EXPECT_EQ(nextRecordingCounter(50, 1), 51);
    EXPECT_EQ(nextRecordingCounter(2147483647, 99), 0);  // a corrupt stored counter does not overflow
    // Stream files replace the extension.
    EXPECT_EQ(streamRecordingPath("/rec/fizz03.wav", 8), "/rec/fizz03.8.wav");
    EXPECT_EQ(streamRecordingPath("out.wav", 2), "out.2.wav");
}

class RecorderTest : public ::testing::Test {
  protected:
    // Queues a period as the audio thread does and waits until the writer thread has written it.
    void write(const engine::RenderedPeriod& period) {
        recorder_.writePeriod(period);
        recorder_.flush();
    }
    RecordingSwitch makeSwitch(RecordingOptions options) {
        return RecordingSwitch(recorder_, std::move(options), [this](const RecordingOptions& saved) {
            savedCounters_.push_back(saved.counter);
        });
    }
    bool exists(const std::string& name) const { return fs::exists(dir_ / name); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    std::mutex engineLock_;
    Recorder recorder_{engineLock_};
    std::vector<std::int32_t> savedCounters_;
    fs::path dir_ = audio::test::scratchDir();
};

TEST_F(RecorderTest, TheSwitchNamesRecordingsByTheirCounterAndOpensStreamFilesOnlyPerStream) {
    const Streams inUse{true, false, true};  // the snapshot only points at it
    const EngineSnapshot engine{44100, 2, inUse, 0};
    // Without numbering every recording is fizz.wav and the counter is kept; only per-stream
    // recording opens stream files.
    auto plain = makeSwitch({24, false, false, dir_.string(), 5, 99});
    plain.streamAdded(3, 1000);
    for (int take = 0; take < 2; ++take) {
        EXPECT_TRUE(plain.toggle(engine));
        plain.streamAdded(3, 1000);
        EXPECT_FALSE(recorder_.slotOpen(3));
        EXPECT_FALSE(plain.toggle(engine));
    }
    EXPECT_EQ(
        std::tuple(exists("fizz.wav"), std::distance(fs::directory_iterator(dir_), fs::directory_iterator()),
                   plain.options().counter, savedCounters_.empty()),
        std::tuple(true, 1, 5, true));
    // Numbered after 98: fizz99, then fizz00; each counter is saved.
    auto numbered = makeSwitch({16, true, false, dir_.string(), 98, 99});
    for (const char* name : {"fizz99.wav", "fizz00.wav"}) {
        EXPECT_TRUE(numbered.toggle(engine));
        EXPECT_TRUE(exists(name));
        numbered.toggle(engine);
    }
    EXPECT_EQ(savedCounters_, (std::vector<std::int32_t>{99, 0}));
    // Per stream: one file per stream in use; an added stream keeps the recording's number.
    auto perStream = makeSwitch({16, true, true, dir_.string(), 6, 99});
    ASSERT_TRUE(perStream.toggle(engine));
    EXPECT_EQ(std::tuple(exists("fizz07.1.wav"), exists("fizz07.2.wav"), exists("fizz07.3.wav")),
              std::tuple(true, false, true));
    // An added stream names its offset from the start clock, which is 1 at frame 0; within one
    // frame of the start the plain name is used.
    perStream.streamAdded(3, 88201);
    EXPECT_TRUE(exists("fizz07.4_(88200).wav"));
    perStream.streamAdded(1, 2);
    EXPECT_TRUE(exists("fizz07.2.wav"));
    EXPECT_EQ(perStream.options().counter, 7);
    recorder_.streamEnded(3);
    EXPECT_EQ(std::pair(recorder_.slotOpen(3), recorder_.recording()), std::pair(false, true));
}

TEST_F(RecorderTest, FilesHoldExactlyWhatWasWrittenOnePerStreamInUse) {
    // Stereo 16 bits: 1000 frames in periods of 250, the first frame of each holding test values.
    ASSERT_TRUE(recorder_.start(path("take.wav"), {44100, 2, audio::kInt16LE}, false, kNoStreams, 0));
    std::vector<float> period(500, 0.0f);
    period[0] = 0.5f;   // round(0.5 × 32766.5) = 16383
    period[1] = 1.5f;   // clipped: 32766
    period[2] = -1.0f;  // -32766
    Bytes expected;
    for (int p = 0; p < 4; ++p) {
        recorder_.writePeriod(mixPeriod(period, 2));
        expected.insert(expected.end(), {0xFF, 0x3F, 0xFE, 0x7F, 0x02, 0x80});
        expected.resize(expected.size() + 994, 0);
    }
    recorder_.stop();
    EXPECT_EQ(recorder_.takeStatusText(), nullptr);
    // Cut to its content although more was reserved.
    EXPECT_EQ(readFile(path("take.wav")), waveFile(1, 2, 44100, 16, expected));
    // Floats keep values above full scale; a file of the same name is overwritten to the new content.
    std::ofstream(path("float.wav"), std::ios::binary) << std::string(100000, 'x');
    ASSERT_TRUE(recorder_.start(path("float.wav"), {22050, 1, audio::kFloat32LE}, false, kNoStreams, 0));
    const std::vector<float> floats{1.75f, -0.25f, 0.0f, 3.0e-8f};
    recorder_.writePeriod(mixPeriod(floats, 1));
    recorder_.stop();
    EXPECT_EQ(readFile(path("float.wav")), waveFile(3, 1, 22050, 32, rawBytes(floats)));
    // One file per stream in use.
    ASSERT_TRUE(recorder_.start(path("fizz03.wav"), {44100, 1, audio::kFloat32LE}, true,
                                Streams{true, false, true}, 500));
    EXPECT_TRUE(recorder_.streamFileOpen(2));
    const std::vector<float> one(8, 0.25f);
    const std::vector<float> silence(8, 0.0f);
    engine::RenderedPeriod streams;
    streams.streams[0] = one.data();
    streams.streams[2] = silence.data();
    streams.samples = 8;
    recorder_.writePeriod(streams);
    recorder_.stop();
    EXPECT_FALSE(exists("fizz03.wav") || exists("fizz03.2.wav"));
    EXPECT_EQ(readFile(path("fizz03.1.wav")), waveFile(3, 1, 44100, 32, rawBytes(one)));
    EXPECT_EQ(readFile(path("fizz03.3.wav")), waveFile(3, 1, 44100, 32, rawBytes(silence)));
}

TEST_F(RecorderTest, FailuresEndTheRecordingAndAreReportedOnce) {
    // A file that cannot be created leaves recording off.
    const std::string missing = path("missing-folder/fizz.wav");
    EXPECT_FALSE(recorder_.start(missing, {44100, 2, audio::kInt16LE}, false, kNoStreams, 0) ||
                 recorder_.recording());
    const std::string prefix = "Could not open \"" + missing + "\" for output.\n";
    ASSERT_GT(recorder_.openFailures().size(), prefix.size());
    EXPECT_EQ(recorder_.openFailures().substr(0, prefix.size()), prefix);
    EXPECT_EQ(recorder_.openFailures().back(), '\n');
    // A partial frame is a short write that closes the file; the three whole frames are kept.
    ASSERT_TRUE(recorder_.start(path("odd.wav"), {44100, 2, audio::kInt16LE}, false, kNoStreams, 0));
    write(mixPeriod(std::vector<float>(7, 0.5f), 2));
    EXPECT_FALSE(recorder_.recording());
    EXPECT_STREQ(recorder_.takeStatusText(), kWriteFailedText);
    EXPECT_EQ(recorder_.takeStatusText(), nullptr);
    EXPECT_EQ(readFile(path("odd.wav")).size(), 44u + 12u);
    // Per stream, the recording stops when the last file fails.
    ASSERT_TRUE(recorder_.start(path("fizz.wav"), {44100, 2, audio::kInt16LE}, true,
                                Streams{false, true, false, false, true}, 0));
    const std::vector<float> whole(16, 0.5f);
    engine::RenderedPeriod period;
    period.streams[1] = whole.data();
    period.streams[4] = whole.data();
    period.samples = 15;  // half a frame short: both files fail
    write(period);
    EXPECT_FALSE(recorder_.slotOpen(1) || recorder_.slotOpen(4));
    EXPECT_FALSE(recorder_.recording());
    EXPECT_STREQ(recorder_.takeStatusText(), kWriteFailedText);
}

// The period queue between the audio thread and the writer is checked through what the writer
// writes: periods it cannot take, whole periods across the ring's laps, and several streams' slots above.
TEST_F(RecorderTest, AQueueThatOverflowsStopsTheRecordingUnlessAnOfflineRenderWaitsForTheWriter) {
    // 8000 Hz mono: the queue holds at least four of the longest periods, 65536 samples.
    ASSERT_TRUE(recorder_.start(path("behind.wav"), {8000, 1, audio::kFloat32LE}, false, kNoStreams, 0));
    const std::vector<float> period(1000, 0.25f);
    for (int p = 0; p < 10; ++p)
        write(mixPeriod(period, 1));
    // A period the queue cannot take is what a stalled disk leads to.
    const std::vector<float> tooMuch(70000, 0.5f);
    write(mixPeriod(tooMuch, 1));
    EXPECT_FALSE(recorder_.recording());
    EXPECT_STREQ(recorder_.takeStatusText(), kFellBehindText);
    write(mixPeriod(period, 1));  // nothing more is taken
    recorder_.stop();
    EXPECT_EQ(readFile(path("behind.wav")),
              waveFile(3, 1, 8000, 32, rawBytes(std::vector<float>(10000, 0.25f))));
    // An offline render waits for the writer instead of dropping.
    recorder_.setWaitWhenFull(true);
    ASSERT_TRUE(recorder_.start(path("offline.wav"), {8000, 1, audio::kFloat32LE}, false, kNoStreams, 0));
    // 100 periods of 30000 samples, queued as fast as they come: 46 times what the queue holds.
    std::vector<float> slow(30000);
    std::vector<float> expected;
    for (int p = 0; p < 100; ++p) {
        slow.front() = static_cast<float>(p);
        recorder_.writePeriod(mixPeriod(slow, 1));
        expected.insert(expected.end(), slow.begin(), slow.end());
    }
    EXPECT_TRUE(recorder_.recording());
    recorder_.stop();
    EXPECT_EQ(recorder_.takeStatusText(), nullptr);
    EXPECT_EQ(readFile(path("offline.wav")), waveFile(3, 1, 8000, 32, rawBytes(expected)));
}

// Page faults the calling thread has taken so far.
long threadPageFaults() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

// A file-size limit makes the file's growth fail as a full disk would. The limit's signal keeps its
// default action, which ends the process: the recording must see to it that a growth past the limit only
// fails.
TEST(RecordingOnTheAudioThread, AFileThatCannotGrowClosesWhilePlayGoesOnAndGrowingTakesNoPageFault) {
    sounds::SoundTable table{44100};
    engine::Engine engine{table, {.rate = 44100, .stereo = true, .framesPerBuffer = 256, .bufferCount = 4}};
    Recorder recorder{engine.lock()};
    const fs::path dir = audio::test::scratchDir();
    // The reservation at creation, 60 × 44100 bytes rounded up to whole 64 KiB units (41 of
    // them, 2686976 bytes), fits under the limit; the first growth does not.
    std::signal(SIGXFSZ, SIG_DFL);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limit{3'000'000, previous.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
    const bool started =
        recorder.start(dir / "full.wav", {44100, 2, audio::kFloat32LE}, false, kNoStreams, 0);
    engine.setRecordingSink(&recorder);
    engine.playStart(true, false);
    for (int p = 0; p < 2000 && recorder.recording(); ++p) {
        engine.renderOfflinePeriod();
        recorder.flush();
    }
    setrlimit(RLIMIT_FSIZE, &previous);
    ASSERT_TRUE(started);
    EXPECT_FALSE(recorder.recording());
    EXPECT_STREQ(recorder.takeStatusText(), kWriteFailedText);
    engine.renderOfflinePeriod();
    EXPECT_TRUE(engine.playing());
    // Periods of 2048 bytes are written while the data stays 1024 bytes short of the
    // reservation: 1311 of them, then the growth fails and the file is cut to its content (the RIFF
    // size counts the 36 header bytes after it, the data size the samples).
    const Bytes bytes = readFile(dir / "full.wav");
    EXPECT_EQ(std::tuple(bytes.size(), le32At(bytes, 4), le32At(bytes, 40)),
              std::tuple(44u + 1311u * 2048u, 36u + 1311u * 2048u, 1311u * 2048u));
    // 3000 periods: 17 s of stereo float, 6 MB of fresh file pages, written while this thread
    // plays the audio thread's part.
    engine.setParameter(0, engine::Freq, 16000);
    engine.snapParameters(0);
    ASSERT_TRUE(recorder.start(dir / "fresh.wav", {44100, 2, audio::kFloat32LE}, false, kNoStreams, 0));
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
#if !defined(__SANITIZE_THREAD__)
    // ThreadSanitizer's own bookkeeping takes page faults on the thread it watches.
    EXPECT_EQ(faults, 0);
#endif
    EXPECT_EQ(fs::file_size(dir / "fresh.wav"), 44u + 3050u * 512u * 4u);
}

// A recording cut by kill -9 is never closed: its header, brought up to date as
// the file is written, still describes all but at most the last second.
TEST(RecordingCutByKill, ReadsBackWithAllButTheLastSecond) {
    const auto path = audio::test::scratchDir() + "/killed.wav";
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
    const Bytes bytes = readFile(path);
    const uint64_t held = le32At(bytes, 40) / 4;
    EXPECT_LE(held, frames);
    EXPECT_GE(held + kRate, frames);
    EXPECT_EQ(le32At(bytes, 4), 36 + held * 4);
    ASSERT_GE(bytes.size(), 44 + held * 4);
    // The last frame counted is sound that was written: round(0.25 × 32766.5) = 8192.
    EXPECT_EQ(bytes[44 + 4 * held - 2] | bytes[44 + 4 * held - 1] << 8, 8192);
}

}  // namespace
}  // namespace output
