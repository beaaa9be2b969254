#pragma once

#include "engine/Engine.h"
#include "patches/PatchStreams.h"

namespace patches {

// The streams of the grain engine as patches see them. Thread: main.
class EnginePatchStreams : public PatchStreams {
  public:
    explicit EnginePatchStreams(engine::Engine& engine) : engine_(engine) {}

    int currentStream() const override;
    bool streamExists(int stream) const override;
    int32_t target(int stream, int param) const override;
    float current(int stream, int param) const override;
    void setParameter(int stream, int param, int32_t value, double changeTime) override;
    int32_t changeTime() const override;
    std::string soundPath(int stream) const override;
    int32_t bankIndex(int stream) const override;
    int32_t patchSlot(int stream) const override;
    void setPatchOf(int stream, int32_t bankIndex, int32_t patchSlot) override;

  private:
    engine::Engine& engine_;
};

}  // namespace patches
