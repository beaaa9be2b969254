#include "audio/formats/AiffDecoder.h"

#include <algorithm>
#include <ostream>
#include <string>

#include "audio/Console.h"
#include "audio/Errors.h"
#include "audio/formats/ChunkScan.h"

namespace audio::formats {

namespace {

constexpr std::uint64_t kFormTypeOffset = 8;
constexpr std::uint64_t kFirstChunkOffset = 12;
constexpr std::uint64_t kChunkHeaderBytes = 8;
constexpr std::uint64_t kSoundDataHeaderBytes = 16;  // chunk header, offset and block size

// Offsets inside the "COMM" contents.
constexpr std::uint64_t kChannelsAt = 0;
constexpr std::uint64_t kFramesAt = 2;
constexpr std::uint64_t kBitsAt = 6;
constexpr std::uint64_t kRateAt = 8;
constexpr std::uint64_t kCompressionTypeAt = 18;
constexpr std::uint64_t kCompressionNameAt = 22;
constexpr std::uint32_t kPlainCommSize = 18;
constexpr std::size_t kMaxCompressionName = 256;

constexpr std::uint16_t kExponentMask = 0x7FFF;
constexpr std::uint32_t kRateExponentBias = 16414;  // 16383 + 31: exponent of a 32-bit integer
constexpr std::uint32_t kShiftMask = 31;

constexpr int kMaxCharBits = 8;
constexpr int kMaxInt16Bits = 16;
constexpr int kMaxInt24Bits = 24;
constexpr int kMaxInt32Bits = 32;

SampleFormat integerFormat(int bits, bool littleEndian) {
    if (bits <= kMaxCharBits)
        return kChar;
    if (bits <= kMaxInt16Bits)
        return littleEndian ? kInt16LE : kInt16BE;
    if (bits <= kMaxInt24Bits)
        return littleEndian ? kInt24LE : kInt24BE;
    if (bits <= kMaxInt32Bits)
        return littleEndian ? kInt32LE : kInt32BE;
    console() << "Sample size " << bits << " not supported\n";
    return kUnknown;
}

SampleFormat commFormat(const CommRecord& comm) {
    if (comm.chunk.size > kPlainCommSize) {
        const std::uint32_t type = comm.compressionType;
        if (type == fourcc("fl32") || type == fourcc("FL32"))
            return kFloat32BE;
        if (type == fourcc("fl64") || type == fourcc("FL64"))
            return kFloat64BE;
        if (type == fourcc("sowt"))
            return integerFormat(comm.sampleSize, true);
        if (type != fourcc("NONE")) {
            console() << "Sample format '";
            for (int i = 0; i < 4; ++i)
                console() << static_cast<char>(type >> (8 * i));
            console() << "' not supported\n";
            return kUnknown;
        }
    }
    return integerFormat(comm.sampleSize, false);
}

// The header fields must lie inside the window the header was read from.
void requireHeader(std::uint64_t end, std::uint64_t window) {
    if (end > window)
        throw SoundfileError("not enough data to read header");
}

}  // namespace

std::uint32_t extendedRate(std::uint16_t exponent, std::uint64_t mantissa) {
    const std::uint32_t top = static_cast<std::uint32_t>(mantissa >> 32);
    const std::uint32_t shift = (kRateExponentBias - (exponent & kExponentMask)) & kShiftMask;
    return top >> shift;
}

AiffDecoder::AiffDecoder(file_buffer& buffer, const Description& description, FormKind kind,
                         const CommRecord& comm, const ChunkRecord& soundData, std::uint32_t dataOffset)
    : Decoder(buffer, description, sampleSize(description.format)),
      kind_(kind),
      comm_(comm),
      soundData_(soundData),
      dataOffset_(dataOffset) {}

std::uint64_t AiffDecoder::frameCount() const {
    return comm_.numSampleFrames;
}

void AiffDecoder::listChunks(std::ostream& out) const {
    writeChunkRecord(out, comm_.chunk);
    out << "\n";
    writeChunkRecord(out, soundData_);
    out << "\n";
}

std::uint64_t AiffDecoder::dataStart() const {
    return soundData_.position + kSoundDataHeaderBytes + dataOffset_;
}

std::shared_ptr<Decoder> parseAiff(file_buffer& buffer) {
    const FileBlock block = buffer.readAheadBlock(0);
    const std::uint64_t window = std::min(block.size(), file_buffer::kViewSize);
    const std::uint8_t* base = block.begin;
    if (window < kFirstChunkOffset)
        return nullptr;
    const std::uint32_t formType = readLE32(base + kFormTypeOffset);
    FormKind kind;
    if (formType == fourcc("AIFF"))
        kind = FormKind::Aiff;
    else if (formType == fourcc("AIFC"))
        kind = FormKind::Aifc;
    else
        return nullptr;

    CommRecord comm;
    comm.chunk = scanForChunk(base, kFirstChunkOffset, window, fourcc("COMM"), SizeOrder::Big);
    if (!comm.chunk.found)
        return nullptr;
    const std::uint64_t contents = comm.chunk.position + kChunkHeaderBytes;
    requireHeader(contents + kPlainCommSize, window);
    const std::uint8_t* fields = base + contents;
    comm.numChannels = static_cast<std::int16_t>(readBE16(fields + kChannelsAt));
    comm.numSampleFrames = readBE32(fields + kFramesAt);
    comm.sampleSize = static_cast<std::int16_t>(readBE16(fields + kBitsAt));
    comm.rateExponent = readBE16(fields + kRateAt);
    comm.rateMantissa = std::uint64_t{readBE32(fields + kRateAt + 2)} << 32 | readBE32(fields + kRateAt + 6);
    if (comm.chunk.size > kPlainCommSize) {
        requireHeader(contents + kCompressionNameAt, window);
        comm.compressionType = readLE32(fields + kCompressionTypeAt);
    }
    if (comm.chunk.size >= kCompressionNameAt) {
        const std::uint64_t nameEnd = std::min(
            {contents + comm.chunk.size, window, contents + kCompressionNameAt + kMaxCompressionName});
        if (nameEnd > contents + kCompressionNameAt)
            comm.compressionName.assign(reinterpret_cast<const char*>(fields + kCompressionNameAt),
                                        nameEnd - contents - kCompressionNameAt);
    }
    if (comm.numChannels < 0)
        throw SoundfileError("Invalid channel count: " + std::to_string(comm.numChannels));

    Description description;
    description.channels = static_cast<std::uint32_t>(comm.numChannels);
    description.sampleRate = extendedRate(comm.rateExponent, comm.rateMantissa);
    description.format = commFormat(comm);

    const ChunkRecord soundData =
        scanForChunk(base, comm.chunk.endWithPad(), window, fourcc("SSND"), SizeOrder::Big);
    if (!soundData.found)
        return nullptr;
    requireHeader(soundData.position + kChunkHeaderBytes + 4, window);
    const std::uint32_t dataOffset = readBE32(base + soundData.position + kChunkHeaderBytes);
    return std::make_shared<AiffDecoder>(buffer, description, kind, comm, soundData, dataOffset);
}

}  // namespace audio::formats
