#include "patches/EnginePatchStreams.h"

#include "sounds/BuiltinSine.h"
#include "sounds/SoundTable.h"

namespace patches {

int EnginePatchStreams::currentStream() const {
    return engine_.currentStream();
}

bool EnginePatchStreams::streamExists(int stream) const {
    return engine_.stream(stream).stateNow() != engine::Empty;
}

int32_t EnginePatchStreams::target(int stream, int param) const {
    return engine_.stream(stream).param(param).targetValue();
}

float EnginePatchStreams::current(int stream, int param) const {
    return engine_.stream(stream).current(param);
}

void EnginePatchStreams::setParameter(int stream, int param, int32_t value, double changeTime) {
    engine_.setParameter(stream, param, value, changeTime);
}

int32_t EnginePatchStreams::changeTime() const {
    return engine_.changeTime();
}

std::string EnginePatchStreams::soundPath(int stream) const {
    const sounds::Sound* sound = engine_.stream(stream).sound;
    if (!sound || engine_.soundTable().isBuiltin(*sound))
        return std::string(sounds::kBuiltinPatchName);
    return sound->path;
}

int32_t EnginePatchStreams::bankIndex(int stream) const {
    return engine_.stream(stream).bankIndex;
}

int32_t EnginePatchStreams::patchSlot(int stream) const {
    return engine_.stream(stream).patchSlot;
}

void EnginePatchStreams::setPatchOf(int stream, int32_t bankIndex, int32_t patchSlot) {
    engine_.stream(stream).bankIndex = bankIndex;
    engine_.stream(stream).patchSlot = patchSlot;
}

}  // namespace patches
