#pragma once

#include <cstdint>

#include "shell/StoredSettings.h"

namespace shell {

// The packed 32-bit settings values.

// "Selected devices": output device number in bits 0..7 (255: -1), bit 16 set for
// an RtAudio device, MIDI input device in bits 8..14.
uint32_t encodeSelectedDevices(const StoredSettings& settings);
// `complete`: false forces the output device to the first RtAudio entry.
void decodeSelectedDevices(uint32_t word, bool complete, StoredSettings& settings);

// "Sound options": bit 0 stereo, 1 soft stop, 2 reset loop on play, 3 numbered
// files off, 4..6 bytes per sample, 7 one file per stream, 8..14 last file number.
uint32_t encodeSoundOptions(const StoredSettings& settings);
void decodeSoundOptions(uint32_t word, StoredSettings& settings);

// "Sound buffers": frames per buffer in bits 8..22, the buffer count 4 in bits 0..7.
uint32_t encodeSoundBuffers(const StoredSettings& settings);
void decodeSoundBuffers(uint32_t word, StoredSettings& settings);

}  // namespace shell
