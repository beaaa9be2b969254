#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/MessageQueue.h"
#include "platform/SystemMemory.h"
#include "sounds/SoundTable.h"

namespace sounds {

// Caption of the question asked before loading a sound that may not fit in memory.
inline constexpr const char* kLargeSoundTitle = "File Information";

// Asks whether a sound file that may be larger than the available memory should
// be loaded anyway (OK/Cancel). The window asks the user; headless commands
// answer with a fixed policy.
class LargeSoundQuestion {
  public:
    virtual ~LargeSoundQuestion() = default;
    // True to load the file. Thread: loader (may block until answered).
    virtual bool confirmLoad(const std::string& title, const std::string& text) = 0;
};

// The answer of a command without a window: always the same.
class FixedLargeSoundAnswer : public LargeSoundQuestion {
  public:
    explicit FixedLargeSoundAnswer(bool load) : load_(load) {}
    bool confirmLoad(const std::string&, const std::string&) override { return load_; }

  private:
    bool load_;
};

// Brings sound files into the SoundTable on detached loader threads. Each load
// ends by posting 33318 (first: stream index, second: record index) or 33319
// (text: what went wrong) to the main window's queue; the main window then
// attaches the sound or shows the text.
//
// Lifetime: the table, the queue and the question must outlive the loader,
// whose destructor waits for loads still running.
class SoundLoader {
  public:
    using MemoryQuery = std::function<std::optional<platform::PhysicalMemory>()>;

    SoundLoader(SoundTable& table, platform::MessageQueue& queue, LargeSoundQuestion& question,
                MemoryQuery memory = platform::queryPhysicalMemory);
    ~SoundLoader();
    SoundLoader(const SoundLoader&) = delete;
    SoundLoader& operator=(const SoundLoader&) = delete;

    enum class Outcome {
        Loading,   // a loader thread started; a message follows
        InMemory,  // the sound was already loaded and counts one more user: attach it at once
        NoRecord,  // every record is in use or still sounding; 33319 was posted
    };
    struct Request {
        Outcome outcome;
        Sound* sound;  // the record, except for NoRecord
    };

    // Load request for `path`, to be attached to stream `streamIndex`.
    // Thread: main.
    Request request(const std::string& path, int streamIndex, uint32_t outputRate);

    // The record a 33318 message names, or nullptr. Thread: main.
    Sound* loadedSound(const platform::Message& message);

    // Loads `sound` (whose path is set and which is marked loading) on the
    // calling thread and posts the outcome. Thread: loader.
    void load(Sound& sound, int streamIndex, uint32_t outputRate);

  private:
    // Counts running loader threads so that destruction can wait for them.
    struct Running {
        std::mutex mutex;
        std::condition_variable idle;
        int count = 0;
    };

    SoundTable& table_;
    platform::MessageQueue& queue_;
    LargeSoundQuestion& question_;
    MemoryQuery memory_;
    std::shared_ptr<Running> running_;
};

}  // namespace sounds
