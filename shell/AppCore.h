#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "engine/Engine.h"
#include "engine/ParamScroll.h"
#include "midi/MidiInputBackend.h"
#include "output/AlsaDevices.h"
#include "output/AudioApi.h"
#include "platform/MessageQueue.h"
#include "shell/GesturePad.h"
#include "shell/MessageLoop.h"
#include "shell/View.h"

namespace output {
class PlayControl;
class AudioSystem;
class Recorder;
struct SoundSettings;
}  // namespace output
namespace sounds {
struct Sound;
}

namespace shell {

class StreamTabs;

// What differs between the window, `frisson play` and the tests: the sound
// server, the MIDI service, the ALSA device list, the settings file and the
// clock the gesture pad records with.
struct CoreServices {
    output::AudioApiFactory audioApi;
    std::function<std::unique_ptr<midi::MidiInputBackend>()> midiBackend;
    std::function<output::AlsaDeviceTable()> alsaDevices;
    std::string settingsFile;     // empty: the user's settings file
    std::ostream* log = nullptr;  // device diagnostics; null: stderr
    GestureClocks gestureClocks;  // empty: the steady clocks
    bool openMidi = true;         // false: MIDI input stays closed at start
};

// The services of a real desktop: RtAudio, RtMidi, the ALSA device hints.
CoreServices desktopServices();

// Sends stderr to "FizzLog.txt" in ${XDG_STATE_HOME:-~/.local/state}/frisson/,
// truncated, together with what RtAudio reports while it starts; returns the
// file's path, or nothing when it cannot be opened (stderr then stays where it was).
std::optional<std::string> redirectDiagnosticsToLog();

// The application core: every operation of the main window, its stream tabs,
// its bank panel, its menus and dialogs, and the gesture pad, as logic. The
// window delivers the user's actions as calls; everything shown goes through
// the View. Thread: main, unless stated.
class AppCore : public MessagePump, private SoundArrivals {
  public:
    AppCore(View& view, CoreServices services);
    ~AppCore() override;
    AppCore(const AppCore&) = delete;
    AppCore& operator=(const AppCore&) = delete;

    // Start-up: the first stream and its tab, the default patch and bank A, the
    // login dialog when wanted, folders, settings, sound devices, MIDI input,
    // the change-time text, the session's banks, the output folder check.
    void start();
    // The exit sequence: settings saved, every modified bank saved (a cancel
    // keeps the program running: false), the session recorded, then the
    // shut-down. True when the program ends.
    bool exit();
    // A fatal error: the fatal box, the shut-down, the window ends with -1.
    void fatal(const std::string& text);
    bool ended() const { return ended_; }

    // ---- User actions
    void command(int id);
    // The menu is about to open: every item's state goes to the view.
    void menuOpening();
    // A menu item is highlighted: its tooltip (or a recent file's path) in status part 1.
    void menuItemHighlighted(int id);
    void playButton();
    void fileButton();
    void newButton();
    void stemButton();
    // Esc or the close box: with Esc held, a play toggle while sound plays and nothing otherwise;
    // without it, the exit sequence.
    void cancel(bool escHeld);
    // F1 (or command 83) with the title of the active window.
    void help(const std::string& activeWindowTitle);
    // The Q key (read by the engine to end play from the keyboard).
    void setQuitKeyHeld(bool held);
    // A scroll action on parameter `param`'s bar.
    void scroll(int param, engine::ScrollCode code, int16_t thumb, engine::ScrollModifiers modifiers);
    void focusControl(int id);
    // The gesture window's Close button: the window goes, the rows show the current stream again.
    void closeGesture();
    // Patch bank panel.
    void slotClick(int id, bool shift, bool ctrl);
    void bankButton(int id);
    void panelButton(int id);
    void bankNameLostFocus(const std::string& text);
    // Stream tabs: a tab chosen (by its position), a right-click on a tab.
    void tabSelected(int tab);
    void tabContextMenu(int tab);

    // ---- Messages other threads posted
    // Handles every message waiting, without waiting.
    void dispatchWaiting();
    // Dispatches messages until `done()` holds, waiting at most `tick` at a time.
    void runUntil(const std::function<bool()>& done, std::chrono::milliseconds tick) override;
    void dispatch(const platform::Message& message);
    platform::MessageQueue& queue() { return queue_; }
    // Ends play, and a recording with it, when the sound device has gone away, and shows
    // what a recording that failed left for the status line. The window calls it on a
    // timer; runUntil on every turn.
    void checkDevice();

    // ---- A performance without a window (`frisson play`)
    // The start-up of a command: the first stream, the user's settings and the
    // session's banks (for program changes); no login, no device check, no questions.
    void startWithoutWindow();
    // The live output settings; applySoundSettings() makes the engine follow them
    // (false, with the fatal box shown, when the buffers cannot be allocated).
    output::SoundSettings& soundSettings();
    bool applySoundSettings();
    output::Recorder& recorder();
    output::AudioSystem& audioSystem();
    const output::AlsaDeviceTable& alsaDevices() const;
    // Loads a sound file for stream `stream` and waits for it, handling the other
    // messages meanwhile. The record, or nullptr with the loader's text in `error`.
    sounds::Sound* loadSoundAndWait(const std::string& path, int stream, std::string& error);
    // Opens the first MIDI source whose name contains `part`: its name, or nothing
    // with the reason in `error`.
    std::optional<std::string> openMidiSource(const std::string& part, std::string& error);

    // ---- State the window and the tests read
    engine::Engine& engine();
    GesturePad& gesture();
    StreamTabs& tabs();
    output::PlayControl& playControl();
    const std::string& programFolder() const { return programFolder_; }
    bool playing() const;
    bool recording() const;
    int32_t scrollPosition(int param) const { return positions_[static_cast<size_t>(param)]; }

    // Moves every parameter row to the current stream's targets and refreshes the display.
    void showStreamParameters();
    // Shows parameter `param`'s value texts for the current stream.
    void refreshDisplay(int param);
    // Part 1 of the status bar; with `clearValues` also parts 2 and 3.
    void showStatus(const std::string& text, bool clearValues = false);

  private:
    struct Parts;
    class Adapters;

    void loadSoundFile(const std::string& path);
    // The loader's messages, routed by the message loop.
    void soundLoaded(int64_t stream, int64_t record) override;
    void soundLoadFailed(const std::string& text) override { showStatus(text); }
    // Everything the message loop does not route itself.
    void dispatchOther(const platform::Message& message);
    void useTestTone();
    void chooseOutputFolder();
    void toggleRecording();
    void updateFileButton();
    void showRecordingFailure();
    void playToggle(int reason);
    void applySettingsToEngine();
    // Start-up steps shared by the window and a command.
    void showFirstStream();
    void loadUserSettings();
    void loadSessionBanks();
    void newLogin();
    void ioOptions();
    void midiResponse();
    void openGesture();
    void shutDown();
    void moveScrollBarFromMidi(int param, int32_t position);
    void enablePanelButtons(bool enabled);
    void modal(const std::function<void()>& run);
    bool recordingFormatLocked() const;

    View& view_;
    CoreServices services_;
    platform::MessageQueue queue_;
    std::unique_ptr<Parts> parts_;
    std::array<int32_t, engine::kParamCount> positions_{};
    int lastTouchedParam_ = -1;
    int focusedControl_ = 0;
    std::string programFolder_;
    bool ended_ = false;
    bool shutDown_ = false;
    bool windowless_ = false;
};

}  // namespace shell
