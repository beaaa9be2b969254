#pragma once

#include <string_view>

namespace shell {

// Menu command ids of the main window.
enum MenuCommand : int {
    kCmdHelp = 83,
    kCmdLoadSound = 40001,
    kCmdExit = 40003,
    kCmdIoOptions = 40004,
    kCmdAbout = 40006,
    kCmdTestTone = 40007,
    kCmdGestureWindow = 40010,
    kCmdLeftChannel = 40014,
    kCmdRightChannel = 40015,
    kCmdNumberFiles = 40016,
    kCmdProgramChange = 40017,
    kCmdMidiResponse = 40018,
    kCmd16Bit = 40027,
    kCmd24Bit = 40028,
    kCmd32Bit = 40029,
    kCmdResetLoop = 40030,
    kCmdHardSync = 40031,
    kCmdSoftStop = 40033,
    kCmdOutputFolder = 40035,
    kCmdNewLogin = 40042,
    kCmdFineMode = 40046,
    kCmdLinear = 40049,
    kCmdCubic = 40050,
    kCmdSpline = 40052,
    kCmdFilePerStream = 40053,
};

// Stream commands of a tab's context menu: + stream index.
inline constexpr int kCmdMuteStream = 4100;
inline constexpr int kCmdUnmuteStream = 4200;
inline constexpr int kCmdSoloStream = 4300;
inline constexpr int kCmdUnsoloStream = 4400;
inline constexpr int kCmdUnmuteAll = 4500;

// The popups whose state the menu sets, by their labels.
inline constexpr const char* kOutputOptionsPopup = "Output Sound&file Options";
inline constexpr const char* kStereoInputPopup = "&Stereo Input";
inline constexpr const char* kGrainOptionsPopup = "&Grain Generation Options";
inline constexpr const char* kInterpolationPopup = "&Interpolation";

// Every menu command id the menu bar holds, in menu order.
inline constexpr int kMenuCommands[] = {
    kCmdLoadSound,    kCmdTestTone,     kCmdNewLogin,      kCmdExit,         kCmdGestureWindow,
    kCmdOutputFolder, kCmdNumberFiles,  kCmdFilePerStream, kCmd16Bit,        kCmd24Bit,
    kCmd32Bit,        kCmdFineMode,     kCmdProgramChange, kCmdMidiResponse, kCmdIoOptions,
    kCmdLeftChannel,  kCmdRightChannel, kCmdHardSync,      kCmdResetLoop,    kCmdSoftStop,
    kCmdLinear,       kCmdCubic,        kCmdSpline,        kCmdHelp,         kCmdAbout,
};

// The label of a menu command as the menu bar shows it; empty for an unknown id.
std::string_view menuLabel(int id);
// The text status part 1 shows while the item is highlighted; empty when it has none.
std::string_view menuTooltip(int id);

}  // namespace shell
