#include "audio/formats/WaveDecoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <ostream>

#include "audio/Errors.h"
#include "audio/formats/ChunkScan.h"
#include "audio/formats/G711.h"
#include "audio/formats/WaveFormat.h"

namespace audio::formats {

namespace {

constexpr std::uint64_t kFormTypeOffset = 8;
constexpr std::uint64_t kFirstChunkOffset = 12;
constexpr std::uint64_t kChunkHeaderBytes = 8;
constexpr std::size_t kFormatArea = 256;  // the "fmt " contents we keep
constexpr std::uint16_t kMaxExtraBytes = 240;

// Offsets inside the "fmt " contents.
constexpr std::size_t kTagAt = 0;
constexpr std::size_t kChannelsAt = 2;
constexpr std::size_t kRateAt = 4;
constexpr std::size_t kBitsAt = 14;
constexpr std::size_t kExtraSizeAt = 16;
constexpr std::size_t kSubFormatAt = 24;  // WAVE_FORMAT_EXTENSIBLE: GUID whose first word is a tag
constexpr std::size_t kExtensibleExtraBytes = 22;
constexpr std::size_t kExtensibleFormatBytes = kSubFormatAt + 16;

// The GUID of every sub-format derived from a classic format tag, after its first four bytes.
constexpr std::array<std::uint8_t, 12> kSubFormatGuidTail{0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                                          0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr std::uint16_t kNoTag = 0xFFFF;  // a sub-format we do not know
constexpr std::uint16_t kG711Bits = 8;

// The tag that says how the samples are stored: for WAVE_FORMAT_EXTENSIBLE the
// one its sub-format GUID carries, so float data is read as float.
std::uint16_t effectiveTag(const std::uint8_t* area, std::uint32_t chunkSize) {
    const std::uint16_t tag = readLE16(area + kTagAt);
    if (tag != kWaveTagExtensible || chunkSize < kExtensibleFormatBytes ||
        readLE16(area + kExtraSizeAt) < kExtensibleExtraBytes)
        return tag;
    const std::uint8_t* guid = area + kSubFormatAt;
    if (readLE16(guid + 2) != 0 ||
        !std::equal(kSubFormatGuidTail.begin(), kSubFormatGuidTail.end(), guid + 4))
        return kNoTag;
    const std::uint16_t subFormat = readLE16(guid);
    switch (subFormat) {
        case kWaveTagPcm:
        case kWaveTagFloat:
        case kWaveTagALaw:
        case kWaveTagMuLaw:
            return subFormat;
        default:
            return kNoTag;
    }
}

// Our own codecs for data the conversion table cannot read.
Decoder::CodecFn compressedCodec(std::uint16_t tag, std::uint16_t bits) {
    if (bits != kG711Bits)
        return nullptr;
    if (tag == kWaveTagALaw)
        return &decodeALaw;
    if (tag == kWaveTagMuLaw)
        return &decodeMuLaw;
    return nullptr;
}

}  // namespace

WaveDecoder::WaveDecoder(file_buffer& buffer, const Description& description, std::size_t storedSampleSize,
                         const ChunkRecord& format, const ChunkRecord& data, CodecFn codec)
    : Decoder(buffer, description, storedSampleSize), format_(format), data_(data), codec_(codec) {}

std::uint64_t WaveDecoder::frameCount() const {
    const std::uint64_t frameSize = std::uint64_t{storedSampleSize_} * description_.channels;
    return frameSize == 0 ? 0 : data_.size / frameSize;
}

void WaveDecoder::listChunks(std::ostream& out) const {
    writeChunkRecord(out, format_);
    out << "\n\t";
    writeChunkRecord(out, data_);
    out << "\n";
}

std::uint64_t WaveDecoder::dataStart() const {
    return data_.position + kChunkHeaderBytes;
}

std::shared_ptr<Decoder> parseWave(file_buffer& buffer) {
    const FileBlock block = buffer.readAheadBlock(0);
    const std::uint64_t window = std::min(block.size(), file_buffer::kViewSize);
    const std::uint8_t* base = block.begin;
    if (window < kFirstChunkOffset || readLE32(base + kFormTypeOffset) != fourcc("WAVE"))
        return nullptr;

    const ChunkRecord format =
        scanForChunk(base, kFirstChunkOffset, window, fourcc("fmt "), SizeOrder::Little);
    if (!format.found)
        return nullptr;
    const std::uint64_t contents = format.position + kChunkHeaderBytes;
    if (contents + format.size > window)
        throw SoundfileError("not enough data to read header");

    std::array<std::uint8_t, kFormatArea> area{};
    std::memcpy(area.data(), base + contents, std::min<std::size_t>(format.size, kFormatArea));
    const std::uint16_t tag = readLE16(area.data() + kTagAt);
    if (tag == kWaveTagPcm || readLE16(area.data() + kExtraSizeAt) > kMaxExtraBytes)
        std::fill(area.begin() + kExtraSizeAt, area.end(), 0);  // no extension kept

    Description description;
    description.channels = readLE16(area.data() + kChannelsAt);
    description.sampleRate = readLE32(area.data() + kRateAt);
    const std::uint16_t bits = readLE16(area.data() + kBitsAt);
    const std::uint16_t storedTag = effectiveTag(area.data(), format.size);
    description.format = storedTag == kNoTag ? kUnknown : waveSampleFormat(storedTag, bits);
    const Decoder::CodecFn codec = compressedCodec(storedTag, bits);
    const std::size_t storedSampleSize = codec ? 1 : sampleSize(description.format);

    const ChunkRecord data =
        scanForChunk(base, format.endWithPad(), window, fourcc("data"), SizeOrder::Little);
    if (!data.found)
        return nullptr;
    return std::make_shared<WaveDecoder>(buffer, description, storedSampleSize, format, data, codec);
}

}  // namespace audio::formats
