#include "output/Recorder.h"

#include <cstdio>
#include <stdexcept>
#include <utility>

#include "output/RecordingNames.h"

namespace output {

namespace {

constexpr int kBits16 = 16;
constexpr int kBits24 = 24;
constexpr int kBits32 = 32;

}  // namespace

audio::SampleFormat recordingSampleFormat(int bits) {
    switch (bits) {
        case kBits16:
            return audio::kInt16LE;
        case kBits24:
            return audio::kInt24LE;
        case kBits32:
            return audio::kFloat32LE;
        default:
            throw std::invalid_argument("sample width must be 16, 24 or 32 bits");
    }
}

Recorder::Recorder(std::mutex& engineLock) : engineLock_(engineLock) {}

Recorder::~Recorder() {
    stop();
}

std::unique_ptr<audio::Soundfile> Recorder::open(const std::string& path) {
    try {
        return audio::Soundfile::create(path, format_.sampleRate, format_.channels, format_.sampleFormat);
    } catch (const std::exception& e) {
        openFailures_ += "Could not open \"" + path + "\" for output.\n" + e.what() + "\n";
        return nullptr;
    }
}

bool Recorder::start(const std::string& basePath, const RecordingFormat& format, bool onePerStream,
                     std::span<const bool, kRecordingSlots> streamsInUse, int64_t runningFrames) {
    stop();
    format_ = format;
    openFailures_.clear();
    // The files are created before the lock is taken; only the exchange is locked.
    std::array<std::unique_ptr<audio::Soundfile>, kRecordingSlots> opened;
    if (onePerStream) {
        for (int i = 0; i < kRecordingSlots; ++i) {
            if (streamsInUse[static_cast<size_t>(i)])
                opened[static_cast<size_t>(i)] = open(streamRecordingPath(basePath, i + 1));
        }
    } else {
        opened[0] = open(basePath);
    }
    bool any = false;
    for (const auto& file : opened)
        any = any || file != nullptr;

    const std::lock_guard lock(engineLock_);
    slots_ = std::move(opened);
    onePerStream_ = onePerStream;
    startClock_ = runningFrames == 0 ? 1 : runningFrames;
    recording_.store(any, std::memory_order_relaxed);
    return any;
}

void Recorder::stop() {
    std::array<std::unique_ptr<audio::Soundfile>, kRecordingSlots> closing;
    {
        const std::lock_guard lock(engineLock_);
        recording_.store(false, std::memory_order_relaxed);
        closing = std::move(slots_);
    }
    // The files are closed (and cut to their content) outside the lock.
}

void Recorder::streamAdded(int index, const std::string& basePath, int64_t runningFrames) {
    if (!recording() || !onePerStream_ || index < 0 || index >= kRecordingSlots)
        return;
    openFailures_.clear();
    const std::string path = runningFrames > startClock_ + 1
                                 ? addedStreamRecordingPath(basePath, index + 1, runningFrames - startClock_)
                                 : streamRecordingPath(basePath, index + 1);
    auto file = open(path);
    if (!file)
        return;
    std::unique_ptr<audio::Soundfile> replaced;
    {
        const std::lock_guard lock(engineLock_);
        replaced = std::exchange(slots_[static_cast<size_t>(index)], std::move(file));
    }
    std::fprintf(stderr, "Created %s\n", path.c_str());
}

void Recorder::streamEnded(int index) {
    if (index < 0 || index >= kRecordingSlots)
        return;
    std::unique_ptr<audio::Soundfile> closing;
    const std::lock_guard lock(engineLock_);
    closing = std::move(slots_[static_cast<size_t>(index)]);
}

bool Recorder::slotOpen(int index) const {
    const std::lock_guard lock(engineLock_);
    return index >= 0 && index < kRecordingSlots && slots_[static_cast<size_t>(index)] != nullptr;
}

bool Recorder::writeSlot(int index, const float* samples, uint64_t count) {
    auto& file = slots_[static_cast<size_t>(index)];
    uint64_t written = 0;
    try {
        if (samples != nullptr)
            written = file->writer().write(samples, count);
    } catch (...) {
        // A full disk or a vanished file: nothing may escape the audio thread.
        written = 0;
    }
    if (written == count)
        return true;
    file.reset();
    fail();
    return false;
}

void Recorder::fail() {
    statusText_.store(kWriteFailedText);
}

bool Recorder::streamFileOpen(int stream) const {
    return onePerStream_ && stream >= 0 && stream < kRecordingSlots &&
           slots_[static_cast<size_t>(stream)] != nullptr;
}

void Recorder::writePeriod(const engine::RenderedPeriod& period) {
    if (!recording())
        return;
    if (!onePerStream_) {
        if (slots_[0] && !writeSlot(0, period.mix, period.samples))
            recording_.store(false, std::memory_order_relaxed);
        return;
    }
    bool anyOpen = false;
    for (int i = 0; i < kRecordingSlots; ++i) {
        const auto slot = static_cast<size_t>(i);
        if (slots_[slot])
            anyOpen = writeSlot(i, period.streams[slot], period.samples) || anyOpen;
    }
    if (!anyOpen)
        recording_.store(false, std::memory_order_relaxed);
}

}  // namespace output
