#include "sounds/SoundTable.h"

#include "platform/TimerService.h"
#include "sounds/BuiltinSine.h"

#include <utility>

namespace sounds {

namespace {
// The search starts with the second record as its best candidate.
constexpr int kInitialCandidate = 1;

bool grainsSounding(const Sound& sound) {
    return sound.activeGrains.load(std::memory_order_acquire) > 0;
}
bool isLoading(const Sound& sound) {
    return sound.loading.load(std::memory_order_acquire);
}
// A record that may be handed out: no users, no loader, no sounding grains.
bool reusable(const Sound& sound) {
    return sound.refCount <= 0 && !isLoading(sound) && !grainsSounding(sound);
}
bool isFree(const Sound& sound) {
    return sound.refCount == 0 && reusable(sound);
}
}  // namespace

SoundTable::SoundTable(uint32_t outputRate) {
    makeBuiltinSine(builtin_, outputRate);
}

int SoundTable::indexOf(const Sound& sound) const {
    for (int i = 0; i < kRecordCount; ++i)
        if (&records_[static_cast<size_t>(i)] == &sound)
            return i;
    return -1;
}

Sound* SoundTable::findOrAllocate(std::string_view path) {
    std::lock_guard lock(mutex_);
    Sound* best = &records_[kInitialCandidate];
    for (Sound& sound : records_) {
        if (isLoading(sound))
            continue;  // its loader owns it until the load ends
        if (!sound.path.empty() && sound.path == path) {
            sound.refCount = sound.refCount < 0 ? 1 : sound.refCount + 1;
            return &sound;
        }
        if (sound.refCount == 0) {
            if (grainsSounding(sound))
                continue;
            if (!sound.path.empty() && sampleCount(sound) > kSearchFreeLimitSamples)
                freeSound(sound);
            if (!isFree(*best))
                best = &sound;
        } else if (sound.refCount < 0) {
            --sound.refCount;
            // A free record is preferred; among kept sounds the one kept longest.
            if (!grainsSounding(sound) && !isFree(*best) &&
                (sound.refCount < best->refCount || !reusable(*best)))
                best = &sound;
        }
    }
    // The initial candidate may be in use, loading or sounding: then nothing can be reused.
    if (!reusable(*best))
        return nullptr;
    freeSound(*best);
    return best;
}

void SoundTable::beginLoad(Sound& sound, std::string_view path) {
    std::lock_guard lock(mutex_);
    sound.path = path;
    sound.loading.store(true, std::memory_order_release);
}

void SoundTable::finishLoad(Sound& sound) {
    std::lock_guard lock(mutex_);
    sound.refCount = sound.refCount > 0 ? sound.refCount + 1 : 1;
    sound.loading.store(false, std::memory_order_release);
}

void SoundTable::failLoad(Sound& sound) {
    std::lock_guard lock(mutex_);
    freeSound(sound);
    sound.refCount = -1;
    sound.loading.store(false, std::memory_order_release);
}

void SoundTable::addUser(Sound& sound) {
    std::lock_guard lock(mutex_);
    if (!isBuiltin(sound))
        ++sound.refCount;
}

void SoundTable::release(Sound& sound) {
    std::lock_guard lock(mutex_);
    releaseLocked(sound);
}

void SoundTable::releaseLocked(Sound& sound) {
    if (isBuiltin(sound))
        return;
    --sound.refCount;
    if (sound.refCount != 0 || grainsSounding(sound))
        return;
    if (sampleCount(sound) > kKeepLimitSamples)
        freeSound(sound);
    else
        sound.refCount = -1;
}

void SoundTable::releaseKeeping(Sound& sound) {
    std::lock_guard lock(mutex_);
    if (isBuiltin(sound))
        return;
    --sound.refCount;
    if (sound.refCount == 0)
        sound.refCount = -1;
}

void SoundTable::releaseLater(Sound& sound, std::chrono::milliseconds delay) {
    OneShotTimer timer;
    {
        std::lock_guard lock(mutex_);
        timer = timer_;
    }
    if (!timer) {
        release(sound);
        return;
    }
    timer(delay, [this, &sound] { release(sound); });
}

void SoundTable::setTimer(OneShotTimer timer) {
    std::lock_guard lock(mutex_);
    timer_ = std::move(timer);
}

void SoundTable::useTimerService(platform::TimerService& timers) {
    setTimer([&timers](std::chrono::milliseconds delay, std::function<void()> action) {
        timers.startOneShot(delay, std::move(action));
    });
}

void SoundTable::setOutputRate(uint32_t outputRate) {
    std::lock_guard lock(mutex_);
    sounds::setOutputRate(builtin_, outputRate);
    for (Sound& sound : records_)
        if (!isLoading(sound) && sound.sampleRate > 0)
            sounds::setOutputRate(sound, outputRate);
}

}  // namespace sounds
