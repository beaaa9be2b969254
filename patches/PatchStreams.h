#pragma once

#include <cstdint>
#include <string>

namespace patches {

// What patches need from the streams: their parameters, the sound they play
// and the bank and slot of the patch each last took. The engine adapter
// implements it over the stream table; tests use a plain fake.
// Thread: main.
class PatchStreams {
  public:
    virtual ~PatchStreams() = default;

    virtual int currentStream() const = 0;
    // False for an `Empty` stream slot.
    virtual bool streamExists(int stream) const = 0;

    virtual int32_t target(int stream, int param) const = 0;
    virtual float current(int stream, int param) const = 0;
    // The engine's set parameter: new target `value`, reached over `changeTime` (1/64 s).
    virtual void setParameter(int stream, int param, int32_t value, double changeTime) = 0;
    // The global change time in 1/64 s.
    virtual int32_t changeTime() const = 0;

    // The path of the stream's sound, or "fizz_sine" for the built-in sine.
    virtual std::string soundPath(int stream) const = 0;

    virtual int32_t bankIndex(int stream) const = 0;
    virtual int32_t patchSlot(int stream) const = 0;
    virtual void setPatchOf(int stream, int32_t bankIndex, int32_t patchSlot) = 0;
};

}  // namespace patches
