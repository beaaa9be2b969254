#include "shell/MenuCommands.h"

namespace shell {
namespace {

struct MenuText {
    int id;
    std::string_view label;
    std::string_view tooltip;
};

constexpr MenuText kTexts[] = {
    {kCmdLoadSound, "Load &Wav Soundfile...", "Load a WAV/AIFF soundfile into memory for chopping"},
    {kCmdTestTone, "Use &Test Tone", "Use 50 Hz sine wave as base sound"},
    {kCmdNewLogin, "New &Login...", ""},
    {kCmdExit, "E&xit\tEsc", "Quits program"},
    {kCmdGestureWindow, "Open &Gesture Window",
     "Open window of four patches -- mix between patches by mouse control"},
    {kCmdOutputFolder, "Select Soundfile &Folder...",
     "Select the folder to which Fizz output soundfile is written"},
    {kCmdNumberFiles, "&Number Soundfiles (00...99)",
     "Switch between using numbered output files (01-99) or reusing the same file every time."},
    {kCmdFilePerStream, "&One File Per Stream", ""},
    {kCmd16Bit, "Write &16-bit Soundfiles", "Write 16-bit output soundfiles."},
    {kCmd24Bit, "Write &24-bit Soundfiles", "Write 24-bit output soundfiles."},
    {kCmd32Bit, "Write &32-bit (float) Soundfiles", "Write 32-bit output soundfiles."},
    {kCmdFineMode, "Controller &14-bit Mode", "Select mode of fine controllers (36-64)"},
    {kCmdProgramChange, "Use MIDI &Program Change", "Respond to MIDI program changes"},
    {kCmdMidiResponse, "MIDI &Response Dialog...",
     "Configuration of MIDI note/pitchbend and velocity/aftertouch response"},
    {kCmdIoOptions, "&Soundcard I/O Options...",
     "Opens dialog to configure MIDI input and sound output options"},
    {kCmdLeftChannel, "&Left Channel", "Input from left channel of sound file"},
    {kCmdRightChannel, "&Right Channel", "Input from right channel of sound file"},
    {kCmdHardSync, "&Hard Sync", "Force a new grain when soundfile loop wraps around"},
    {kCmdResetLoop, "&Reset Loop On Play", "Restart the sound from beginning when playback begins"},
    {kCmdSoftStop, "&Soft Stop Play", "Fade out at stop play to avoid clicks in output"},
    {kCmdLinear, "&Linear", ""},
    {kCmdCubic, "&Cubic", ""},
    {kCmdSpline, "&Spline", ""},
    {kCmdHelp, "&Help\tF1", ""},
    {kCmdAbout, "&About Frisson", "About Fizz"},
};

const MenuText* find(int id) {
    for (const MenuText& text : kTexts)
        if (text.id == id)
            return &text;
    return nullptr;
}

}  // namespace

std::string_view menuLabel(int id) {
    const MenuText* text = find(id);
    return text != nullptr ? text->label : std::string_view{};
}

std::string_view menuTooltip(int id) {
    const MenuText* text = find(id);
    return text != nullptr ? text->tooltip : std::string_view{};
}

}  // namespace shell
