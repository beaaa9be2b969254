#pragma once

#include <string>
#include <vector>

namespace output {

// The direct ALSA output devices: -1 is ALSA's "default" PCM, 0 .. n-1 the
// playback PCMs from ALSA's device name hints.
struct AlsaDeviceTable {
    std::vector<std::string> names;  // devices 0 .. n-1
    bool defaultAvailable = false;   // whether device -1 ("default") opens
    std::string hintError;           // the system's text when the hints could not be read

    int count() const { return static_cast<int>(names.size()); }
    // The PCM name of a device number, -1 included.
    std::string pcmName(int device) const;
};

inline constexpr const char* kAlsaDefaultPcm = "default";
// How a direct ALSA device is shown in device lists.
inline constexpr const char* kAlsaEntryPrefix = "(ALSA) ";

// Reads the name hints and tries the "default" PCM. Thread: main.
AlsaDeviceTable listAlsaPlaybackDevices();

// ALSA's own diagnostics go to stderr by default; the device layer reports
// its failures itself, so they are silenced once. Thread: any.
void silenceAlsaDiagnostics();

}  // namespace output
