// frisson convert IN OUT.wav [--bits 16|24|32]: decodes all of IN as the sound
// loader does and writes it with the recording writer.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "app/CommandLine.h"
#include "app/Commands.h"
#include "audio/SampleFormat.h"
#include "audio/Soundfile.h"
#include "platform/SystemMemory.h"

namespace app {

namespace {

constexpr const char* kConvertUsage =
    "usage: frisson convert IN OUT.wav [--bits 16|24|32]\n"
    "Decodes all of IN (WAV, AIFF or AIFC) to floats and writes OUT as a WAV file:\n"
    "  --bits 16|24|32   16- or 24-bit integers, or 32-bit float (the default, the\n"
    "                    decoded samples unchanged)\n";

constexpr std::uint64_t kBytesPerKiB = 1024;
constexpr std::uint64_t kFramesPerWrite = 65536;  // the writer is fed in buffers, as while recording

struct ConvertOptions {
    std::string input;
    std::string output;
    audio::SampleFormat format = audio::kFloat32LE;
};

ConvertOptions parse(Args args, bool& help) {
    ConvertOptions options;
    int positional = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            help = true;
            return options;
        }
        if (arg == "--bits") {
            if (i + 1 == args.size())
                throw UsageError("--bits needs a value: 16, 24 or 32");
            const long bits = parseInteger("--bits", args[++i], 16, 32);
            if (bits == 16)
                options.format = audio::kInt16LE;
            else if (bits == 24)
                options.format = audio::kInt24LE;
            else if (bits == 32)
                options.format = audio::kFloat32LE;
            else
                throw UsageError("--bits: " + args[i] + " is not 16, 24 or 32");
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError("unknown option '" + arg + "'");
        } else if (positional == 0) {
            options.input = arg;
            ++positional;
        } else if (positional == 1) {
            options.output = arg;
            ++positional;
        } else {
            throw UsageError("unexpected argument '" + arg + "'");
        }
    }
    if (positional != 2)
        throw UsageError("expects IN and OUT.wav; try 'frisson convert --help'");
    return options;
}

std::string kiB(std::uint64_t bytes) {
    return std::to_string(bytes / kBytesPerKiB) + " kB";
}

// All frames of the file as interleaved floats, refused as the loader refuses
// a sound larger than the machine's memory.
std::unique_ptr<float[]> decodeAll(audio::Soundfile& file, const std::string& path, std::uint64_t& frames) {
    frames = file.decoder().frameCount();
    const std::uint64_t samples = frames * file.description().channels;
    const std::uint64_t need = samples * sizeof(float);
    if (const auto memory = platform::queryPhysicalMemory(); memory && need > memory->totalBytes)
        throw std::runtime_error(path + " (" + kiB(need) + ") exceeds total physical memory (" +
                                 kiB(memory->totalBytes) + ")!");
    std::unique_ptr<float[]> data;
    try {
        data = std::make_unique_for_overwrite<float[]>(std::max<std::uint64_t>(samples, 1));
    } catch (const std::bad_alloc&) {
        throw std::runtime_error("Memory allocation error - sound file too large");
    }
    frames = file.decoder().read(data.get(), frames);
    return data;
}

// Writes into a temporary file beside OUT and renames it over OUT only when
// everything was written, so a failure never leaves a half-written OUT.
void writeAll(const ConvertOptions& options, const audio::Description& description, const float* samples,
              std::uint64_t frames) {
    const std::string temporary = options.output + ".part" + std::to_string(getpid());
    try {
        {
            std::unique_ptr<audio::Soundfile> file;
            try {
                file = audio::Soundfile::create(temporary, description.sampleRate, description.channels,
                                                options.format);
            } catch (const std::exception& e) {
                throw std::runtime_error("Could not open \"" + options.output + "\" for output. " + e.what());
            }
            audio::AudioEncoder& encoder = file->writer();
            const std::uint64_t channels = description.channels;
            for (std::uint64_t frame = 0; frame < frames; frame += kFramesPerWrite) {
                const std::uint64_t count = std::min(kFramesPerWrite, frames - frame) * channels;
                if (encoder.write(samples + frame * channels, count) != count)
                    throw std::runtime_error("ERROR: Could not write to output soundfile. Closed file.");
            }
        }
        if (std::rename(temporary.c_str(), options.output.c_str()) != 0)
            throw std::runtime_error("Could not rename " + temporary + " to " + options.output);
    } catch (...) {
        std::remove(temporary.c_str());
        throw;
    }
}

}  // namespace

int runConvert(Args args) {
    bool help = false;
    const ConvertOptions options = parse(args, help);
    if (help) {
        std::cout << kConvertUsage;
        return kExitOk;
    }
    std::unique_ptr<float[]> samples;
    std::uint64_t frames = 0;
    audio::Description description;
    try {
        const auto input = audio::Soundfile::open(options.input);
        description = input->description();
        samples = decodeAll(*input, options.input, frames);
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return kExitFailure;
    }
    try {
        writeAll(options, description, samples.get(), frames);
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace app
