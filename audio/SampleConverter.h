#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/SampleFormat.h"

namespace audio {

// Converts count samples (frames times channels, not bytes) from source to
// destination; the two blocks never overlap.
using ConvertFn = void (*)(const void* source, void* destination, std::size_t count);

// One direction of a converter: a plain routine, or two stages joined by a
// scratch buffer that grows to (element size times count) bytes and never
// shrinks. A two-stage callable is stateful: one thread at a time.
class ConvertCallable {
  public:
    ConvertCallable();
    explicit ConvertCallable(ConvertFn plain);
    ConvertCallable(ConvertCallable first, ConvertCallable second, std::size_t scratchElementSize);

    ConvertCallable(ConvertCallable&&) noexcept;
    ConvertCallable& operator=(ConvertCallable&&) noexcept;
    ~ConvertCallable();

    void operator()(const void* source, void* destination, std::size_t count);

    bool isTwoStage() const { return stages_ != nullptr; }
    // Bytes the scratch buffer holds now (0 for a plain routine).
    std::size_t scratchCapacity() const;

  private:
    struct Stages;
    ConvertFn plain_ = nullptr;
    std::unique_ptr<Stages> stages_;
};

// Both directions between a file's format and the application's format:
// decode reads file samples into application samples, encode the reverse.
struct SampleConverter {
    ConvertCallable decode;
    ConvertCallable encode;
};

// Thread: any. Raises std::runtime_error "Could not handle data conversion"
// (after a line on the console stream) for a pair the table cannot index.
SampleConverter GetConverter(SampleFormat fileFormat, SampleFormat appFormat);

// Between a 24-bit format and any of the other indexed types.
SampleConverter GetInt24Converter(SampleFormat int24Format, SampleFormat otherFormat);

}  // namespace audio
