#include "app/MidiPlay.h"

#include <iostream>

#include "app/RenderSetup.h"
#include "engine/Engine.h"
#include "midi/EngineMidiTarget.h"
#include "midi/MidiControlSettings.h"
#include "midi/MidiInput.h"
#include "midi/MidiInputHandler.h"
#include "midi/MonitorLine.h"
#include "midi/RtMidiInputBackend.h"
#include "patches/EnginePatchStreams.h"
#include "patches/PatchPanel.h"
#include "patches/Session.h"
#include "platform/SettingsStore.h"
#include "shell/FileList.h"
#include "shell/SessionStore.h"
#include "shell/UserFolders.h"
#include "shell/UserSettings.h"

namespace app {
namespace {

constexpr const char* kPrefix = "frisson play: ";

// Without a window: warnings and status texts go to stderr, questions get the
// answer that changes nothing, the panel's own display is not shown.
class ConsolePanel : public patches::PanelView, public midi::MidiNotices {
  public:
    patches::Answer askYesNoCancel(const std::string&, const std::string&) override {
        return patches::Answer::No;
    }
    bool askOkCancel(const std::string&, const std::string&) override { return false; }
    void warn(const std::string& text, const std::string& caption) override {
        std::cerr << kPrefix << caption << ": " << text << "\n";
    }
    std::optional<std::string> chooseBankFile(const std::string&) override { return std::nullopt; }
    void setNameField(const std::string&) override {}
    void promptForName(const std::string&) override {}
    void showDisplayedBank(int) override {}
    void setSlotLabel(int, const std::string&) override {}
    void setSlotSelected(int, bool) override {}
    void showStatus(const std::string& text) override { std::cerr << kPrefix << text << "\n"; }
    void clearStatus() override {}
    void moveScrollBar(int, int32_t) override {}

    void showStatus(int, std::string_view text) override { std::cerr << kPrefix << text << "\n"; }
    void showWarning(std::string_view caption, std::string_view text) override {
        std::cerr << kPrefix << caption << ": " << text << "\n";
    }
};

}  // namespace

struct MidiPlay::Parts {
    Parts(engine::Engine& engine, output::PlayControl& play, const output::Recorder* recorder,
          platform::MessageQueue& queue)
        : store(platform::defaultSettingsFile()),
          user(store, recentFiles,
               [this](const std::string& text, const std::string& caption) { console.warn(text, caption); }),
          streams(engine),
          panel(streams, console),
          target(engine, play, recorder),
          handler(settings, target, queue),
          input(settings, handler, backend, console) {}

    ConsolePanel console;
    platform::SettingsStore store;
    shell::FileList recentFiles;
    shell::UserSettings user;
    patches::EnginePatchStreams streams;
    patches::PatchPanel panel;
    midi::MidiControlSettings settings;
    midi::EngineMidiTarget target;
    midi::MidiInputHandler handler;
    midi::RtMidiInputBackend backend;
    midi::MidiInput input;
    std::string sourceName;
};

MidiPlay::MidiPlay(engine::Engine& engine, output::PlayControl& play, const output::Recorder* recorder,
                   platform::MessageQueue& queue, const std::string& port) {
    try {
        parts_ = std::make_unique<Parts>(engine, play, recorder, queue);
    } catch (const std::runtime_error& e) {
        throw CommandFailure(e.what());
    }
    Parts& p = *parts_;
    p.user.loadSettings();
    p.settings.loadStored(p.user.settings().midi);

    p.panel.start(engine::defaultParamSet());
    const std::string programFolder = shell::programFolder();
    p.panel.setPatchFolder(shell::patchFolderFor(programFolder, p.user.userName()));
    shell::SessionStore session(p.store, p.user.settingsKey());
    patches::loadSession(p.panel, p.panel.patchFolder(), session, p.console);

    p.input.listDevices();
    const auto& names = p.input.deviceNames();
    const auto position = midi::findDeviceContaining(names, port);
    if (!position)
        throw CommandFailure("no MIDI source matches '" + port + "'; 'frisson midi-ports' lists them");
    p.sourceName = names[static_cast<size_t>(*position)];
    p.settings.selectedDevice = *position;
    if (!p.input.openMidiInput())
        throw CommandFailure("could not open the MIDI source '" + p.sourceName + "'");
}

MidiPlay::~MidiPlay() = default;

const std::string& MidiPlay::sourceName() const {
    return parts_->sourceName;
}

bool MidiPlay::dispatch(const platform::Message& message) {
    if (message.number == platform::kMsgProgramChange) {
        parts_->panel.programChange(static_cast<int>(message.first), static_cast<int>(message.second));
        return true;
    }
    if (message.number == platform::kMsgMidiMonitor) {
        std::cerr << midi::formatMonitorLine(static_cast<uint32_t>(message.first)) << "\n";
        return true;
    }
    return platform::isMoveScrollBarMessage(message.number);
}

}  // namespace app
