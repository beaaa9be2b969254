#include "audio/SampleConverter.h"

#include <algorithm>
#include <ostream>
#include <stdexcept>

#include "audio/Console.h"
#include "audio/ConversionRoutines.h"

namespace audio {

using conversion::Direction;
using conversion::TypeIndex;

struct ConvertCallable::Stages {
    ConvertCallable first;
    ConvertCallable second;
    std::size_t scratchElementSize;
    std::vector<std::uint8_t> scratch;
};

ConvertCallable::ConvertCallable(ConvertCallable first, ConvertCallable second,
                                 std::size_t scratchElementSize)
    : stages_(std::make_unique<Stages>(Stages{std::move(first), std::move(second), scratchElementSize, {}})) {
}

ConvertCallable::ConvertCallable() = default;
ConvertCallable::ConvertCallable(ConvertFn plain) : plain_(plain) {}
ConvertCallable::ConvertCallable(ConvertCallable&&) noexcept = default;
ConvertCallable& ConvertCallable::operator=(ConvertCallable&&) noexcept = default;
ConvertCallable::~ConvertCallable() = default;

void ConvertCallable::operator()(const void* source, void* destination, std::size_t count) {
    if (!stages_) {
        plain_(source, destination, count);
        return;
    }
    const std::size_t needed = stages_->scratchElementSize * count;
    if (stages_->scratch.size() < needed)
        stages_->scratch.resize(needed);
    stages_->first(source, stages_->scratch.data(), count);
    stages_->second(stages_->scratch.data(), destination, count);
}

std::size_t ConvertCallable::scratchCapacity() const {
    return stages_ ? stages_->scratch.size() : 0;
}

namespace {

// Decode runs first then second; encode runs the reverses in the opposite order.
SampleConverter twoStage(SampleConverter first, SampleConverter second, std::size_t scratchElementSize) {
    return {ConvertCallable(std::move(first.decode), std::move(second.decode), scratchElementSize),
            ConvertCallable(std::move(second.encode), std::move(first.encode), scratchElementSize)};
}

[[noreturn]] void refuse(SampleFormat fileFormat, SampleFormat appFormat) {
    console() << name(fileFormat) << " => " << name(appFormat) << "\n";
    if (sampleSize(appFormat) == 3)
        throw std::runtime_error(
            "Illegal conversion - 24-bit are not usable in app code?\n"
            "conversion may be accessible from GetInt24Converter");
    throw std::runtime_error("Could not handle data conversion");
}

bool isFloatIndex(TypeIndex index) {
    return index == conversion::kFloat32 || index == conversion::kFloat64;
}

}  // namespace

SampleConverter GetConverter(SampleFormat fileFormat, SampleFormat appFormat) {
    if (sampleSize(fileFormat) == 3)
        return GetInt24Converter(fileFormat, appFormat);
    const TypeIndex fileIndex = conversion::typeIndex(fileFormat);
    const TypeIndex appIndex = conversion::typeIndex(appFormat);
    if (fileIndex == conversion::kNoIndex || appIndex == conversion::kNoIndex)
        refuse(fileFormat, appFormat);

    const bool fileUnsigned = fileFormat == kByte;
    const bool appUnsigned = appFormat == kByte;
    const ConvertFn forward = conversion::tableRoutine(fileIndex, fileUnsigned, appIndex, appUnsigned);
    const ConvertFn backward = conversion::tableRoutine(appIndex, appUnsigned, fileIndex, fileUnsigned);

    bool swap = byteOrder(fileFormat) == ByteOrder::Big;
    if (byteOrder(appFormat) != kNativeOrder) {
        log() << "Data conversion warning - Byte-inverted data is not usable in app code?\n";
        swap = byteOrder(appFormat) != byteOrder(fileFormat);
    }
    if (!swap)
        return {ConvertCallable(forward), ConvertCallable(backward)};

    const ConvertFn byteSwap = conversion::byteSwapRoutine(fileIndex);
    const std::size_t scratch = std::max(sampleSize(fileFormat), sampleSize(appFormat));
    return twoStage({ConvertCallable(byteSwap), ConvertCallable(byteSwap)},
                    {ConvertCallable(forward), ConvertCallable(backward)}, scratch);
}

SampleConverter GetInt24Converter(SampleFormat int24Format, SampleFormat otherFormat) {
    const TypeIndex otherIndex = conversion::typeIndex(otherFormat);
    if (otherIndex == conversion::kNoIndex)
        refuse(int24Format, otherFormat);
    const bool swap = byteOrder(int24Format) != byteOrder(otherFormat);
    const bool isFloat = isFloatIndex(otherIndex);
    constexpr std::size_t kIntermediateSize = 4;

    if (sampleSize(otherFormat) == kIntermediateSize) {
        return {ConvertCallable(conversion::int24Routine(Direction::From24, isFloat, swap)),
                ConvertCallable(conversion::int24Routine(Direction::To24, isFloat, swap))};
    }
    const SampleFormat intermediate = isFloat ? kFloat32LE : kInt32LE;
    const std::size_t scratch = std::max(kIntermediateSize, sampleSize(otherFormat));
    return twoStage(GetInt24Converter(int24Format, intermediate), GetConverter(intermediate, otherFormat),
                    scratch);
}

}  // namespace audio
