#include "output/Recorder.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "output/PeriodQueue.h"

#include "output/RecordingNames.h"

namespace output {

namespace {

constexpr int kBits16 = 16;
constexpr int kBits24 = 24;
constexpr int kBits32 = 32;
// The queue holds at least this many of the longest periods the options allow.
constexpr size_t kLongestPeriodFrames = 16384;
constexpr size_t kQueuedLongestPeriods = 4;
// Entries for the shortest periods (8 frames) over a good part of the queue's time.
constexpr size_t kQueueEntries = 16384;

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

// The writer side of a recording: the queue the audio thread fills, the files,
// and the thread that empties the one into the others. The main thread talks to
// it through `commands` (files to open or close) under `mutex`.
struct Recorder::Writer {
    struct Command {
        int slot = 0;
        std::unique_ptr<audio::Soundfile> file;  // null: close the slot's file
        uint64_t stamp = 0;                      // closes once the periods before this one are written
    };

    explicit Writer(Recorder& owner) : owner(owner) {}

    void run();
    void takeCommands(std::vector<Command>& closes);
    void write(const PeriodQueue::Entry& entry);
    void fail(int slot);

    Recorder& owner;
    PeriodQueue queue;
    // The writer thread's own, once it runs.
    std::array<std::unique_ptr<audio::Soundfile>, kRecordingSlots> files;
    std::array<std::unique_ptr<audio::Soundfile>, kRecordingSlots> pendingOpen;
    // Set by the audio thread when the queue was full.
    std::atomic<bool> fellBehind{false};

    std::mutex mutex;
    std::condition_variable wake;      // commands, a flush or the finish
    std::condition_variable progress;  // the queue ran empty
    std::vector<Command> commands;
    bool finishing = false;
    bool done = false;
    std::thread thread;
};

void Recorder::Writer::takeCommands(std::vector<Command>& closes) {
    for (Command& command : commands) {
        if (command.file)
            pendingOpen[static_cast<size_t>(command.slot)] = std::move(command.file);
        else
            closes.push_back(std::move(command));
    }
    commands.clear();
}

void Recorder::Writer::fail(int slot) {
    files[static_cast<size_t>(slot)].reset();
    const uint32_t left =
        owner.openSlots_.fetch_and(~(1u << slot), std::memory_order_relaxed) & ~(1u << slot);
    owner.statusText_.store(kWriteFailedText);
    if (left == 0)
        owner.recording_.store(false, std::memory_order_relaxed);
}

void Recorder::Writer::write(const PeriodQueue::Entry& entry) {
    const float* samples = queue.samples(entry);
    for (int slot = 0; slot < kRecordingSlots; ++slot) {
        if ((entry.slots & (1u << slot)) == 0)
            continue;
        auto& file = files[static_cast<size_t>(slot)];
        if (!file)
            file = std::move(pendingOpen[static_cast<size_t>(slot)]);
        if (file) {
            uint64_t written = 0;
            try {
                written = file->writer().write(samples, entry.samplesPerSlot);
            } catch (...) {
                written = 0;  // a full disk or a vanished file: the file closes with what it holds
            }
            if (written != entry.samplesPerSlot)
                fail(slot);
        }
        samples += entry.samplesPerSlot;
    }
}

void Recorder::Writer::run() {
    std::vector<Command> closes;
    for (;;) {
        std::optional<PeriodQueue::Entry> entry;
        {
            std::unique_lock lock(mutex);
            takeCommands(closes);
            entry = queue.front();
            if (!entry && fellBehind.exchange(false, std::memory_order_relaxed)) {
                // Everything queued before the queue overflowed is in the files: they close here.
                files = {};
                pendingOpen = {};
                owner.statusText_.store(kFellBehindText);
            }
            if (!entry) {
                if (finishing)
                    break;
                progress.notify_all();
                // The audio thread never signals: the writer looks again every few milliseconds.
                wake.wait_for(lock, std::chrono::milliseconds(2));
                continue;
            }
        }
        const uint64_t index = queue.popped();
        for (auto it = closes.begin(); it != closes.end();) {
            if (it->stamp <= index) {
                files[static_cast<size_t>(it->slot)].reset();
                it = closes.erase(it);
            } else {
                ++it;
            }
        }
        write(*entry);
        queue.pop();
    }
    files = {};
    pendingOpen = {};
    const std::lock_guard lock(mutex);
    done = true;
    progress.notify_all();
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
    uint32_t slots = 0;
    for (int i = 0; i < kRecordingSlots; ++i)
        if (opened[static_cast<size_t>(i)])
            slots |= 1u << i;
    if (slots == 0)
        return false;

    // Room for kQueueSeconds of every slot, and at least a few of the longest periods.
    const size_t perSlot = std::max<size_t>(static_cast<size_t>(kQueueSeconds * format.sampleRate),
                                            kLongestPeriodFrames * kQueuedLongestPeriods) *
                           std::max<uint32_t>(format.channels, 1);
    const size_t slotCount = onePerStream ? kRecordingSlots : 1;
    auto writer = std::make_unique<Writer>(*this);
    writer->queue.reset(perSlot * slotCount, kQueueEntries);
    writer->files = std::move(opened);
    writer->thread = std::thread([w = writer.get()] { w->run(); });

    const std::lock_guard lock(engineLock_);
    writer_ = std::move(writer);
    onePerStream_.store(onePerStream, std::memory_order_relaxed);
    startClock_ = runningFrames == 0 ? 1 : runningFrames;
    openSlots_.store(slots, std::memory_order_relaxed);
    recording_.store(true, std::memory_order_relaxed);
    return true;
}

void Recorder::stop() {
    {
        const std::lock_guard lock(engineLock_);
        recording_.store(false, std::memory_order_relaxed);
        openSlots_.store(0, std::memory_order_relaxed);
    }
    finishWriter();
}

void Recorder::stopBecause(const char* statusText) {
    const bool wasRecording = recording();
    stop();
    if (wasRecording)
        statusText_.store(statusText);
}

void Recorder::finishWriter() {
    if (!writer_)
        return;
    {
        const std::lock_guard lock(writer_->mutex);
        writer_->finishing = true;
    }
    writer_->wake.notify_all();
    // The queued periods are written and the files closed (cut to their content) on the writer thread.
    writer_->thread.join();
    writer_.reset();
}

void Recorder::flush() {
    if (!writer_)
        return;
    Writer& writer = *writer_;
    const uint64_t target = writer.queue.pushed();
    std::unique_lock lock(writer.mutex);
    writer.wake.notify_all();
    writer.progress.wait(lock, [&] {
        return writer.done || (writer.queue.popped() >= target && writer.commands.empty() &&
                               !writer.fellBehind.load(std::memory_order_relaxed));
    });
}

void Recorder::streamAdded(int index, const std::string& basePath, int64_t runningFrames) {
    if (!recording() || !onePerStream() || index < 0 || index >= kRecordingSlots || !writer_)
        return;
    if (slotOpen(index))
        streamEnded(index);
    openFailures_.clear();
    const std::string path = runningFrames > startClock_ + 1
                                 ? addedStreamRecordingPath(basePath, index + 1, runningFrames - startClock_)
                                 : streamRecordingPath(basePath, index + 1);
    auto file = open(path);
    if (!file)
        return;
    {
        const std::lock_guard lock(writer_->mutex);
        writer_->commands.push_back({index, std::move(file), 0});
    }
    {
        const std::lock_guard lock(engineLock_);
        openSlots_.fetch_or(1u << index, std::memory_order_relaxed);
    }
    std::fprintf(stderr, "Created %s\n", path.c_str());
}

void Recorder::streamEnded(int index) {
    if (index < 0 || index >= kRecordingSlots || !writer_)
        return;
    uint64_t stamp = 0;
    {
        const std::lock_guard lock(engineLock_);
        openSlots_.fetch_and(~(1u << index), std::memory_order_relaxed);
        stamp = writer_->queue.pushed();
    }
    {
        const std::lock_guard lock(writer_->mutex);
        writer_->commands.push_back({index, nullptr, stamp});
    }
    writer_->wake.notify_all();
}

bool Recorder::slotOpen(int index) const {
    return index >= 0 && index < kRecordingSlots &&
           (openSlots_.load(std::memory_order_relaxed) & (1u << index)) != 0;
}

bool Recorder::streamFileOpen(int stream) const {
    return onePerStream() && slotOpen(stream);
}

void Recorder::writePeriod(const engine::RenderedPeriod& period) {
    if (!recording() || !writer_)
        return;
    const uint32_t slots = onePerStream() ? openSlots_.load(std::memory_order_relaxed) : 1u;
    if (slots == 0 || period.samples == 0)
        return;
    const auto perSlot = static_cast<uint32_t>(period.samples);
    const size_t count = static_cast<size_t>(perSlot) * static_cast<size_t>(std::popcount(slots));
    float* out = writer_->queue.reserve(count);
    // An offline render has all the time it needs: it waits for the writer instead of dropping.
    while (out == nullptr && waitWhenFull_ && count <= writer_->queue.capacity()) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        out = writer_->queue.reserve(count);
    }
    if (out == nullptr) {
        // The disk has fallen behind by the whole queue: the recording ends here, nothing is dropped
        // silently.
        recording_.store(false, std::memory_order_relaxed);
        openSlots_.store(0, std::memory_order_relaxed);
        writer_->fellBehind.store(true, std::memory_order_relaxed);
        return;
    }
    for (int slot = 0; slot < kRecordingSlots; ++slot) {
        if ((slots & (1u << slot)) == 0)
            continue;
        const float* source = onePerStream() ? period.streams[static_cast<size_t>(slot)] : period.mix;
        if (source != nullptr)
            std::copy(source, source + perSlot, out);
        else
            std::fill(out, out + perSlot, 0.0f);
        out += perSlot;
    }
    writer_->queue.commit(perSlot, slots);
}

}  // namespace output
