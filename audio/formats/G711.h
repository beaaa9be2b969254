#pragma once

#include <cstddef>
#include <cstdint>

// G.711 companded samples (one byte each) to native float: first to 16-bit
// linear values as G.711 defines them, then by the int16 rule (times 1/32767).
namespace audio::formats {

std::int16_t alawToLinear(std::uint8_t code);
std::int16_t mulawToLinear(std::uint8_t code);

void decodeALaw(const std::uint8_t* source, float* destination, std::size_t count);
void decodeMuLaw(const std::uint8_t* source, float* destination, std::size_t count);

}  // namespace audio::formats
