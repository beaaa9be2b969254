#include "shell/UserSettings.h"

#include <array>
#include <cstdio>

#include "shell/Registry.h"
#include "shell/SettingsWords.h"

namespace shell {

namespace {

constexpr const char* kDoStartupLogin = "Do startup login";
constexpr const char* kVersion = "Version";
constexpr const char* kVersionWritten = "Jul 25 2013";
constexpr const char* kDeviceName = "soundout.devicename";
constexpr const char* kSelectedDevices = "Selected devices";
constexpr const char* kSampleRate = "Sample rate";
constexpr const char* kSoundBuffers = "Sound buffers";
constexpr const char* kSoundOptions = "Sound options";
constexpr const char* kSoundfileMaxCount = "Soundfile max count";
constexpr const char* kMidiInputChannel = "MIDI input channel";
constexpr const char* kMidiMonitor = "MIDI monitor";
constexpr std::array<const char*, 7> kMidiResponse = {
    "MIDI response (0)", "MIDI response (1)", "MIDI response (2)", "MIDI response (3)",
    "MIDI response (4)", "MIDI response (5)", "MIDI response (6)"};
constexpr const char* kSoundfileInFolder = "Soundfile in folder";
constexpr const char* kSoundfileOutFolder = "Soundfile out folder";
constexpr const char* kInputDevice = "soundin.selectedDev";
constexpr const char* kInputRate = "soundin.framerate";
constexpr const char* kInputChannels = "soundin.stereo";
constexpr const char* kInputFrames = "soundin.framecount";
constexpr const char* kInputAppBuffer = "soundin.appbuffer";

constexpr uint32_t kDefaultSelectedDevices = 0x10000;
constexpr uint32_t kDefaultSoundBuffers = 0x10004;
constexpr uint32_t kDefaultSoundOptions = 79;
constexpr uint32_t kDefaultMidiMonitor = 3;
constexpr int32_t kMinSoundfileMaxCount = 2;
constexpr uint32_t kOutputBufferCount = 4;
constexpr uint32_t kInputBufferCount = 4;

// The device name as the settings keep it: after the first ")" and the blanks after it.
std::string storedDeviceName(const std::string& name) {
    const size_t close = name.find(')');
    if (close == std::string::npos)
        return name;
    const size_t start = name.find_first_not_of(" \t", close + 1);
    return start == std::string::npos ? std::string() : name.substr(start);
}

std::string userKeyOf(const std::string& user) {
    return std::string(kBaseKey) + std::string(kUsersKey) + "\\" + user;
}

}  // namespace

UserSettings::UserSettings(platform::SettingsStore& store, FileList& recentFiles, WarningBox warn)
    : store_(store), recentFiles_(recentFiles), warn_(std::move(warn)) {}

void UserSettings::setUserName(std::string_view name) {
    const std::string_view cut = name.substr(0, kMaxUserNameLength);
    userName_ = cut == kDefaultUser ? std::string() : std::string(cut);
}

std::string UserSettings::settingsKey() const {
    return userName_.empty() ? std::string(kBaseKey) : userKeyOf(userName_);
}

bool UserSettings::startupLoginWanted() {
    try {
        Registry base(store_, kBaseKey);
        settings_.doStartupLogin = base.readDword(kDoStartupLogin, 0) != 0;
    } catch (const RegistryError&) {
        settings_.doStartupLogin = false;
    }
    return settings_.doStartupLogin;
}

void UserSettings::reportLoadProblem() {
    if (!store_.loadProblem())
        return;
    std::fprintf(stderr, "settings: %s\n", store_.loadProblem()->c_str());
    store_.clearLoadProblem();
    warn_(std::string(kSettingsReadWarning), "");
}

void UserSettings::loadSettings() {
    reportLoadProblem();
    if (!userName_.empty() && !store_.keyExists(userKeyOf(userName_))) {
        saveSettings();
        recentFiles_.loadRecent(store_, settingsKey());
        return;
    }
    recentFiles_.loadRecent(store_, settingsKey());
    try {
        readValues();
    } catch (const RegistryError&) {
        warn_(std::string(kSettingsReadWarning), "");
    }
    settings_.sound.bufferCount = kOutputBufferCount;
    settings_.input.bufferCount = kInputBufferCount;
}

void UserSettings::readValues() {
    Registry key(store_, kBaseKey);
    // Settings are complete when a version was written; a logged-in user's
    // version is in their own key, since the base key gets one only without login.
    bool complete = !key.readText(kVersion, "").empty();
    if (!userName_.empty()) {
        key.enter(std::string(kUsersKey) + "\\" + userName_);
        complete = complete || !key.readText(kVersion, "").empty();
    }
    StoredSettings& s = settings_;
    const std::string deviceName = key.readText(kDeviceName, "");
    if (!deviceName.empty())
        s.sound.deviceName = deviceName;
    decodeSelectedDevices(key.readDword(kSelectedDevices, kDefaultSelectedDevices), complete, s);
    s.sound.sampleRate = key.readDword(kSampleRate, output::kDefaultSampleRate);
    if (complete)
        decodeSoundBuffers(key.readDword(kSoundBuffers, kDefaultSoundBuffers), s);
    decodeSoundOptions(key.readDword(kSoundOptions, kDefaultSoundOptions), s);
    const auto maxCount = static_cast<int32_t>(key.readDword(kSoundfileMaxCount, kDefaultSoundfileMaxCount));
    s.recording.soundfileMaxCount =
        maxCount < kMinSoundfileMaxCount ? kDefaultSoundfileMaxCount : static_cast<uint32_t>(maxCount);
    s.midi.channel = static_cast<int32_t>(key.readDword(kMidiInputChannel, 0));
    midi::unpackMonitorFlags(key.readDword(kMidiMonitor, kDefaultMidiMonitor), s.midi);
    s.midi.responseOptions = key.readDword(kMidiResponse[0], midi::kDefaultResponseOptions);
    for (int row = 0; row < midi::kResponseRowCount; ++row) {
        const char* name = kMidiResponse[static_cast<size_t>(row + 1)];
        midi::ResponseRow word = key.readDword(name, 0);
        if (!midi::hasValidTarget(word)) {
            std::fprintf(stderr,
                         "settings: \"%s\" names response target %u, which does not exist; row dropped\n",
                         name, midi::responseTargetIndex(word));
            word = 0;
        }
        s.midi.responseRows[static_cast<size_t>(row)] = word;
    }
    s.soundfileInFolder = key.readText(kSoundfileInFolder, "");
    s.soundfileOutFolder = key.readText(kSoundfileOutFolder, "");
    s.input.selectedDev = key.readDword(kInputDevice, 0);
    s.input.framerate = key.readDword(kInputRate, SoundInputSettings{}.framerate);
    s.input.stereo = key.readDword(kInputChannels, SoundInputSettings{}.stereo);
    s.input.framecount = key.readDword(kInputFrames, SoundInputSettings{}.framecount);
    s.input.appbuffer = key.readDword(kInputAppBuffer, SoundInputSettings{}.appbuffer);
}

void UserSettings::saveSettings() {
    try {
        Registry key(store_, kBaseKey);
        key.writeDword(kDoStartupLogin, settings_.doStartupLogin ? 1 : 0);
        if (!userName_.empty())
            key.enter(std::string(kUsersKey) + "\\" + userName_);
        const StoredSettings& s = settings_;
        key.writeText(kVersion, kVersionWritten);
        if (!s.sound.deviceName.empty())
            key.writeText(kDeviceName, storedDeviceName(s.sound.deviceName));
        key.writeDword(kSelectedDevices, encodeSelectedDevices(s));
        key.writeDword(kSampleRate, s.sound.sampleRate);
        key.writeDword(kSoundBuffers, encodeSoundBuffers(s));
        key.writeDword(kSoundOptions, encodeSoundOptions(s));
        key.writeDword(kSoundfileMaxCount, s.recording.soundfileMaxCount);
        key.writeDword(kMidiInputChannel, static_cast<uint32_t>(s.midi.channel));
        key.writeDword(kMidiMonitor, midi::packMonitorFlags(s.midi));
        if (s.midi.responseOptions != 0)
            key.writeDword(kMidiResponse[0], s.midi.responseOptions);
        for (int row = 0; row < midi::kResponseRowCount; ++row) {
            const midi::ResponseRow word = s.midi.responseRows[static_cast<size_t>(row)];
            if (word != 0)
                key.writeDword(kMidiResponse[static_cast<size_t>(row + 1)], word);
        }
        key.writeText(kSoundfileInFolder, s.soundfileInFolder);
        key.writeText(kSoundfileOutFolder, s.soundfileOutFolder);
        key.writeDword(kInputDevice, s.input.selectedDev);
        key.writeDword(kInputRate, s.input.framerate);
        key.writeDword(kInputChannels, s.input.stereo);
        key.writeDword(kInputFrames, s.input.framecount);
        key.writeDword(kInputAppBuffer, s.input.appbuffer);
    } catch (const RegistryError&) {
        // Writing settings ignores store errors.
    }
}

void UserSettings::storeSoundOptions(uint32_t value) {
    try {
        Registry key(store_, settingsKey());
        key.writeDword(kSoundOptions, value);
    } catch (const RegistryError&) {
        // Writing settings ignores store errors.
    }
}

}  // namespace shell
