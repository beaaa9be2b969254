// frisson play [render options] [--stream ITEMS]... [--device NAME] [--record]:
// plays the streams on a sound server or sound card until the time is up or
// Ctrl-C (a stop request; a second Ctrl-C stops at once), then prints the
// underrun report.
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/Commands.h"
#include "app/RenderOptions.h"
#include "app/RenderSetup.h"
#include "midi/RtMidiInputBackend.h"
#include "output/AlsaDevices.h"
#include "output/DeviceChoices.h"
#include "output/PlayControl.h"
#include "output/Recorder.h"
#include "output/RecordingNames.h"
#include "output/RtAudioApi.h"
#include "shell/AppCore.h"
#include "shell/ConsoleView.h"
#include "shell/PlayLoop.h"
#include "shell/StreamTabs.h"
#include "shell/UserFolders.h"

namespace app {
namespace {

constexpr const char* kPlayUsage =
    "usage: frisson play [options] [--stream ITEMS]... [--device NAME] [--record] [--midi PORT]\n"
    "Plays the streams until --seconds have passed or Ctrl-C (a soft stop with\n"
    "--soft-stop; a second Ctrl-C stops at once), then prints the underrun report.\n"
    "  --device NAME        the output device: any part of a line of 'frisson devices'\n"
    "                       (default: the first one listed); lines without outputs,\n"
    "                       such as a PulseAudio monitor, are passed over\n"
    "  --record             record what is played: to -o OUT.wav, or to \"fizz.wav\" in\n"
    "                       the output folder ($SFDIR, else the program's data folder)\n"
    "  -o OUT.wav           the recording's file (with --record)\n"
    "  --midi PORT          take MIDI from the source whose name contains PORT (see\n"
    "                       'frisson midi-ports'): notes, controllers and program\n"
    "                       changes play the streams and may stop and restart play\n";

struct PlayExtras {
    std::string device;
    bool record = false;
    std::string midiPort;
};

constexpr const char* kPrefix = "frisson play: ";

std::atomic<int> interruptCount{0};

extern "C" void countInterrupt(int /*signal*/) {
    interruptCount.fetch_add(1, std::memory_order_relaxed);
}

size_t parseExtra(Args rest, PlayExtras& extras) {
    const std::string& option = rest[0];
    if (option == "--record") {
        extras.record = true;
        return 1;
    }
    if (option == "--midi") {
        if (rest.size() < 2 || rest[1].empty())
            throw UsageError("--midi needs a PORT; 'frisson midi-ports' lists them");
        extras.midiPort = rest[1];
        return 2;
    }
    if (option == "--device") {
        if (rest.size() < 2 || rest[1].empty())
            throw UsageError("--device needs a NAME; 'frisson devices' lists them");
        extras.device = rest[1];
        return 2;
    }
    return 0;
}

std::string recordingFile(const RenderOptions& options) {
    if (!options.output.empty())
        return options.output;
    const char* sfdir = std::getenv("SFDIR");
    const std::string folder = sfdir != nullptr && *sfdir != '\0' ? sfdir : shell::programFolder();
    return output::recordingPath(folder, output::recordingName(false, 0));
}

// The command-line settings replace the user's output settings for this performance.
void applyOptions(const RenderOptions& options, const output::DeviceChoice& device,
                  output::SoundSettings& settings) {
    settings.sampleRate = options.rate;
    settings.stereo = options.stereo;
    settings.bufferFrames = static_cast<uint32_t>(options.bufferFrames);
    settings.bufferCount = static_cast<uint32_t>(options.bufferCount);
    settings.deviceSelection = device.selection;
    settings.deviceName = device.text;
    settings.softStop = options.softStop;
    settings.resetLoopOnPlay = options.resetLoop;
    settings.oneFilePerStream = options.perStream;
}

// The application core as the streams of the command line see it.
class CoreStreams : public StreamHost {
  public:
    explicit CoreStreams(shell::AppCore& core) : core_(core) {}
    engine::Engine& engine() override { return core_.engine(); }
    sounds::Sound& loadSound(const std::string& path, int streamIndex) override {
        std::string error;
        sounds::Sound* sound = core_.loadSoundAndWait(path, streamIndex, error);
        if (sound == nullptr)
            throw CommandFailure(error);
        return *sound;
    }

  private:
    shell::AppCore& core_;
};

// The choices play can use: every direct ALSA output, and the JACK and
// PulseAudio devices that have outputs (a monitor source only records).
std::vector<output::DeviceChoice> playableChoices(const output::DeviceList& devices,
                                                  const std::vector<output::DeviceChoice>& choices) {
    std::vector<output::DeviceChoice> playable;
    for (const output::DeviceChoice& choice : choices) {
        if (output::isRtDevice(choice.selection)) {
            const auto index = static_cast<std::size_t>(choice.selection - output::kRtDeviceBase);
            if (index >= devices.entries.size() || devices.entries[index].outputChannels == 0)
                continue;
        }
        playable.push_back(choice);
    }
    return playable;
}

std::unique_ptr<shell::AppCore> makeCore(shell::View& view, const PlayExtras& extras) {
    shell::CoreServices services;
    services.audioApi = output::RtAudioApi::create;
    services.alsaDevices = output::listAlsaPlaybackDevices;
    if (!extras.midiPort.empty())
        services.midiBackend = [] { return std::make_unique<midi::RtMidiInputBackend>(); };
    try {
        return std::make_unique<shell::AppCore>(view, std::move(services));
    } catch (const std::runtime_error& e) {
        throw CommandFailure(e.what());
    }
}

int play(const RenderOptions& options, const PlayExtras& extras) {
    shell::ConsoleView view(std::cerr, kPrefix);
    const std::unique_ptr<shell::AppCore> owner = makeCore(view, extras);
    shell::AppCore& core = *owner;
    core.startWithoutWindow();
    engine::Engine& engine = core.engine();

    output::AudioSystem& audio = core.audioSystem();
    const auto choices = playableChoices(
        audio.getDeviceList(), output::outputDeviceChoices(audio.getDeviceList(), core.alsaDevices()));
    std::optional<output::DeviceChoice> device;
    if (!extras.device.empty()) {
        device = output::findDeviceChoice(choices, extras.device);
        if (!device)
            throw CommandFailure("no output device matches '" + extras.device +
                                 "'; 'frisson devices' lists them");
    } else if (!choices.empty()) {
        device = choices.front();
    } else {
        throw CommandFailure("no usable output device (no JACK or PulseAudio server, no ALSA device)");
    }
    applyOptions(options, *device, core.soundSettings());
    if (!core.applySoundSettings())
        throw CommandFailure("could not allocate the output buffers");
    engine.setInterpolation(engineInterpolation(options.interpolation));

    CoreStreams streams(core);
    std::ostringstream warnings;
    prepareStreams(streams, options, warnings);
    std::cerr << warnings.str();
    core.tabs().showTabs();

    // The recording starts before play, so it begins with the first period
    // rendered, as `frisson render` does.
    output::Recorder& recorder = core.recorder();
    if (extras.record) {
        std::array<bool, output::kRecordingSlots> inUse{};
        for (size_t i = 0; i < options.streams.size(); ++i)
            inUse[i] = true;
        const output::RecordingFormat format{options.rate, core.soundSettings().channels(),
                                             output::recordingSampleFormat(options.bits)};
        recorder.start(recordingFile(options), format, options.perStream, inUse, engine.frameClock());
        if (!recorder.openFailures().empty())
            throw CommandFailure(recorder.openFailures());
        engine.setRecordingSink(&recorder);
    }

    std::string midiSource;
    if (!extras.midiPort.empty()) {
        std::string error;
        const auto opened = core.openMidiSource(extras.midiPort, error);
        if (!opened)
            throw CommandFailure(error);
        std::cerr << kPrefix << "MIDI from " << *opened << "\n";
    }

    output::PlayControl& control = core.playControl();
    shell::PlayLoop loop(core, control);
    loop.setRunWhileStopped(!extras.midiPort.empty());
    interruptCount.store(0);
    const auto previousHandler = std::signal(SIGINT, countInterrupt);
    // Play starts fresh (streams reset) even though the recording already runs.
    if (!control.startPlay(output::PlayControl::kFreshStartMode)) {
        std::signal(SIGINT, previousHandler);
        throw CommandFailure("could not start play on '" + device->text + "' (see the messages above)");
    }
    std::cerr << kPrefix << "playing on " << device->text << "\n";
    Timeline timeline(options.changes);
    const auto start = shell::PlayLoop::Clock::now();
    const auto end = start + std::chrono::duration_cast<shell::PlayLoop::Clock::duration>(
                                 std::chrono::duration<double>(options.seconds));
    // Changes are applied as play reaches them (to the period being rendered
    // next, as near as the loop's tick allows).
    loop.run(end, interruptCount, [&] { timeline.applyDue(engine, engine.frameClock()); });
    std::signal(SIGINT, previousHandler);

    engine.setRecordingSink(nullptr);
    recorder.stop();
    // A failed recording says so, also when the device went away and ended it.
    const char* failure = recorder.takeStatusText();
    if (control.deviceLost()) {
        if (failure != nullptr)
            std::cerr << kPrefix << failure << "\n";
        throw CommandFailure("the output device went away during play");
    }
    if (failure != nullptr)
        throw CommandFailure(failure);
    return kExitOk;
}

}  // namespace

int runPlay(Args args) {
    PlayExtras extras;
    const RenderOptions options =
        parseRenderOptions(args, [&](Args rest) { return parseExtra(rest, extras); });
    if (options.help) {
        std::cout << kPlayUsage << kRenderOptionsHelp;
        return kExitOk;
    }
    try {
        return play(options, extras);
    } catch (const CommandFailure& e) {
        std::cerr << "frisson play: " << e.what() << "\n";
        return kExitFailure;
    }
}

}  // namespace app
