#pragma once

#include "sounds/Sound.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string_view>

namespace platform {
class TimerService;
}

namespace sounds {

// Starts a one-shot timer that runs `action` once after `delay` (on the timer thread).
using OneShotTimer = std::function<void(std::chrono::milliseconds delay, std::function<void()> action)>;

// The fixed table of 12 sound records plus the built-in sine. It owns every Sound; streams hold
// counted references (refCount). Table operations take the table's own lock, so the main thread,
// the loader threads and the timer thread may call them; the audio thread never does.
class SoundTable {
  public:
    static constexpr int kRecordCount = 12;
    // Above this many samples a sound is freed when its last user releases it.
    static constexpr int64_t kKeepLimitSamples = 1'050'000;
    // Above this many samples an unused record is freed when a search passes it.
    static constexpr int64_t kSearchFreeLimitSamples = 2'097'152;

    explicit SoundTable(uint32_t outputRate);
    SoundTable(const SoundTable&) = delete;
    SoundTable& operator=(const SoundTable&) = delete;

    Sound& builtin() { return builtin_; }
    bool isBuiltin(const Sound& sound) const { return &sound == &builtin_; }
    Sound& record(int index) { return records_[static_cast<size_t>(index)]; }
    // Index of a record in the table, or -1 for the built-in sound.
    int indexOf(const Sound& sound) const;

    // Thread: main. Returns the record that holds `path` (counting one more user), or a record made
    // free for it (refCount 0, no path). Kept sounds age by one at each search; among them the
    // oldest is reused first. Returns nullptr when every record is in use, loading or still sounding.
    Sound* findOrAllocate(std::string_view path);

    // Thread: main. Marks a record returned free by findOrAllocate as loading `path`.
    void beginLoad(Sound& sound, std::string_view path);
    // Thread: loader. A load finished: count one user and clear the loading mark.
    void finishLoad(Sound& sound);
    // Thread: loader. A load failed: free the record and leave it with refCount -1.
    void failLoad(Sound& sound);

    // Thread: main. One user more (a stream copied from another); nothing for the built-in sound.
    void addUser(Sound& sound);
    // Thread: main or timer. One user fewer; a sound without users and without sounding grains is
    // freed when large, otherwise kept (refCount -1). The built-in sound is never released.
    void release(Sound& sound);
    // Thread: main. One user fewer without freeing: a count that reaches 0 becomes -1 (kept).
    void releaseKeeping(Sound& sound);
    // Thread: main. Releases the sound after `delay` through the one-shot timer (at once if none is set).
    void releaseLater(Sound& sound, std::chrono::milliseconds delay);
    void setTimer(OneShotTimer timer);
    // Delayed releases through the platform's one-shot timer service, which must outlive the table's use.
    void useTimerService(platform::TimerService& timers);

    // Thread: main, with the engine stopped or under the engine lock.
    void setOutputRate(uint32_t outputRate);

    // For callers that must read refCount consistently (tests, the loader).
    std::mutex& mutex() { return mutex_; }

  private:
    void releaseLocked(Sound& sound);

    std::array<Sound, kRecordCount> records_;
    Sound builtin_;
    std::mutex mutex_;
    OneShotTimer timer_;
};

// Samples (frames × channels) of a record.
inline int64_t sampleCount(const Sound& sound) {
    return static_cast<int64_t>(sound.frames) * sound.channels;
}

}  // namespace sounds
