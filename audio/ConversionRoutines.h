#pragma once

#include <cstddef>

#include "audio/SampleConverter.h"

// The plain conversion routines behind GetConverter and GetInt24Converter.
namespace audio::conversion {

// Row and column of the conversion table.
enum TypeIndex : int { kEightBit = 0, kInt16 = 1, kInt32 = 2, kFloat32 = 3, kFloat64 = 4, kNoIndex = -1 };
inline constexpr int kIndexedTypes = 5;

TypeIndex typeIndex(SampleFormat format);

// The table cell from source to destination; the 8-bit side is "byte" when
// the corresponding flag is set, else "char".
ConvertFn tableRoutine(TypeIndex from, bool fromUnsigned, TypeIndex to, bool toUnsigned);

// Reverses the bytes of each sample of the given type (a copy for 8-bit).
ConvertFn byteSwapRoutine(TypeIndex type);

enum class Direction { From24 = 0, To24 = 1 };

// One of the eight 24-bit routines: the other side is int32 or float32 (by
// isFloat), in native order; swapped means the 24-bit data is in the other order.
ConvertFn int24Routine(Direction direction, bool isFloat, bool swapped);

}  // namespace audio::conversion
