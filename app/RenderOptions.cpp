#include "app/RenderOptions.h"

#include <cmath>

#include "engine/ParamSpec.h"
#include "engine/Stream.h"

namespace app {

namespace {

// Three hours: the engine's 32-bit frame clock holds that even at the highest rate.
constexpr double kMaxSeconds = 3.0 * 60.0 * 60.0;
constexpr long kMinRate = 8000;
constexpr long kMaxRate = 192000;
constexpr long kBlockFrames = 8;
constexpr long kMaxBufferFrames = 16384;
constexpr long kMinBufferCount = 1;
constexpr long kMaxBufferCount = 7;  // the ring and its spare slot fit the 8-entry tables
constexpr int kMaxPatchSlot = 20;
constexpr int32_t kLeft = 1;
constexpr int32_t kRight = 2;
constexpr int32_t kBoth = 3;

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t begin = 0;
    for (;;) {
        const size_t end = text.find(separator, begin);
        parts.push_back(text.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
        if (end == std::string::npos)
            return parts;
        begin = end + 1;
    }
}

int32_t parseParamValue(const std::string& item, int param, const std::string& text) {
    const auto& limits = engine::paramSpec(param);
    return static_cast<int32_t>(parseInteger(item, text, limits.min, limits.max));
}

int parseParamName(const std::string& context, const std::string& name) {
    const auto param = engine::findParam(name);
    if (!param)
        throw UsageError(context + ": unknown parameter '" + name + "'");
    return *param;
}

TimedChange parseTimedChange(const std::string& text) {
    const std::string option = "--at " + text;
    const size_t equals = text.find('=');
    if (equals == std::string::npos)
        throw UsageError(option + ": expected T:[STREAM:]Name=value");
    const auto fields = split(text.substr(0, equals), ':');
    if (fields.size() < 2 || fields.size() > 3)
        throw UsageError(option + ": expected T:[STREAM:]Name=value");
    TimedChange change;
    change.seconds = parseNumber("--at time", fields[0], 0.0, kMaxSeconds);
    if (fields.size() == 3)
        change.stream = static_cast<int>(parseInteger("--at stream", fields[1], 1, engine::kMaxStreams)) - 1;
    change.param = parseParamName("--at", fields.back());
    change.value = parseParamValue("--at " + fields.back(), change.param, text.substr(equals + 1));
    return change;
}

int32_t parseChannel(const std::string& text) {
    if (text == "left")
        return kLeft;
    if (text == "right")
        return kRight;
    if (text == "both")
        return kBoth;
    throw UsageError("channel=" + text + ": expected left, right or both");
}

}  // namespace

const char* const kRenderOptionsHelp =
    "  --seconds S          seconds to render before the stop (5)\n"
    "  --rate HZ            output sample rate (44100)\n"
    "  --mono | --stereo    output channels (stereo)\n"
    "  --bits 16|24|32      sample width of the file; 32 is float (32)\n"
    "  --interp linear|cubic|spline   interpolation (spline)\n"
    "  --buffer FRAMES      frames per period, a multiple of 8 (256)\n"
    "  --buffers N          periods in the ring, 1..7 (4)\n"
    "  --soft-stop | --hard-stop      let grains fade at the end, or cut (soft)\n"
    "  --no-reset-loop      do not reset the loops at play start\n"
    "  --per-stream         one file per stream: OUT's \"wav\" becomes \"<n>.wav\"\n"
    "  --at T:[STREAM:]Name=value     set a parameter at T seconds (stream 1..8, default 1)\n"
    "  --stream ITEMS       add a stream; ITEMS is a comma-separated list of\n"
    "                       sound=PATH|sine, bank=FILE.fpb, patch=N|default, Name=value,\n"
    "                       mute, solo, hardsync, channel=left|right|both\n";

StreamSpec parseStreamSpec(const std::string& text) {
    StreamSpec stream;
    if (text.empty())
        throw UsageError("--stream: no items given");
    for (const std::string& item : split(text, ',')) {
        const size_t equals = item.find('=');
        const std::string key = item.substr(0, equals);
        if (equals == std::string::npos) {
            if (key == "mute")
                stream.mute = true;
            else if (key == "solo")
                stream.solo = true;
            else if (key == "hardsync")
                stream.hardSync = true;
            else
                throw UsageError("--stream: unknown item '" + item + "'");
            continue;
        }
        const std::string value = item.substr(equals + 1);
        if (key == "sound") {
            if (value.empty())
                throw UsageError("--stream: sound= needs a path or 'sine'");
            stream.sound = value == "sine" ? std::string() : value;
        } else if (key == "bank") {
            if (value.empty())
                throw UsageError("--stream: bank= needs a file");
            stream.bank = value;
        } else if (key == "patch") {
            stream.patch =
                value == "default" ? 0 : static_cast<int>(parseInteger("patch", value, 1, kMaxPatchSlot));
        } else if (key == "channel") {
            stream.channelSelect = parseChannel(value);
        } else {
            const int param = parseParamName("--stream", key);
            stream.overrides.emplace_back(param, parseParamValue(key, param, value));
        }
    }
    return stream;
}

RenderOptions parseRenderOptions(Args args, const std::function<size_t(Args rest)>& other) {
    RenderOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size())
                throw UsageError(arg + " needs a value");
            return args[++i];
        };
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return options;
        }
        if (arg == "-o") {
            options.output = value();
        } else if (arg == "--seconds") {
            options.seconds = parseNumber(arg, value(), 0.0, kMaxSeconds);
            if (options.seconds <= 0.0)
                throw UsageError("--seconds: must be more than 0");
        } else if (arg == "--rate") {
            options.rate = static_cast<uint32_t>(parseInteger(arg, value(), kMinRate, kMaxRate));
        } else if (arg == "--mono") {
            options.stereo = false;
        } else if (arg == "--stereo") {
            options.stereo = true;
        } else if (arg == "--bits") {
            const std::string& bits = value();
            if (bits != "16" && bits != "24" && bits != "32")
                throw UsageError("--bits: expected 16, 24 or 32, not '" + bits + "'");
            options.bits = std::stoi(bits);
        } else if (arg == "--interp") {
            const std::string& mode = value();
            if (mode == "linear")
                options.interpolation = Interpolation::Linear;
            else if (mode == "cubic")
                options.interpolation = Interpolation::Cubic;
            else if (mode == "spline")
                options.interpolation = Interpolation::Spline;
            else
                throw UsageError("--interp: expected linear, cubic or spline, not '" + mode + "'");
        } else if (arg == "--buffer") {
            options.bufferFrames =
                static_cast<int32_t>(parseInteger(arg, value(), kBlockFrames, kMaxBufferFrames));
            if (options.bufferFrames % kBlockFrames != 0)
                throw UsageError("--buffer: " + std::to_string(options.bufferFrames) +
                                 " is not a multiple of 8");
        } else if (arg == "--buffers") {
            options.bufferCount =
                static_cast<int32_t>(parseInteger(arg, value(), kMinBufferCount, kMaxBufferCount));
        } else if (arg == "--soft-stop") {
            options.softStop = true;
        } else if (arg == "--hard-stop") {
            options.softStop = false;
        } else if (arg == "--no-reset-loop") {
            options.resetLoop = false;
        } else if (arg == "--per-stream") {
            options.perStream = true;
        } else if (arg == "--at") {
            options.changes.push_back(parseTimedChange(value()));
        } else if (arg == "--stream") {
            options.streams.push_back(parseStreamSpec(value()));
        } else if (const size_t taken = other ? other(args.subspan(i)) : 0; taken > 0) {
            i += taken - 1;
        } else {
            throw UsageError("unknown option '" + arg + "'");
        }
    }

    if (options.streams.empty())
        options.streams.emplace_back();
    if (options.streams.size() > static_cast<size_t>(engine::kMaxStreams))
        throw UsageError("at most 8 streams");
    for (TimedChange& change : options.changes) {
        if (change.stream >= static_cast<int>(options.streams.size()))
            throw UsageError("--at: there is no stream " + std::to_string(change.stream + 1));
        change.frame = static_cast<int64_t>(std::nearbyint(change.seconds * options.rate));
    }
    return options;
}

int64_t periodCount(const RenderOptions& options) {
    return static_cast<int64_t>(std::ceil(options.seconds * options.rate / options.bufferFrames));
}

}  // namespace app
