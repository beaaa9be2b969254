#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/CommandLine.h"
#include "app/Commands.h"

namespace app {

enum class Interpolation { Linear, Cubic, Spline };

// One --stream ITEMS: the stream's sound, patch, parameter overrides and switches.
struct StreamSpec {
    std::string sound;  // a file path; empty for the built-in sine
    std::optional<std::string> bank;
    std::optional<int> patch;                        // 1..20, or 0 for the default patch
    std::vector<std::pair<int, int32_t>> overrides;  // (parameter index, value), in command-line order
    bool mute = false;
    bool solo = false;
    bool hardSync = false;
    std::optional<int32_t> channelSelect;  // 1 left, 2 right, 3 both
};

// One --at T:[STREAM:]Name=value.
struct TimedChange {
    double seconds = 0.0;
    int64_t frame = 0;  // round(T × rate), halves to even
    int stream = 0;     // stream index (0..7)
    int param = 0;
    int32_t value = 0;
};

// What `render` (and later `play`) was asked to do.
struct RenderOptions {
    bool help = false;  // --help or -h: nothing else was parsed
    std::string output;
    double seconds = 5.0;
    uint32_t rate = 44100;
    bool stereo = true;
    int bits = 32;
    Interpolation interpolation = Interpolation::Spline;
    int32_t bufferFrames = 256;
    int32_t bufferCount = 4;
    bool softStop = true;
    bool resetLoop = true;
    bool perStream = false;
    std::vector<TimedChange> changes;  // in command-line order
    std::vector<StreamSpec> streams;   // at least one
};

// The options shared by `render` and `play`, as `--help` lists them.
extern const char* const kRenderOptionsHelp;

// Parses the items of one --stream ("sound=a.wav,Pitch=100,mute"); UsageError for anything wrong.
StreamSpec parseStreamSpec(const std::string& text);

// Parses the render options. Arguments it does not know are handed to
// `other` (which returns how many arguments it took, 0 for none); any left
// over is a UsageError. Without --stream, one stream with the built-in sine.
// Thread: main.
RenderOptions parseRenderOptions(Args args, const std::function<size_t(Args rest)>& other = {});

// The number of periods of a render: ceil(S × rate / buffer) in double.
int64_t periodCount(const RenderOptions& options);

}  // namespace app
