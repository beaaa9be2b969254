// The main window's menu: what each command does, the state of every item
// when the menu opens, and the tooltips shown while an item is highlighted.
#include <filesystem>

#include "midi/MidiControlSettings.h"
#include "output/PlayControl.h"
#include "output/Recorder.h"
#include "patches/PatchPanel.h"
#include "shell/CoreParts.h"
#include "shell/FileList.h"
#include "shell/GesturePad.h"
#include "shell/MenuCommands.h"
#include "shell/StreamTabs.h"
#include "sounds/Sound.h"
#include "sounds/SoundTable.h"

namespace shell {

namespace {

constexpr const char* kSoundFileTitle = "Sound file";
constexpr const char* kSoundFileExtensions = "wav; aif; aiff; aifc";

}  // namespace

void AppCore::command(int id) {
    Parts& p = *parts_;
    StoredSettings& settings = p.user.settings();
    engine::Engine& e = p.engine;
    const int current = e.currentStream();
    if (id >= FileList::kFirstCommandId && id <= FileList::kLastHandledCommandId) {
        const auto path = p.recentFiles.pathForCommand(id);
        std::error_code error;
        if (path && std::filesystem::is_regular_file(*path, error))
            loadSoundFile(*path);
        return;
    }
    if (p.tabs->streamCommand(id))
        return;
    switch (id) {
        case kCmdLoadSound: {
            std::optional<std::string> path;
            modal([&] {
                path = view_.chooseFile(kSoundFileTitle, {kSoundFileTitle, kSoundFileExtensions},
                                        settings.soundfileInFolder);
            });
            if (path) {
                settings.soundfileInFolder = std::filesystem::path(*path).parent_path().string();
                loadSoundFile(*path);
            }
            break;
        }
        case kCmdTestTone:
            useTestTone();
            break;
        case kCmdNewLogin:
            newLogin();
            break;
        case kCmdExit:
            exit();
            break;
        case kCmdGestureWindow:
            openGesture();
            break;
        case kCmdOutputFolder:
            chooseOutputFolder();
            break;
        case kCmdNumberFiles:
            settings.sound.numberedFiles = !settings.sound.numberedFiles;
            break;
        case kCmdFilePerStream:
            settings.sound.oneFilePerStream = !settings.sound.oneFilePerStream;
            e.setPerStreamOutput(settings.sound.oneFilePerStream);
            break;
        case kCmd16Bit:
        case kCmd24Bit:
        case kCmd32Bit:
            settings.recording.bytesPerSample = static_cast<uint32_t>(2 + (id - kCmd16Bit));
            break;
        case kCmdFineMode:
            p.midiSettings.relativeFine = !p.midiSettings.relativeFine.load();
            break;
        case kCmdProgramChange:
            p.midiSettings.programChangeOn = !p.midiSettings.programChangeOn.load();
            break;
        case kCmdMidiResponse:
            midiResponse();
            break;
        case kCmdIoOptions:
            ioOptions();
            break;
        case kCmdLeftChannel:
            e.toggleLeftChannel(current);
            break;
        case kCmdRightChannel:
            e.toggleRightChannel(current);
            break;
        case kCmdHardSync:
            e.setHardSync(current, e.stream(current).hardSync.load() == 0);
            break;
        case kCmdResetLoop:
            settings.sound.resetLoopOnPlay = !settings.sound.resetLoopOnPlay;
            e.setResetLoopOnPlay(settings.sound.resetLoopOnPlay);
            break;
        case kCmdSoftStop:
            settings.sound.softStop = !settings.sound.softStop;
            e.setSoftStop(settings.sound.softStop);
            break;
        case kCmdLinear:
            e.setInterpolation(engine::Interpolation::Linear);
            break;
        case kCmdCubic:
            e.setInterpolation(engine::Interpolation::Cubic);
            break;
        case kCmdSpline:
            e.setInterpolation(engine::Interpolation::Spline);
            break;
        case kCmdHelp:
            view_.openHelp(std::nullopt);
            break;
        case kCmdAbout:
            modal([&] {
                view_.about(
                    "Frisson\nA real-time granular synthesiser for the Linux desktop.\n\n"
                    "Frisson chops a sound into short enveloped grains and plays them, "
                    "overlapping, from up to eight streams at once.");
            });
            break;
        default:
            break;
    }
}

void AppCore::menuOpening() {
    Parts& p = *parts_;
    const StoredSettings& settings = p.user.settings();
    const engine::Engine& e = p.engine;
    const engine::Stream& stream = e.stream(e.currentStream());
    const bool isPlaying = playing();
    const bool isRecording = recording();
    const bool busy = isPlaying || isRecording;

    view_.setMenuItem(kCmdMidiResponse, {!isPlaying});
    view_.setMenuItem(kCmdIoOptions, {!busy});
    view_.setMenuPopupEnabled(kOutputOptionsPopup, !busy);
    view_.setMenuPopupEnabled(kGrainOptionsPopup, !busy);
    view_.setMenuPopupEnabled(kInterpolationPopup, !busy);

    // The stereo choice is there for a two-channel sound, while playing too.
    const bool stereoSound = stream.sound->channels == 2;
    view_.setMenuPopupEnabled(kStereoInputPopup, stereoSound);
    const int32_t channels = stream.channelSelect.load();
    view_.setMenuItem(kCmdLeftChannel, {stereoSound, (channels & engine::LeftChannel) != 0});
    view_.setMenuItem(kCmdRightChannel, {stereoSound, (channels & engine::RightChannel) != 0});

    const auto mode = e.interpolation();
    const auto interpolationItem = [&](engine::Interpolation item) {
        return MenuItemState{!busy, !busy && mode == item, true};
    };
    view_.setMenuItem(kCmdLinear, interpolationItem(engine::Interpolation::Linear));
    view_.setMenuItem(kCmdCubic, interpolationItem(engine::Interpolation::Cubic));
    view_.setMenuItem(kCmdSpline, interpolationItem(engine::Interpolation::Spline));

    const bool sine = p.table.isBuiltin(*stream.sound);
    view_.setMenuItem(kCmdTestTone, {!sine, sine, true});
    view_.setMenuItem(kCmdLoadSound, {true, !sine, true});

    view_.setMenuItem(kCmdNumberFiles, {!isRecording, settings.sound.numberedFiles});
    const uint32_t bytes = settings.recording.bytesPerSample;
    view_.setMenuItem(kCmd16Bit, {true, bytes == 2});
    view_.setMenuItem(kCmd24Bit, {true, bytes == 3});
    view_.setMenuItem(kCmd32Bit, {true, bytes == 4});
    view_.setMenuItem(kCmdFilePerStream, {true, settings.sound.oneFilePerStream});
    view_.setMenuItem(kCmdResetLoop, {true, settings.sound.resetLoopOnPlay});
    view_.setMenuItem(kCmdSoftStop, {true, settings.sound.softStop});
    view_.setMenuItem(kCmdHardSync, {true, stream.hardSync.load() != 0});
    view_.setMenuItem(kCmdProgramChange, {true, p.midiSettings.programChangeOn.load()});
    view_.setMenuItem(kCmdFineMode, {true, !p.midiSettings.relativeFine.load()});
    view_.setMenuItem(kCmdNewLogin, {true});
    p.recentFiles.attach(&p.adapters);
}

void AppCore::menuItemHighlighted(int id) {
    if (const auto path = parts_->recentFiles.pathForCommand(id))
        view_.setStatusText(kMessagePart, *path);
    else
        view_.setStatusText(kMessagePart, std::string(menuTooltip(id)));
    view_.setStatusText(kValuePart, "");
}

}  // namespace shell
