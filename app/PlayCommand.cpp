// frisson play [render options] [--stream ITEMS]... [--device NAME] [--record]:
// plays the streams on a sound server or sound card until the time is up or
// Ctrl-C (a stop request; a second Ctrl-C stops at once), then prints the
// underrun report.
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "app/CommandLine.h"
#include "app/Commands.h"
#include "app/MidiPlay.h"
#include "app/RenderOptions.h"
#include "app/RenderSetup.h"
#include "output/AlsaDevices.h"
#include "output/AlsaOutput.h"
#include "output/AudioSystem.h"
#include "output/DeviceChoices.h"
#include "output/PlayControl.h"
#include "output/Recorder.h"
#include "output/RecordingNames.h"
#include "output/RtAudioApi.h"
#include "platform/MessageQueue.h"
#include "shell/MessageLoop.h"
#include "shell/PlayLoop.h"
#include "shell/UserFolders.h"

namespace app {
namespace {

constexpr const char* kPlayUsage =
    "usage: frisson play [options] [--stream ITEMS]... [--device NAME] [--record] [--midi PORT]\n"
    "Plays the streams until --seconds have passed or Ctrl-C (a soft stop with\n"
    "--soft-stop; a second Ctrl-C stops at once), then prints the underrun report.\n"
    "  --device NAME        the output device: any part of a line of 'frisson devices'\n"
    "                       (default: the first one listed)\n"
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

std::atomic<int> interruptCount{0};

extern "C" void countInterrupt(int /*signal*/) {
    interruptCount.fetch_add(1, std::memory_order_relaxed);
}

// Status texts (the underrun report) for the end; warnings at once.
class ConsoleView : public output::PlayView, public output::UserWarnings {
  public:
    void setPlayButton(bool /*playing*/) override {}
    void showStatusMessage(const std::string& text) override { status_ += text + "\n"; }
    void showWarning(const std::string& caption, const std::string& text) override {
        std::cerr << "frisson play: " << caption << ": " << text << "\n";
    }
    const std::string& status() const { return status_; }

  private:
    std::string status_;
};

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

output::SoundSettings settingsOf(const RenderOptions& options, const output::DeviceChoice& device) {
    output::SoundSettings settings;
    settings.sampleRate = options.rate;
    settings.stereo = options.stereo;
    settings.bufferFrames = static_cast<uint32_t>(options.bufferFrames);
    settings.bufferCount = static_cast<uint32_t>(options.bufferCount);
    settings.deviceSelection = device.selection;
    settings.deviceName = device.text;
    settings.softStop = options.softStop;
    settings.resetLoopOnPlay = options.resetLoop;
    settings.oneFilePerStream = options.perStream;
    return settings;
}

int play(const RenderOptions& options, const PlayExtras& extras) {
    HeadlessEngine headless(options);
    std::ostringstream warnings;
    prepareStreams(headless, options, warnings);
    std::cerr << warnings.str();
    engine::Engine& engine = headless.engine();

    output::AudioSystem audio(output::RtAudioApi::create, std::cerr);
    const output::AlsaDeviceTable alsaDevices = output::listAlsaPlaybackDevices();
    const auto choices = output::outputDeviceChoices(audio.getDeviceList(), alsaDevices);
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
    output::SoundSettings settings = settingsOf(options, *device);

    // The recording starts before play, so it begins with the first period
    // rendered, as `frisson render` does.
    output::Recorder recorder(engine.lock());
    if (extras.record) {
        std::array<bool, output::kRecordingSlots> streams{};
        for (size_t i = 0; i < options.streams.size(); ++i)
            streams[i] = true;
        const output::RecordingFormat format{options.rate, settings.channels(),
                                             output::recordingSampleFormat(options.bits)};
        recorder.start(recordingFile(options), format, options.perStream, streams, engine.frameClock());
        if (!recorder.openFailures().empty())
            throw CommandFailure(recorder.openFailures());
        engine.setRecordingSink(&recorder);
    }

    platform::MessageQueue queue;
    output::AlsaOutput alsa(queue);
    ConsoleView view;
    // Play starts fresh (streams reset) even though the recording already runs.
    output::PlayControl control(engine, {audio, alsa, alsaDevices, queue, std::cerr}, settings, view, view,
                                nullptr);
    shell::MessageLoop messages(queue, control, nullptr);
    shell::PlayLoop loop(messages, control);
    std::unique_ptr<MidiPlay> midi;
    if (!extras.midiPort.empty()) {
        midi = std::make_unique<MidiPlay>(engine, control, &recorder, queue, extras.midiPort);
        messages.setOtherMessages([&midi](const platform::Message& message) { midi->dispatch(message); });
        loop.setRunWhileStopped(true);
        std::cerr << "frisson play: MIDI from " << midi->sourceName() << "\n";
    }

    interruptCount.store(0);
    const auto previousHandler = std::signal(SIGINT, countInterrupt);
    if (!control.startPlay(0)) {
        std::signal(SIGINT, previousHandler);
        throw CommandFailure("could not start play on '" + device->text + "' (see the messages above)");
    }
    std::cerr << "frisson play: playing on " << device->text << "\n";
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
    std::cout << view.status();
    if (control.deviceLost())
        throw CommandFailure("the output device went away during play");
    if (const char* failure = recorder.takeStatusText())
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
