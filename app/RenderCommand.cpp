// frisson render -o OUT.wav [options] [--stream ITEMS]...: renders offline what
// the real-time program would record, through the same render cycle and
// recording writer.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/Commands.h"
#include "app/RenderOptions.h"
#include "app/RenderSetup.h"
#include "output/Recorder.h"
#include "output/RecordingNames.h"

namespace app {

namespace {

constexpr const char* kRenderUsage =
    "usage: frisson render -o OUT.wav [options] [--stream ITEMS]...\n"
    "Renders the streams offline and writes what the program would record.\n"
    "  -o OUT.wav           the file to write (with --per-stream, OUT.<n>.wav)\n";

// The largest sample data a WAV file's 32-bit size fields describe.
constexpr uint64_t kWavDataLimit = 0xFFFFFFFFull - 36;
constexpr auto kProgressAfter = std::chrono::seconds(2);
constexpr auto kProgressEvery = std::chrono::milliseconds(250);

// "12.3 s of 60.0 s" on stderr while a long render runs on a terminal.
class Progress {
  public:
    Progress(double seconds, uint32_t rate)
        : total_(seconds), rate_(rate), enabled_(isatty(STDERR_FILENO) != 0), start_(Clock::now()) {}
    ~Progress() {
        if (shown_)
            std::fputc('\n', stderr);
    }

    void update(int64_t frames) {
        if (!enabled_)
            return;
        const auto now = Clock::now();
        if (now - start_ < kProgressAfter || now - last_ < kProgressEvery)
            return;
        last_ = now;
        shown_ = true;
        const double done = static_cast<double>(frames) / rate_;
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        // The soft stop's tail goes past the requested length: the percentage stops at 100.
        std::fprintf(stderr,
                     "\rfrisson render: %.1f s of %.1f s (%3.0f %%), %.1f s elapsed, %.1fx real time ", done,
                     total_, std::min(100.0, total_ > 0 ? 100.0 * done / total_ : 100.0), elapsed,
                     elapsed > 0 ? done / elapsed : 0.0);
        std::fflush(stderr);
    }

  private:
    using Clock = std::chrono::steady_clock;
    double total_;
    uint32_t rate_;
    bool enabled_;
    bool shown_ = false;
    Clock::time_point start_;
    Clock::time_point last_;
};

// The files the render writes, first under temporary names beside their final
// ones, so that a failed render never leaves a broken file in place of a good one.
class OutputFiles {
  public:
    OutputFiles(const RenderOptions& options) : final_(options.output) {
        temporary_ = options.output + ".partial" + std::to_string(getpid()) + ".wav";
        const int count = options.perStream ? static_cast<int>(options.streams.size()) : 0;
        for (int n = 1; n <= count; ++n)
            pairs_.emplace_back(output::streamRecordingPath(temporary_, n),
                                output::streamRecordingPath(final_, n));
        if (!options.perStream)
            pairs_.emplace_back(temporary_, final_);
    }
    ~OutputFiles() {
        if (committed_)
            return;
        std::error_code ignored;
        for (const auto& [temporary, final] : pairs_)
            std::filesystem::remove(temporary, ignored);
    }

    const std::string& temporaryBase() const { return temporary_; }

    // The open-failure text, naming the final files.
    std::string describe(std::string text) const {
        for (const auto& [temporary, final] : pairs_) {
            for (size_t at = text.find(temporary); at != std::string::npos; at = text.find(temporary, at))
                text.replace(at, temporary.size(), final);
        }
        // One line per file on the command line.
        while (!text.empty() && text.back() == '\n')
            text.pop_back();
        for (size_t at = text.find(".\n"); at != std::string::npos; at = text.find(".\n", at))
            text.replace(at, 2, ": ");
        return text;
    }

    void commit() {
        for (const auto& [temporary, final] : pairs_) {
            std::error_code error;
            std::filesystem::rename(temporary, final, error);
            if (error)
                throw CommandFailure("Could not write \"" + final + "\": " + error.message());
        }
        committed_ = true;
    }

  private:
    std::string final_;
    std::string temporary_;
    std::vector<std::pair<std::string, std::string>> pairs_;
    bool committed_ = false;
};

void printWarnings(const std::string& warnings) {
    std::istringstream lines(warnings);
    for (std::string line; std::getline(lines, line);)
        std::fprintf(stderr, "frisson render: %s\n", line.c_str());
}

void checkSize(const RenderOptions& options, int64_t periods) {
    const uint64_t bytesPerFrame = (options.stereo ? 2u : 1u) * static_cast<uint64_t>(options.bits / 8);
    const uint64_t frames = static_cast<uint64_t>(periods) * static_cast<uint64_t>(options.bufferFrames);
    if (frames * bytesPerFrame > kWavDataLimit)
        throw UsageError("--seconds: the output would pass the 4 GiB a WAV file can hold");
}

int render(const RenderOptions& options) {
    const int64_t periods = periodCount(options);
    checkSize(options, periods);

    HeadlessEngine headless(options);
    std::ostringstream warnings;
    prepareStreams(headless, options, warnings);
    printWarnings(warnings.str());
    engine::Engine& engine = headless.engine();

    OutputFiles files(options);
    output::Recorder recorder(engine.lock());
    recorder.setWaitWhenFull(true);
    // Every stream of the command line has its file; a muted one records silence.
    std::array<bool, output::kRecordingSlots> streams{};
    for (size_t i = 0; i < options.streams.size(); ++i)
        streams[i] = true;
    const output::RecordingFormat format{options.rate, options.stereo ? 2u : 1u,
                                         output::recordingSampleFormat(options.bits)};
    recorder.start(files.temporaryBase(), format, options.perStream, streams, engine.frameClock());
    if (!recorder.openFailures().empty())
        throw CommandFailure(files.describe(recorder.openFailures()));
    engine.setRecordingSink(&recorder);

    // Play starts as in the window (streams reset, FrameClock 0, parameters snapped); each
    // period is rendered, written and consumed at once.
    engine.playStart(true, false);
    Timeline timeline(options.changes);
    Progress progress(options.seconds, options.rate);
    int64_t rendered = 0;
    auto renderPeriod = [&] {
        timeline.applyDue(engine, rendered * options.bufferFrames);
        engine.renderOfflinePeriod();
        ++rendered;
        progress.update(rendered * options.bufferFrames);
    };
    while (rendered < periods && recorder.recording())
        renderPeriod();
    // A soft stop lets the grains fade; rendering goes on until none sounds.
    if (recorder.recording() && engine.stopRequest() == engine::StopAction::FadingOut) {
        while (engine.anyGrainActive() && recorder.recording())
            renderPeriod();
    }
    engine.stopPlay();
    engine.setRecordingSink(nullptr);
    recorder.stop();
    if (const char* failure = recorder.takeStatusText())
        throw CommandFailure(failure);
    files.commit();
    return kExitOk;
}

}  // namespace

int runRender(Args args) {
    const RenderOptions options = parseRenderOptions(args);
    if (options.help) {
        std::printf("%s%s", kRenderUsage, kRenderOptionsHelp);
        return kExitOk;
    }
    if (options.output.empty())
        throw UsageError("-o OUT.wav is required");
    // The stream files are named by replacing the output's "wav".
    if (options.perStream && !options.output.ends_with("wav"))
        throw UsageError("--per-stream: the output name must end in \"wav\"");
    try {
        return render(options);
    } catch (const UsageError&) {
        throw;
    } catch (const std::exception& e) {
        // CommandFailure, or a failure of the system (memory, files).
        std::fprintf(stderr, "frisson render: %s\n", e.what());
    }
    return kExitFailure;
}

}  // namespace app
