#include "output/AlsaDevices.h"

#include <alsa/asoundlib.h>

#include <cstdlib>
#include <memory>
#include <mutex>

namespace output {
namespace {

void ignoreAlsaDiagnostic(const char* /*file*/, int /*line*/, const char* /*function*/, int /*error*/,
                          const char* /*format*/, ...) {}

struct HintText {
    char* text;
    ~HintText() { std::free(text); }
};

bool isPlayback(void* hint) {
    const HintText io{snd_device_name_get_hint(hint, "IOID")};
    return io.text == nullptr || std::string(io.text) == "Output";
}

bool pcmOpens(const char* name) {
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, name, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
        return false;
    }
    snd_pcm_close(pcm);
    return true;
}

}  // namespace

std::string AlsaDeviceTable::pcmName(int device) const {
    if (device < 0 || device >= count()) {
        return kAlsaDefaultPcm;
    }
    return names[static_cast<std::size_t>(device)];
}

void silenceAlsaDiagnostics() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(ignoreAlsaDiagnostic); });
}

AlsaDeviceTable listAlsaPlaybackDevices() {
    silenceAlsaDiagnostics();
    AlsaDeviceTable table;
    void** hints = nullptr;
    const int result = snd_device_name_hint(-1, "pcm", &hints);
    if (result < 0) {
        table.hintError = snd_strerror(result);
    } else {
        for (void** hint = hints; *hint != nullptr; ++hint) {
            const HintText name{snd_device_name_get_hint(*hint, "NAME")};
            // "default" is device -1 already.
            if (name.text != nullptr && std::string(name.text) != kAlsaDefaultPcm && isPlayback(*hint)) {
                table.names.emplace_back(name.text);
            }
        }
        snd_device_name_free_hint(hints);
    }
    table.defaultAvailable = pcmOpens(kAlsaDefaultPcm);
    return table;
}

}  // namespace output
