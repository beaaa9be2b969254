#pragma once

#include <cstdint>
#include <string>

#include "midi/MidiSettings.h"
#include "output/SoundSettings.h"

namespace shell {

// The sound input values: nothing opens a sound input; they are only read and written back.
struct SoundInputSettings {
    uint32_t selectedDev = 0;
    uint32_t framerate = 44100;
    uint32_t stereo = 2;
    uint32_t framecount = 1024;
    uint32_t appbuffer = 300;
    uint32_t bufferCount = 4;  // not stored: always 4 after loading

    bool operator==(const SoundInputSettings&) const = default;
};

inline constexpr uint32_t kDefaultBytesPerSample = 4;  // 32-bit float
inline constexpr uint32_t kDefaultSoundfileMaxCount = 99;

// The recording values kept with the settings.
struct RecordingSettings {
    uint32_t bytesPerSample = kDefaultBytesPerSample;  // 2, 3 or 4 (float)
    uint32_t lastFileNumber = 0;                       // the last output file number used, 0..127
    uint32_t soundfileMaxCount = kDefaultSoundfileMaxCount;

    bool operator==(const RecordingSettings&) const = default;
};

// Everything the settings store keeps for a user.
struct StoredSettings {
    bool doStartupLogin = false;  // kept in the base key for every user
    output::SoundSettings sound;
    RecordingSettings recording;
    midi::MidiSettings midi;
    std::string soundfileInFolder;
    std::string soundfileOutFolder;
    SoundInputSettings input;

    bool operator==(const StoredSettings&) const = default;
};

}  // namespace shell
