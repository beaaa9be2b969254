#include "app/RenderSetup.h"

#include <chrono>
#include <ostream>

#include "patches/BankFile.h"
#include "patches/Patch.h"

namespace app {

namespace {

// Patch recall sets parameters 0..26; the pan position and the change time stay.
constexpr int kRecalledParams = 27;
constexpr auto kLoadWait = std::chrono::seconds(1);

engine::OutputFormat outputFormatOf(const RenderOptions& options) {
    engine::OutputFormat format;
    format.rate = options.rate;
    format.stereo = options.stereo;
    format.framesPerBuffer = options.bufferFrames;
    format.bufferCount = options.bufferCount;
    return format;
}

}  // namespace

engine::Interpolation engineInterpolation(Interpolation mode) {
    switch (mode) {
        case Interpolation::Linear:
            return engine::Interpolation::Linear;
        case Interpolation::Cubic:
            return engine::Interpolation::Cubic;
        case Interpolation::Spline:
            break;
    }
    return engine::Interpolation::Spline;
}

namespace {

// The values of patch `slot` (0: the default patch) of the bank file, or
// nothing for an empty slot.
std::optional<patches::ParamValues> patchValues(const StreamSpec& streamSpec) {
    if (*streamSpec.patch == 0)
        return engine::defaultParamSet();
    if (!streamSpec.bank)
        throw UsageError("patch=" + std::to_string(*streamSpec.patch) + " needs bank=FILE.fpb");
    const auto bytes = patches::readFileBytes(*streamSpec.bank);
    if (!bytes)
        throw CommandFailure(*streamSpec.bank + ": cannot be read");
    const auto decoded = patches::decodeBankFile(*bytes);
    if (decoded.problem != patches::BankFileProblem::None)
        throw CommandFailure(*streamSpec.bank + " is not a valid Frisson patch bank file");
    // Record i of the file fills slot i.
    const auto index = static_cast<size_t>(*streamSpec.patch - 1);
    const auto& records = decoded.contents.patches;
    if (index >= records.size() || !records[index].occupied())
        return std::nullopt;
    return records[index].values;
}

void checkBank(const std::string& path) {
    const auto bytes = patches::readFileBytes(path);
    if (!bytes)
        throw CommandFailure(path + ": cannot be read");
    if (patches::decodeBankFile(*bytes).problem != patches::BankFileProblem::None)
        throw CommandFailure(path + " is not a valid Frisson patch bank file");
}

const char* channelName(int32_t select) {
    return select == engine::RightChannel ? "right" : "both";
}

void prepareStream(StreamHost& headless, int index, const StreamSpec& streamSpec, std::ostream& warnings) {
    engine::Engine& engine = headless.engine();
    if (!streamSpec.sound.empty())
        engine.attachSound(index, headless.loadSound(streamSpec.sound, index));

    if (streamSpec.patch) {
        if (const auto values = patchValues(streamSpec)) {
            for (int p = 0; p < kRecalledParams; ++p)
                engine.setParameter(index, p, (*values)[static_cast<size_t>(p)]);
        } else {
            warnings << "warning: patch " << *streamSpec.patch << " of " << *streamSpec.bank
                     << " is empty; stream " << index + 1 << " keeps its parameters\n";
        }
    } else if (streamSpec.bank) {
        checkBank(*streamSpec.bank);
    }

    for (const auto& [param, value] : streamSpec.overrides)
        engine.setParameter(index, param, value);
    if (streamSpec.hardSync)
        engine.setHardSync(index, true);
    if (streamSpec.channelSelect) {
        const int32_t select = *streamSpec.channelSelect;
        if (select != engine::LeftChannel && engine.stream(index).sound->channels < 2)
            throw UsageError(std::string("channel=") + channelName(select) + ": the sound of stream " +
                             std::to_string(index + 1) + " has one channel");
        engine.setChannelSelect(index, select);
    }
}

}  // namespace

HeadlessEngine::HeadlessEngine(const RenderOptions& options)
    : table_(options.rate), loader_(table_, queue_, answer_), engine_(table_, outputFormatOf(options)) {
    engine_.setInterpolation(engineInterpolation(options.interpolation));
    engine_.setSoftStop(options.softStop);
    engine_.setResetLoopOnPlay(options.resetLoop);
    engine_.setPerStreamOutput(options.perStream);
}

sounds::Sound& HeadlessEngine::loadSound(const std::string& path, int streamIndex) {
    const auto request = loader_.request(path, streamIndex, engine_.outputFormat().rate);
    if (request.outcome == sounds::SoundLoader::Outcome::InMemory)
        return *request.sound;
    for (;;) {
        const auto message = queue_.waitAndTake(kLoadWait);
        if (!message)
            continue;
        if (message->number == platform::kMsgSoundLoadFailed)
            throw CommandFailure(message->text);
        if (sounds::Sound* sound = loader_.loadedSound(*message))
            return *sound;
    }
}

void prepareStreams(StreamHost& headless, const RenderOptions& options, std::ostream& warnings) {
    engine::Engine& engine = headless.engine();
    const int count = static_cast<int>(options.streams.size());
    // The engine starts with stream 0; the others are created in order.
    for (int index = 1; index < count; ++index)
        engine.createStream();
    for (int index = 0; index < count; ++index)
        prepareStream(headless, index, options.streams[static_cast<size_t>(index)], warnings);
    for (int index = 0; index < count; ++index) {
        const StreamSpec& streamSpec = options.streams[static_cast<size_t>(index)];
        if (streamSpec.mute)
            engine.setStreamState(index, engine::Muted);
        if (streamSpec.solo)
            engine.soloStream(index);
    }
}

Timeline::Timeline(std::vector<TimedChange> changes)
    : changes_(std::move(changes)), applied_(changes_.size()) {}

void Timeline::applyDue(engine::Engine& engine, int64_t periodStart) {
    for (size_t i = 0; i < changes_.size(); ++i) {
        const TimedChange& change = changes_[i];
        if (applied_[i] || change.frame > periodStart)
            continue;
        engine.setParameter(change.stream, change.param, change.value);
        applied_[i] = true;
    }
}

}  // namespace app
