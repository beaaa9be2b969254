#include "shell/AppCore.h"

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "engine/ParamDisplay.h"
#include "midi/MonitorLine.h"
#include "midi/RtMidiInputBackend.h"
#include "output/RtAudioApi.h"
#include "output/SoundDeviceCheck.h"
#include "patches/Session.h"
#include "shell/CoreParts.h"
#include "shell/MenuCommands.h"
#include "shell/SessionStore.h"
#include "shell/SettingsWords.h"
#include "shell/UserFolders.h"

namespace shell {

namespace fs = std::filesystem;

namespace {

constexpr const char* kMissingFolderCaption = "Session Configuration Problem";

std::string missingFolderQuestion(const std::string& folder) {
    return "Could not find output soundfile folder \"" + folder + "\".\nDo you want to specify a folder?";
}

std::string folderOf(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    return parent.string();
}

}  // namespace

CoreServices desktopServices() {
    CoreServices services;
    services.audioApi = output::RtAudioApi::create;
    services.midiBackend = []() -> std::unique_ptr<midi::MidiInputBackend> {
        // Without a MIDI service the window runs on; MIDI input then lists no devices.
        try {
            return std::make_unique<midi::RtMidiInputBackend>();
        } catch (const std::exception& e) {
            std::cerr << e.what() << "\n";
            return nullptr;
        }
    };
    services.alsaDevices = output::listAlsaPlaybackDevices;
    return services;
}

std::optional<std::string> redirectDiagnosticsToLog() {
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    fs::path folder;
    if (state != nullptr && *state != '\0')
        folder = fs::path(state) / "frisson";
    else if (home != nullptr && *home != '\0')
        folder = fs::path(home) / ".local" / "state" / "frisson";
    else
        return std::nullopt;
    std::error_code error;
    fs::create_directories(folder, error);
    const fs::path log = folder / "FizzLog.txt";
    if (std::freopen(log.c_str(), "w", stderr) == nullptr)
        return std::nullopt;
    // What the sound libraries report while they start belongs in the log too.
    output::RtAudioApi::setLibraryLog(&std::cerr);
    return log.string();
}

AppCore::AppCore(View& view, CoreServices services) : view_(view), services_(std::move(services)) {
    parts_ = std::make_unique<Parts>(*this, view_, services_, queue_);
    Parts& p = *parts_;
    p.messages.setOtherMessages([this](const platform::Message& message) { dispatchOther(message); });
    p.adapters.onMoveScrollBar = [this](int param, int32_t value) {
        positions_[static_cast<size_t>(param)] = engine::valueToPosition(param, value);
        view_.setScrollPosition(param, positions_[static_cast<size_t>(param)]);
    };
    StreamTabs::Hooks hooks;
    hooks.showParameters = [this] { showStreamParameters(); };
    hooks.streamAdded = [this](int stream) {
        parts_->recording.streamAdded(stream, parts_->engine.frameClock());
        updateFileButton();
    };
    hooks.streamEnded = [this](int stream) {
        if (parts_->recorder.recording() && parts_->recorder.onePerStream())
            parts_->recorder.streamEnded(stream);
    };
    hooks.showStatus = [this](const std::string& text) { showStatus(text); };
    hooks.focusControl = [this](int id) { focusControl(id); };
    p.tabs = std::make_unique<StreamTabs>(p.engine, p.panel, view_, std::move(hooks));
    p.recentFiles.attach(&p.adapters);
}

AppCore::~AppCore() {
    if (!shutDown_)
        shutDown();
    parts_->relay.close();
}

engine::Engine& AppCore::engine() {
    return parts_->engine;
}
GesturePad& AppCore::gesture() {
    return parts_->gesture;
}
StreamTabs& AppCore::tabs() {
    return *parts_->tabs;
}
output::PlayControl& AppCore::playControl() {
    return parts_->play;
}
bool AppCore::playing() const {
    return parts_->play.playing();
}
bool AppCore::recording() const {
    return parts_->recorder.recording();
}

// ---- Start-up and shut-down

void AppCore::start() {
    Parts& p = *parts_;
    for (int part : {0, 4})
        view_.setStatusText(part, "");
    showFirstStream();
    view_.setButton(kFileButton, {kFileButtonLabel, false});
    p.adapters.setPlayButton(false);

    if (p.user.startupLoginWanted()) {
        LoginDialog dialog(p.store, p.user.userName(), p.user.settings().doStartupLogin);
        modal([&] { view_.runLoginDialog(dialog); });
        p.user.setUserName(dialog.userName());
        p.user.settings().doStartupLogin = dialog.doStartupLogin();
    }
    loadUserSettings();
    output::checkSoundDevices(p.audio, p.alsaDevices, p.user.settings().sound, p.adapters);
    applySettingsToEngine();
    if (p.midiInput && services_.openMidi)
        p.midiInput->initMidiInput();

    refreshDisplay(engine::ChangeTime);
    loadSessionBanks();

    const std::string& out = p.user.settings().soundfileOutFolder;
    std::error_code error;
    if (!fs::is_directory(out, error) &&
        view_.ask(missingFolderQuestion(out), kMissingFolderCaption, Buttons::YesNo) == Reply::Yes)
        queue_.post(kMsgDeferredCommand, kCmdOutputFolder);
}

void AppCore::startWithoutWindow() {
    // A command reads the user's settings but never writes them back.
    windowless_ = true;
    showFirstStream();
    loadUserSettings();
    loadSessionBanks();
}

void AppCore::showFirstStream() {
    parts_->panel.start(engine::defaultParamSet());
    parts_->tabs->selectStream(0);
}

void AppCore::loadUserSettings() {
    Parts& p = *parts_;
    programFolder_ = shell::programFolder();
    p.panel.setPatchFolder(patchFolderFor(programFolder_, p.user.userName()));
    p.user.loadSettings();
    applyFolderDefaults(p.user.settings(), programFolder_);
    p.midiSettings.loadStored(p.user.settings().midi);
}

void AppCore::loadSessionBanks() {
    Parts& p = *parts_;
    SessionStore session(p.store, p.user.settingsKey());
    patches::loadSession(p.panel, p.panel.patchFolder(), session, p.adapters);
}

output::SoundSettings& AppCore::soundSettings() {
    return parts_->user.settings().sound;
}

bool AppCore::applySoundSettings() {
    applySettingsToEngine();
    return !ended_;
}

output::Recorder& AppCore::recorder() {
    return parts_->recorder;
}

output::AudioSystem& AppCore::audioSystem() {
    return parts_->audio;
}

const output::AlsaDeviceTable& AppCore::alsaDevices() const {
    return parts_->alsaDevices;
}

sounds::Sound* AppCore::loadSoundAndWait(const std::string& path, int stream, std::string& error) {
    Parts& p = *parts_;
    const auto request = p.loader.request(path, stream, p.engine.outputFormat().rate);
    if (request.outcome == sounds::SoundLoader::Outcome::InMemory)
        return request.sound;
    for (;;) {
        const auto message = queue_.waitAndTake(std::chrono::milliseconds(100));
        if (!message)
            continue;
        if (message->number == platform::kMsgSoundLoadFailed) {
            error = message->text;
            return nullptr;
        }
        if (message->number == platform::kMsgSoundLoaded) {
            if (sounds::Sound* sound = p.loader.loadedSound(*message))
                return sound;
            continue;
        }
        dispatch(*message);
    }
}

std::optional<std::string> AppCore::openMidiSource(const std::string& part, std::string& error) {
    Parts& p = *parts_;
    if (!p.midiInput) {
        error = "no MIDI service is available";
        return std::nullopt;
    }
    p.midiInput->listDevices();
    const auto& names = p.midiInput->deviceNames();
    const auto position = midi::findDeviceContaining(names, part);
    if (!position) {
        error = "no MIDI source matches '" + part + "'; 'frisson midi-ports' lists them";
        return std::nullopt;
    }
    const std::string name = names[static_cast<size_t>(*position)];
    p.midiSettings.selectedDevice = *position;
    if (!p.midiInput->openMidiInput()) {
        error = "could not open the MIDI source '" + name + "'";
        return std::nullopt;
    }
    return name;
}

void AppCore::applySettingsToEngine() {
    Parts& p = *parts_;
    const output::SoundSettings& sound = p.user.settings().sound;
    p.engine.setSoftStop(sound.softStop);
    p.engine.setResetLoopOnPlay(sound.resetLoopOnPlay);
    p.engine.setPerStreamOutput(sound.oneFilePerStream);
    if (const auto error = p.play.allocateBuffers())
        fatal(*error);
}

bool AppCore::exit() {
    Parts& p = *parts_;
    p.user.settings().midi = p.midiSettings.stored();
    p.user.saveSettings();
    SessionStore session(p.store, p.user.settingsKey());
    if (!patches::saveAndRecordSession(p.panel, session))
        return false;
    shutDown();
    ended_ = true;
    view_.closeWindow(1);
    return true;
}

void AppCore::fatal(const std::string& text) {
    view_.fatal(text);
    shutDown();
    ended_ = true;
    view_.closeWindow(-1);
}

void AppCore::shutDown() {
    if (shutDown_)
        return;
    shutDown_ = true;
    Parts& p = *parts_;
    p.gesture.stopPlayback();
    if (p.play.playing())
        p.play.stopPlay();
    if (p.recorder.recording()) {
        p.engine.setRecordingSink(nullptr);
        p.recorder.stop();
    }
    if (p.midiInput)
        p.midiInput->shutDown();
    if (!windowless_)
        p.recentFiles.saveRecent(p.store, p.user.settingsKey());
    p.relay.close();
    view_.closeHelp();
}

// ---- Status and parameter rows

void AppCore::showStatus(const std::string& text, bool clearValues) {
    view_.setStatusText(kMessagePart, text);
    if (clearValues) {
        view_.setStatusText(kValuePart, "");
        view_.setStatusText(kDerivedPart, "");
    }
}

void AppCore::showStreamParameters() {
    const engine::Engine& e = parts_->engine;
    const int current = e.currentStream();
    for (int param = 0; param < engine::kParamCount; ++param) {
        // The change time is global: its bar stays where it is.
        const int32_t value =
            param == engine::ChangeTime ? e.changeTime() : e.stream(current).param(param).target.load();
        positions_[static_cast<size_t>(param)] = engine::valueToPosition(param, value);
        view_.setScrollPosition(param, positions_[static_cast<size_t>(param)]);
    }
    refreshDisplay(engine::Freq);
}

void AppCore::refreshDisplay(int param) {
    const engine::Engine& e = parts_->engine;
    const int current = e.currentStream();
    engine::DisplayContext context;
    const engine::ParamSet targets = e.paramSet(current);
    for (int k = 0; k < engine::kParamCount; ++k)
        context.targets[static_cast<size_t>(k)] = targets[static_cast<size_t>(k)];
    context.targets[engine::ChangeTime] = e.changeTime();
    const sounds::Sound& sound = *e.stream(current).sound;
    context.builtinSound = parts_->table.isBuiltin(sound);
    context.soundSeconds = sound.sampleRate > 0 ? static_cast<double>(sound.frames) / sound.sampleRate : 0.0;
    for (int s = 0; s < engine::kMaxStreams; ++s) {
        const engine::Stream& stream = e.stream(s);
        if (stream.stateNow() > 0)
            context.totalDensity += engine::grainDensity(stream.param(engine::Freq).target.load(),
                                                         stream.param(engine::GrainLen).target.load());
    }
    const engine::ParamDisplayTexts texts = engine::displayParam(param, context);
    if (texts.value)
        view_.setStatusText(kValuePart, *texts.value);
    if (texts.derived)
        view_.setStatusText(kDerivedPart, *texts.derived);
    if (texts.changeTimeLabel)
        view_.setChangeTimeText(*texts.changeTimeLabel);
}

void AppCore::scroll(int param, engine::ScrollCode code, int16_t thumb, engine::ScrollModifiers modifiers) {
    if (param < 0 || param >= engine::kParamCount)
        return;
    engine::Engine& e = parts_->engine;
    const engine::ScrollResult result = engine::scrollAction(
        param, code, positions_[static_cast<size_t>(param)], thumb, modifiers, e.changeTime());
    if (!result.changes)
        return;
    if (param != lastTouchedParam_) {
        showStatus(std::string(engine::paramSpec(param).tooltip));
        lastTouchedParam_ = param;
    }
    focusControl(kFirstScrollBar + param);
    e.setParameter(e.currentStream(), param, result.value, result.changeTime);
    positions_[static_cast<size_t>(param)] = result.position;
    view_.setScrollPosition(param, result.position);
    refreshDisplay(param);
}

void AppCore::moveScrollBarFromMidi(int param, int32_t position) {
    if (param < 0 || param >= engine::kParamCount || positions_[static_cast<size_t>(param)] == position)
        return;
    positions_[static_cast<size_t>(param)] = position;
    view_.setScrollPosition(param, position);
    refreshDisplay(param);
}

void AppCore::focusControl(int id) {
    if (id == focusedControl_)
        return;
    focusedControl_ = id;
    view_.setFocusedControl(id);
}

// ---- Messages

void AppCore::dispatchWaiting() {
    while (const auto message = queue_.take())
        dispatch(*message);
}

void AppCore::runUntil(const std::function<bool()>& done, std::chrono::milliseconds tick) {
    while (!done()) {
        if (const auto message = queue_.waitAndTake(tick))
            dispatch(*message);
        else
            checkDevice();
    }
}

void AppCore::checkDevice() {
    Parts& p = *parts_;
    if (p.play.playing())
        p.play.checkDevice();
    showRecordingFailure();
}

void AppCore::showRecordingFailure() {
    // A recording that failed on its writer thread, or ended with its device, leaves its text.
    if (const char* failure = parts_->recorder.takeStatusText()) {
        showStatus(failure);
        updateFileButton();
    }
}

void AppCore::dispatch(const platform::Message& message) {
    Parts& p = *parts_;
    p.messages.dispatch(message);
    showRecordingFailure();
    if (!p.play.playing())
        p.gesture.playStopped();
}

void AppCore::dispatchOther(const platform::Message& message) {
    Parts& p = *parts_;
    const uint32_t n = message.number;
    switch (n) {
        case platform::kMsgProgramChange:
            p.panel.programChange(static_cast<int>(message.first), static_cast<int>(message.second));
            p.gesture.refreshCorners();
            break;
        case platform::kMsgMidiMonitor:
            showStatus(midi::formatMonitorLine(static_cast<uint32_t>(message.first)));
            break;
        case platform::kMsgGestureRedraw:
            p.gesture.redraw();
            break;
        case kMsgLargeSoundQuestion: {
            bool load = false;
            modal([&] {
                load = view_.ask(message.text, sounds::kLargeSoundTitle, Buttons::OkCancel) == Reply::Ok;
            });
            p.relay.answer(message.first, load);
            break;
        }
        case kMsgDeferredCommand:
            command(static_cast<int>(message.first));
            break;
        default:
            if (platform::isMoveScrollBarMessage(n))
                moveScrollBarFromMidi(static_cast<int>(n - platform::kMsgMoveScrollBar),
                                      static_cast<int32_t>(message.first));
            break;
    }
}

// ---- Sounds

void AppCore::loadSoundFile(const std::string& path) {
    Parts& p = *parts_;
    const int stream = p.engine.currentStream();
    const sounds::SoundLoader::Request request = p.loader.request(path, stream, p.engine.outputFormat().rate);
    if (request.outcome == sounds::SoundLoader::Outcome::InMemory)
        soundLoaded(stream, p.table.indexOf(*request.sound));
}

void AppCore::soundLoaded(int64_t streamIndex, int64_t record) {
    Parts& p = *parts_;
    platform::Message message{platform::kMsgSoundLoaded, streamIndex, record, {}};
    sounds::Sound* sound = p.loader.loadedSound(message);
    if (sound == nullptr || streamIndex < 0 || streamIndex >= engine::kMaxStreams)
        return;
    const int stream = static_cast<int>(streamIndex);
    p.engine.attachSound(stream, *sound);
    p.recentFiles.add(sound->path);
    p.user.settings().soundfileInFolder = folderOf(sound->path);
    p.tabs->relabel();
    if (stream == p.engine.currentStream()) {
        p.tabs->describeCurrent();
        refreshDisplay(engine::Start);
    }
}

void AppCore::useTestTone() {
    Parts& p = *parts_;
    const int stream = p.engine.currentStream();
    p.engine.useTestTone(stream);
    p.tabs->selectStream(stream);
}

// ---- Play and recording

void AppCore::playToggle(int reason) {
    parts_->play.togglePlay(reason);
    if (!parts_->play.playing())
        parts_->gesture.playStopped();
}

void AppCore::playButton() {
    playToggle(1);
}

void AppCore::fileButton() {
    toggleRecording();
}

void AppCore::toggleRecording() {
    Parts& p = *parts_;
    StoredSettings& settings = p.user.settings();
    output::RecordingOptions& options = p.recording.options();
    options.bits = static_cast<int>(settings.recording.bytesPerSample * 8);
    options.numbering = settings.sound.numberedFiles;
    options.onePerStream = settings.sound.oneFilePerStream;
    options.folder = settings.soundfileOutFolder;
    options.counter = static_cast<int32_t>(settings.recording.lastFileNumber);
    options.maxCount = static_cast<int32_t>(settings.recording.soundfileMaxCount);

    std::array<bool, output::kRecordingSlots> inUse{};
    for (int s = 0; s < engine::kMaxStreams; ++s)
        inUse[static_cast<size_t>(s)] = p.engine.stream(s).stateNow() != engine::Empty;
    const bool wasRecording = p.recorder.recording();
    const bool on =
        p.recording.toggle({p.engine.outputFormat().rate, static_cast<uint32_t>(p.engine.outChannels()),
                            inUse, p.engine.frameClock()});
    if (options.counter != static_cast<int32_t>(settings.recording.lastFileNumber)) {
        settings.recording.lastFileNumber = static_cast<uint32_t>(options.counter);
        p.user.storeSoundOptions(encodeSoundOptions(settings));
    }
    if (on && !wasRecording)
        p.engine.setRecordingSink(&p.recorder);
    else if (!on)
        p.engine.setRecordingSink(nullptr);
    if (!on && !wasRecording && !p.recorder.openFailures().empty())
        view_.warn(p.recorder.openFailures(), "");
    updateFileButton();
}

void AppCore::updateFileButton() {
    const bool on = parts_->recorder.recording();
    view_.setButton(kFileButton, {kFileButtonLabel, on});
}

bool AppCore::recordingFormatLocked() const {
    return playing() || recording();
}

void AppCore::cancel(bool escHeld) {
    if (escHeld) {
        if (playing())
            playToggle(1);
        return;
    }
    exit();
}

void AppCore::setQuitKeyHeld(bool held) {
    parts_->engine.setQuitKeyHeld(held);
}

// ---- Streams

void AppCore::newButton() {
    parts_->tabs->newStream();
}

void AppCore::stemButton() {
    parts_->tabs->endStream();
}

void AppCore::tabSelected(int tab) {
    parts_->tabs->selectTab(tab);
}

void AppCore::tabContextMenu(int tab) {
    const std::vector<ContextMenuItem> items = parts_->tabs->contextMenu(tab);
    if (!items.empty())
        view_.showContextMenu(items);
}

// ---- Bank panel

void AppCore::slotClick(int id, bool shift, bool ctrl) {
    parts_->panel.slotClick(id, shift, ctrl);
    parts_->gesture.refreshCorners();
}

void AppCore::bankButton(int id) {
    parts_->panel.bankButton(id);
}

void AppCore::panelButton(int id) {
    patches::PatchPanel& panel = parts_->panel;
    switch (id) {
        case patches::kLoadButton:
            panel.load();
            break;
        case patches::kSaveButton:
            panel.save();
            break;
        case patches::kClearPatchButton:
            panel.clearPatch();
            break;
        case patches::kCloseButton:
            panel.close();
            break;
        default:
            return;
    }
    parts_->gesture.refreshCorners();
}

void AppCore::bankNameLostFocus(const std::string& text) {
    parts_->panel.nameFieldLostFocus(text);
}

void AppCore::enablePanelButtons(bool enabled) {
    view_.setButton(patches::kLoadButton, {"Load", false, enabled});
    view_.setButton(patches::kClearPatchButton, {"Clear Pa&tch", false, enabled});
    view_.setButton(patches::kCloseButton, {"Close", false, enabled});
}

// ---- Dialogs

void AppCore::modal(const std::function<void()>& run) {
    parts_->gesture.modalDialog(true);
    run();
    parts_->gesture.modalDialog(false);
    view_.setFocusedControl(focusedControl_);
}

void AppCore::help(const std::string& activeWindowTitle) {
    view_.openHelp(helpKeyword(activeWindowTitle));
}

void AppCore::newLogin() {
    Parts& p = *parts_;
    LoginDialog dialog(p.store, p.user.userName(), p.user.settings().doStartupLogin);
    bool ended = false;
    modal([&] { ended = view_.runLoginDialog(dialog); });
    if (!ended)
        return;
    p.user.setUserName(dialog.userName());
    p.user.settings().doStartupLogin = dialog.doStartupLogin();
    p.user.loadSettings();
    applySettingsToEngine();
    p.midiSettings.loadStored(p.user.settings().midi);
}

void AppCore::ioOptions() {
    Parts& p = *parts_;
    if (!p.midiPort) {
        view_.warn("No MIDI service is available for the options dialog.", "");
        return;
    }
    IoOptionsDialog dialog({p.user.settings().sound, p.midiSettings, p.audio, p.alsaDevices, p.play, p.engine,
                            &p.recorder, *p.midiPort},
                           [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); });
    modal([&] { view_.runIoOptionsDialog(dialog); });
    applySettingsToEngine();
}

void AppCore::midiResponse() {
    midi::MidiResponseDialog dialog(parts_->midiSettings);
    modal([&] { view_.runMidiResponseDialog(dialog); });
}

void AppCore::chooseOutputFolder() {
    Parts& p = *parts_;
    std::string start = p.user.settings().soundfileOutFolder;
    // The chooser's starting folder is kept under DirBrowser; the program never writes it.
    const auto stored = p.store.findValue("Software\\Wavecraft\\Frisson\\DirBrowser", "SF Folder1");
    if (stored && stored->type == platform::SettingsValueType::Text && !stored->text.empty())
        start = stored->text;
    std::optional<std::string> folder;
    modal([&] { folder = view_.chooseFolder(start); });
    if (!folder)
        return;
    std::string chosen = *folder;
    showStatus("Soundfile path: " + chosen);
    while (chosen.size() > 1 && chosen.back() == '/')
        chosen.pop_back();
    p.user.settings().soundfileOutFolder = chosen;
}

// ---- Gesture window

void AppCore::openGesture() {
    parts_->gesture.openCommand(view_.gesturePadRect());
    enablePanelButtons(false);
}

void AppCore::closeGesture() {
    parts_->gesture.close();
    showStreamParameters();
    enablePanelButtons(true);
}

}  // namespace shell
