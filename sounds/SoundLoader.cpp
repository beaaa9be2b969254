#include "sounds/SoundLoader.h"

#include <limits>
#include <new>
#include <stdexcept>
#include <thread>

#include "audio/Soundfile.h"
#include "sounds/AmpTable.h"

namespace sounds {

namespace {

constexpr uint64_t kBytesPerSample = sizeof(float);
constexpr uint64_t kBytesPerKiB = 1024;
// Below this size a sound is loaded without asking, whatever the memory status says.
constexpr uint64_t kAlwaysLoadBytes = 4'194'304;
// A sound above this share of the physical memory may be too large for what is free.
constexpr uint64_t kLargeShareDivisor = 4;

std::string kiB(uint64_t bytes) {
    return std::to_string(bytes / kBytesPerKiB) + " kB";
}

std::string readFailure(const std::string& message, const std::string& path) {
    if (message.empty())
        return "Internal error - could not read " + path;
    return "Error: " + message + " - could not read " + path;
}

// Decodes the file at sound.path into the record; returns the failure text, or
// nothing when the record is complete.
std::optional<std::string> decodeInto(Sound& sound, uint32_t outputRate, LargeSoundQuestion& question,
                                      const SoundLoader::MemoryQuery& memoryQuery) {
    const std::string path = sound.path;
    std::unique_ptr<audio::Soundfile> file;
    try {
        file = audio::Soundfile::open(path);
    } catch (const std::exception& e) {
        return std::string(e.what()) + ". Could not open " + path;
    }
    const audio::Description& description = file->description();
    const uint64_t frames = file->decoder().frameCount();
    // Guards of the engine's arithmetic: every position divides by the frame
    // count and every speed by the sample rate; grains read one or two channels.
    if (frames == 0)
        return path + " has no sample frames";
    if (description.sampleRate == 0)
        return path + " has a sample rate of 0";
    if (description.channels < 1 || description.channels > 2)
        return path + " has " + std::to_string(description.channels) +
               " channels; only mono and stereo sounds can be played";
    if (frames > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
        return std::string("Memory allocation error - sound file too large");

    sound.frames = static_cast<int32_t>(frames);
    sound.sampleRate = static_cast<int32_t>(description.sampleRate);
    sound.channels = static_cast<int16_t>(description.channels);
    sound.unitsPerFrame = unitsPerFrameOf(sound.frames, sound.channels);
    sound.ampUnitsPerFrame = sound.unitsPerFrame;

    const uint64_t need = frames * description.channels * kBytesPerSample;
    if (const auto memory = memoryQuery()) {
        if (need > memory->totalBytes)
            return path + " (" + kiB(need) + ") exceeds total physical memory (" + kiB(memory->totalBytes) +
                   ")!";
        if (need > kAlwaysLoadBytes && need > memory->totalBytes / kLargeShareDivisor &&
            need > memory->availableBytes) {
            const std::string text =
                path + " (" + kiB(need) + ") may be larger than available memory (" +
                kiB(memory->availableBytes) +
                ")\n\nYou may try to load it into memory.\nIf you try to load too large a file into memory, "
                "Fizz "
                "will probably lock up.\nClick OK to load into memory, Cancel to skip file.";
            if (!question.confirmLoad(kLargeSoundTitle, text))
                return "Skipped " + path;
        }
    }

    const int32_t guardFrames = guardFramesOf(sound.frames, sound.unitsPerFrame);
    try {
        sound.data.assign((frames + static_cast<uint64_t>(guardFrames)) * sound.channelCount(), 0.0f);
    } catch (const std::bad_alloc&) {
        return std::string("Memory allocation error - sound file too large");
    } catch (const std::length_error&) {
        return std::string("Memory allocation error - sound file too large");
    }

    try {
        file->decoder().read(sound.data.data(), frames);
    } catch (const std::exception& e) {
        return readFailure(e.what(), path);
    } catch (...) {
        return readFailure({}, path);
    }
    file.reset();
    fillGuardRegion(sound, guardFrames);

    if (!buildAmpTable(sound))
        return std::string("Memory allocation error for amptable");
    setOutputRate(sound, outputRate);
    return std::nullopt;
}

}  // namespace

SoundLoader::SoundLoader(SoundTable& table, platform::MessageQueue& queue, LargeSoundQuestion& question,
                         MemoryQuery memory)
    : table_(table),
      queue_(queue),
      question_(question),
      memory_(std::move(memory)),
      running_(std::make_shared<Running>()) {}

SoundLoader::~SoundLoader() {
    std::unique_lock lock(running_->mutex);
    running_->idle.wait(lock, [this] { return running_->count == 0; });
}

SoundLoader::Request SoundLoader::request(const std::string& path, int streamIndex, uint32_t outputRate) {
    Sound* sound = table_.findOrAllocate(path);
    if (sound == nullptr) {
        queue_.postText(platform::kMsgSoundLoadFailed,
                        "All sound records are in use - could not load " + path, streamIndex);
        return {Outcome::NoRecord, nullptr};
    }
    if (sound->refCount >= 1)
        return {Outcome::InMemory, sound};

    table_.beginLoad(*sound, path);
    {
        const std::lock_guard lock(running_->mutex);
        ++running_->count;
    }
    auto running = running_;
    try {
        std::thread([this, sound, streamIndex, outputRate, running] {
            load(*sound, streamIndex, outputRate);
            const std::lock_guard lock(running->mutex);
            --running->count;
            running->idle.notify_all();
        }).detach();
    } catch (const std::system_error& e) {
        {
            const std::lock_guard lock(running_->mutex);
            --running_->count;
        }
        table_.failLoad(*sound);
        queue_.postText(platform::kMsgSoundLoadFailed, std::string(e.what()) + " - could not load " + path,
                        streamIndex);
        return {Outcome::NoRecord, nullptr};
    }
    return {Outcome::Loading, sound};
}

void SoundLoader::load(Sound& sound, int streamIndex, uint32_t outputRate) {
    const std::string path = sound.path;
    std::optional<std::string> failure;
    // Nothing may escape a loader thread: every failure becomes a posted text.
    try {
        failure = decodeInto(sound, outputRate, question_, memory_);
    } catch (const std::bad_alloc&) {
        failure = "Memory allocation error - sound file too large";
    } catch (...) {
        failure = readFailure({}, path);
    }
    if (failure) {
        table_.failLoad(sound);
        queue_.postText(platform::kMsgSoundLoadFailed, *failure, streamIndex);
        return;
    }
    table_.finishLoad(sound);
    queue_.post(platform::kMsgSoundLoaded, streamIndex, table_.indexOf(sound));
}

Sound* SoundLoader::loadedSound(const platform::Message& message) {
    if (message.number != platform::kMsgSoundLoaded || message.second < 0 ||
        message.second >= SoundTable::kRecordCount)
        return nullptr;
    return &table_.record(static_cast<int>(message.second));
}

}  // namespace sounds
