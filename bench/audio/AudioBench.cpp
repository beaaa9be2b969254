// Decode and encode throughput of the sound-file library, each beside a plain
// memcpy of the same bytes (the physical limit). Bytes counted are file data
// bytes: what is read from the file when decoding, what lands in it when encoding.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "audio/Soundfile.h"

namespace {

constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kChannels = 2;
constexpr std::uint64_t kFramesPerWrite = 256;             // a recording period
constexpr std::uint64_t kFrames = 5168 * kFramesPerWrite;  // 30 s of stereo in whole periods

std::string benchDir() {
    static const std::string dir = [] {
        const auto path =
            std::filesystem::temp_directory_path() / ("frisson-bench-audio-" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        return path.string();
    }();
    return dir;
}

// Removes the scratch folder when the program ends.
struct Cleanup {
    ~Cleanup() { std::filesystem::remove_all(benchDir()); }
} cleanup;

std::vector<float> testSignal() {
    std::vector<float> samples(kFrames * kChannels);
    for (std::uint64_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<float>(0.8 * std::sin(0.001 * static_cast<double>(i)));
    return samples;
}

const std::vector<float>& signal() {
    static const std::vector<float> samples = testSignal();
    return samples;
}

std::string writeWave(const std::string& name, audio::SampleFormat format) {
    const std::string path = benchDir() + "/" + name;
    const auto file = audio::Soundfile::create(path, kRate, kChannels, format);
    file->writer().write(signal().data(), signal().size());
    return path;
}

void putBE16(std::ofstream& out, std::uint32_t v) {
    const char bytes[2] = {static_cast<char>(v >> 8), static_cast<char>(v)};
    out.write(bytes, 2);
}

void putBE32(std::ofstream& out, std::uint32_t v) {
    const char bytes[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                           static_cast<char>(v)};
    out.write(bytes, 4);
}

// A 16-bit big-endian AIFF file of the test signal.
std::string writeAiff(const std::string& name) {
    const std::string path = benchDir() + "/" + name;
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(kFrames * kChannels * 2);
    std::ofstream out(path, std::ios::binary);
    out.write("FORM", 4);
    putBE32(out, 4 + 26 + 16 + dataBytes);
    out.write("AIFFCOMM", 8);
    putBE32(out, 18);
    putBE16(out, kChannels);
    putBE32(out, static_cast<std::uint32_t>(kFrames));
    putBE16(out, 16);
    const char rate44100[10] = {0x40, 0x0E, static_cast<char>(0xAC), 0x44, 0, 0, 0, 0, 0, 0};
    out.write(rate44100, sizeof rate44100);
    out.write("SSND", 4);
    putBE32(out, 8 + dataBytes);
    putBE32(out, 0);
    putBE32(out, 0);
    for (const float x : signal()) {
        const auto v = static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lrint(x * 32766.5f)));
        const char bytes[2] = {static_cast<char>(v >> 8), static_cast<char>(v)};
        out.write(bytes, 2);
    }
    return path;
}

void decode(benchmark::State& state, const std::string& path) {
    const auto file = audio::Soundfile::open(path);
    audio::Decoder& decoder = file->decoder();
    std::vector<float> out(decoder.frameCount() * file->description().channels);
    for (auto _ : state) {
        decoder.read(out.data(), decoder.frameCount());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * decoder.frameCount() *
                                                      decoder.storedSampleSize() * kChannels));
}

// memcpy of the file's sample bytes, straight from the mapped file and through
// the same read-ahead blocks (and so the same views) that Decoder::read uses.
void copyData(benchmark::State& state, const std::string& path) {
    const auto file = audio::Soundfile::open(path);
    audio::Decoder& decoder = file->decoder();
    const std::uint64_t sampleBytes = decoder.storedSampleSize();
    const std::uint64_t bytes = decoder.frameCount() * sampleBytes * kChannels;
    std::vector<std::uint8_t> out(bytes);
    for (auto _ : state) {
        std::uint64_t done = 0;
        while (done < bytes) {
            const audio::FileBlock block = decoder.readAheadBlock(done / sampleBytes);
            const std::uint64_t n =
                std::min<std::uint64_t>(block.size() / sampleBytes * sampleBytes, bytes - done);
            std::memcpy(out.data() + done, block.begin, n);
            done += n;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

void BM_DecodeWav16(benchmark::State& state) {
    static const std::string path = writeWave("s16.wav", audio::kInt16LE);
    decode(state, path);
}
void BM_MemcpyWav16(benchmark::State& state) {
    static const std::string path = writeWave("s16.wav", audio::kInt16LE);
    copyData(state, path);
}
void BM_DecodeWav24(benchmark::State& state) {
    static const std::string path = writeWave("s24.wav", audio::kInt24LE);
    decode(state, path);
}
void BM_MemcpyWav24(benchmark::State& state) {
    static const std::string path = writeWave("s24.wav", audio::kInt24LE);
    copyData(state, path);
}
void BM_DecodeAiff16(benchmark::State& state) {
    static const std::string path = writeAiff("s16.aiff");
    decode(state, path);
}
void BM_MemcpyAiff16(benchmark::State& state) {
    static const std::string path = writeAiff("s16.aiff");
    copyData(state, path);
}

// Writes the whole signal in recording periods into a new file, as recording does.
void encode(benchmark::State& state, audio::SampleFormat format) {
    const std::string path = benchDir() + "/encoded.wav";
    const float* samples = signal().data();
    for (auto _ : state) {
        const auto file = audio::Soundfile::create(path, kRate, kChannels, format);
        audio::AudioEncoder& encoder = file->writer();
        for (std::uint64_t frame = 0; frame < kFrames; frame += kFramesPerWrite)
            encoder.write(samples + frame * kChannels, kFramesPerWrite * kChannels);
    }
    state.SetBytesProcessed(
        static_cast<std::int64_t>(state.iterations() * kFrames * kChannels * audio::sampleSize(format)));
}

// memcpy of as many bytes as the encoder writes, in the same periods, into memory.
void copyOut(benchmark::State& state, std::size_t sampleBytes) {
    const std::uint64_t periodBytes = kFramesPerWrite * kChannels * sampleBytes;
    const auto* source = reinterpret_cast<const std::uint8_t*>(signal().data());
    std::vector<std::uint8_t> out(kFrames * kChannels * sampleBytes);
    for (auto _ : state) {
        for (std::uint64_t offset = 0; offset < out.size(); offset += periodBytes)
            std::memcpy(out.data() + offset, source + offset * 4 / sampleBytes, periodBytes);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * out.size()));
}

// memcpy of the same bytes, in the same periods, into a mapped output file of
// the final size, reopened each time as the encoder's file is: the cost of the
// file itself (page faults, remapping, the cut on close).
void copyIntoFile(benchmark::State& state, std::size_t sampleBytes) {
    const std::string path = benchDir() + "/copied.bin";
    const std::uint64_t periodBytes = kFramesPerWrite * kChannels * sampleBytes;
    const std::uint64_t bytes = kFrames * kChannels * sampleBytes;
    const auto* source = reinterpret_cast<const std::uint8_t*>(signal().data());
    for (auto _ : state) {
        audio::file_buffer buffer(std::make_unique<mapped_file::OutputFile>(path));
        buffer.outputFile()->resize(bytes);
        for (std::uint64_t offset = 0; offset < bytes; offset += periodBytes) {
            const audio::FileBlock block = buffer.get_block(offset, periodBytes);
            std::memcpy(block.begin, source + offset * 4 / sampleBytes, periodBytes);
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

void BM_EncodeWav16(benchmark::State& state) {
    encode(state, audio::kInt16LE);
}
void BM_MemcpyOut16(benchmark::State& state) {
    copyOut(state, 2);
}
void BM_EncodeWav24(benchmark::State& state) {
    encode(state, audio::kInt24LE);
}
void BM_MemcpyOut24(benchmark::State& state) {
    copyOut(state, 3);
}
void BM_EncodeWav32(benchmark::State& state) {
    encode(state, audio::kFloat32LE);
}
void BM_MemcpyOut32(benchmark::State& state) {
    copyOut(state, 4);
}

void BM_MemcpyFile16(benchmark::State& state) {
    copyIntoFile(state, 2);
}
void BM_MemcpyFile24(benchmark::State& state) {
    copyIntoFile(state, 3);
}
void BM_MemcpyFile32(benchmark::State& state) {
    copyIntoFile(state, 4);
}

BENCHMARK(BM_DecodeWav16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyWav16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeWav24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyWav24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeAiff16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyAiff16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeWav16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyOut16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyFile16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeWav24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyOut24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyFile24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeWav32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyOut32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyFile32)->Unit(benchmark::kMillisecond);

}  // namespace
