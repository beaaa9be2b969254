#include "output/AudioSystem.h"

#include <pthread.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <ostream>
#include <thread>

#include "output/RtError.h"

namespace output {
namespace {

// How long a stopped stream is left before it is closed on destruction.
constexpr auto kCloseDelay = std::chrono::milliseconds(1);

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The index within the API at the end of the key of "(KEY) name": the decimal
// digits before the first ')', or -1 when the key does not end in a digit.
std::int32_t keyIndex(const std::string& shownName) {
    const std::size_t close = shownName.find(')');
    if (close == std::string::npos || close < 2) {
        return -1;
    }
    std::size_t begin = close;
    while (begin > 1 && std::isdigit(static_cast<unsigned char>(shownName[begin - 1]))) {
        --begin;
    }
    if (begin == close) {
        return -1;
    }
    return static_cast<std::int32_t>(std::stol(shownName.substr(begin, close - begin)));
}

unsigned channelsOf(const DeviceSpec& side) {
    return side.device < 0 ? 0u : side.channels;
}

}  // namespace

int callbackTrampoline(void* output, void* /*input*/, unsigned frames, double /*streamTime*/,
                       unsigned /*status*/, void* userData) {
    const auto* slots = static_cast<const CallbackSlots*>(userData);
    if (slots == nullptr || slots->output == nullptr) {
        return 0;
    }
    // JACK's client library ends its process thread with an asynchronous cancel when the stream
    // closes, also on a thread of its own after the server died. Landing inside the render, the
    // cancel would unwind through locks and functions that must not throw, and the program would
    // end; held off until here, it ends the thread between two periods.
    int cancelState = PTHREAD_CANCEL_ENABLE;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &cancelState);
    const int result = slots->output(slots->context, static_cast<std::int16_t*>(output), frames);
    pthread_setcancelstate(cancelState, nullptr);
    pthread_testcancel();  // where enabling alone does not act on a cancel held off
    return result;
}

AudioSystem::AudioSystem(AudioApiFactory factory, std::ostream& log)
    : factory_(std::move(factory)), log_(log), api_(factory_(AudioApiId::kUnspecified)) {}

AudioSystem::~AudioSystem() {
    if (state_ == AudioSystemState::kClosed || !api_) {
        return;
    }
    try {
        if (api_->streamState() == StreamState::kRunning) {
            api_->stopStream();
        }
        std::this_thread::sleep_for(kCloseDelay);
        if (api_->streamState() != StreamState::kClosed) {
            api_->closeStream();
        }
    } catch (const RtError& error) {
        log_ << "RtAudio error " << error.message() << "\n";
    }
}

bool AudioSystem::streamOpen() const {
    return api_ && api_->streamState() != StreamState::kClosed;
}

AudioApiId AudioSystem::currentApi() const {
    return api_ ? api_->currentApi() : AudioApiId::kUnspecified;
}

const DeviceList& AudioSystem::getDeviceList() {
    if (!deviceList_.built) {
        buildDeviceList();
    }
    return deviceList_;
}

void AudioSystem::buildDeviceList() {
    deviceList_ = DeviceList{};
    deviceList_.built = true;
    appendApiDevices(AudioApiId::kJack, kJackTag);
    deviceList_.jackDeviceCount = deviceList_.entries.size();
    appendApiDevices(AudioApiId::kPulse, kPulseTag);
}

void AudioSystem::appendApiDevices(AudioApiId api, const char* tag) {
    try {
        const std::unique_ptr<AudioApi> probe = factory_(api);
        const unsigned count = probe->deviceCount();
        for (unsigned i = 0; i < count && deviceList_.entries.size() < kMaxDeviceListEntries; ++i) {
            DeviceInfo info = probe->deviceInfo(i);
            if (!info.probed) {
                continue;  // left out, but its index stays used
            }
            std::string shown = "(";
            shown.append(tag).append(std::to_string(i)).append(") ").append(info.name);
            info.name = std::move(shown);
            DeviceSpec found = DeviceSpec::blank();
            found.device = static_cast<std::int32_t>(i);
            found.name = info.name;
            found.api = api;
            if (info.outputChannels > 0 && info.isDefaultOutput) {
                deviceList_.defaultOutputDevice = found;
            }
            if (info.inputChannels > 0 && info.isDefaultInput) {
                deviceList_.defaultInputDevice = found;
            }
            deviceList_.entries.push_back(std::move(info));
        }
    } catch (const RtError& error) {
        log_ << "RtAudio error " << error.message() << "\n";
    }
}

AudioApiId AudioSystem::apiOfEntry(std::size_t listIndex) const {
    return listIndex < deviceList_.jackDeviceCount ? AudioApiId::kJack : AudioApiId::kPulse;
}

void AudioSystem::useApi(AudioApiId api) {
    if (!api_ || api_->currentApi() != api) {
        api_.reset();
        api_ = factory_(api);
    }
}

bool AudioSystem::selectDeviceByName(const std::string& name) {
    const std::optional<std::size_t> found = findDeviceByName(name);
    if (!found) {
        return false;
    }
    stop();
    close();
    const std::string& shown = deviceList_.entries[*found].name;
    useApi(lowercase(shown).find("jack") != std::string::npos ? AudioApiId::kJack : AudioApiId::kPulse);
    const std::int32_t index = keyIndex(shown);
    config_.output.device = index;
    if (config_.input.device >= 0) {
        config_.input.device = index;
    }
    return true;
}

std::optional<std::size_t> AudioSystem::findDeviceByName(const std::string& name) {
    const std::string wanted = lowercase(name);
    const DeviceList& list = getDeviceList();
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
        const std::string shown = lowercase(list.entries[i].name);
        const bool matches = wanted.size() <= shown.size() ? shown.find(wanted) != std::string::npos
                                                           : wanted.find(shown) != std::string::npos;
        if (matches) {
            return i;
        }
    }
    return std::nullopt;
}

void AudioSystem::open(RawAudioCallback callback, void* userData, const StreamConfig& requested) {
    const DeviceList& list = getDeviceList();
    const auto listSize = static_cast<std::int32_t>(list.entries.size());
    if (requested.output.device >= listSize || requested.input.device >= listSize) {
        throw RtError("illegal device index", RtError::kInvalidDevice);
    }
    const unsigned outChannels = channelsOf(requested.output);
    const unsigned inChannels = channelsOf(requested.input);
    if (outChannels == 0 && inChannels == 0) {
        throw RtError("no device to open", RtError::kInvalidParameter);
    }
    if (outChannels > 0 && inChannels > 0 && requested.output.rtFormat != requested.input.rtFormat) {
        throw RtError("output and input must use same sample format", RtError::kInvalidParameter);
    }
    if (!api_) {
        throw RtError("could not create audio system", RtError::kSystemError);
    }
    if (state_ != AudioSystemState::kClosed) {
        close();
        if (state_ != AudioSystemState::kClosed) {
            throw RtError("could not close audio system", RtError::kSystemError);
        }
    }
    // The device's own API serves the stream: the list holds the JACK devices
    // first, then the PulseAudio ones, whose API indices start again at 0.
    const std::int32_t listDevice = outChannels > 0 ? requested.output.device : requested.input.device;
    useApi(apiOfEntry(static_cast<std::size_t>(listDevice)));
    const auto jackCount = static_cast<std::int32_t>(list.jackDeviceCount);
    const auto apiIndex = [jackCount](std::int32_t device) {
        return device >= jackCount ? device - jackCount : device;
    };

    StreamConfig opened = requested;
    StreamParameters outParams;
    StreamParameters inParams;
    if (outChannels > 0) {
        opened.output.device = apiIndex(requested.output.device);
        outParams = {static_cast<unsigned>(opened.output.device), outChannels, 0};
    }
    if (inChannels > 0) {
        opened.input.device = apiIndex(requested.input.device);
        inParams = {static_cast<unsigned>(opened.input.device), inChannels, 0};
    }
    unsigned frames =
        requested.output.bufferFrames != 0 ? requested.output.bufferFrames : config_.output.bufferFrames;
    StreamOptions options;
    options.numberOfBuffers = requested.output.numberOfBuffers != 0 ? requested.output.numberOfBuffers
                                                                    : config_.output.numberOfBuffers;
    try {
        api_->openStream(outChannels > 0 ? &outParams : nullptr, inChannels > 0 ? &inParams : nullptr,
                         requested.output.rtFormat, requested.output.sampleRate, &frames, callback, userData,
                         &options);
        state_ = AudioSystemState::kOpen;
        opened.output.bufferFrames = frames;
        opened.output.numberOfBuffers = options.numberOfBuffers;
        opened.output.api = api_->currentApi();
        config_ = opened;
    } catch (const RtError& error) {
        log_ << "AudioSystem::open(): RtAudio error " << error.message() << "\n";
        throw;
    }
}

void AudioSystem::setCallback(const StreamConfig& config, OutputCallback callback, void* context) {
    if (state_ != AudioSystemState::kClosed) {
        return;
    }
    try {
        if (config.output.rtFormat != kRtSInt16) {
            throw RtError("setCallback: Callback function type error", RtError::kInvalidParameter);
        }
        slots_ = CallbackSlots{callback, context};
        open(callbackTrampoline, &slots_, config);
    } catch (const RtError& error) {
        slots_ = CallbackSlots{};
        log_ << error.message() << "\n\n";
    }
}

void AudioSystem::start() {
    if (state_ != AudioSystemState::kOpen) {
        return;
    }
    api_->startStream();
    if (api_->streamState() == StreamState::kRunning) {
        state_ = AudioSystemState::kRunning;
    }
}

void AudioSystem::stop() {
    const bool running = api_ && api_->streamState() == StreamState::kRunning;
    if (!running && state_ != AudioSystemState::kRunning) {
        return;
    }
    if (running) {
        api_->stopStream();
    }
    state_ = AudioSystemState::kOpen;
}

void AudioSystem::close() {
    if (state_ == AudioSystemState::kRunning) {
        stop();
    }
    if (state_ != AudioSystemState::kOpen) {
        return;
    }
    if (api_ && api_->streamState() != StreamState::kClosed) {
        api_->closeStream();
    }
    state_ = AudioSystemState::kClosed;
}

bool AudioSystem::openPlaybackStream(const SoundSettings& settings, OutputCallback callback, void* context) {
    StreamConfig config = StreamConfig::make(settings.sampleRate, settings.channels(), audio::kInt16LE);
    config.output.numberOfBuffers = settings.bufferCount;
    config.output.bufferFrames = settings.bufferFrames;
    const DeviceList& list = getDeviceList();
    std::int32_t device = -1;
    if (isRtDevice(settings.deviceSelection)) {
        device = settings.deviceSelection - kRtDeviceBase;
    } else if (list.defaultOutputDevice.device >= 0) {
        // The default device's record holds its index within its API.
        device = list.defaultOutputDevice.device;
        if (list.defaultOutputDevice.api == AudioApiId::kPulse) {
            device += static_cast<std::int32_t>(list.jackDeviceCount);
        }
    }
    const bool inList = device >= 0 && static_cast<std::size_t>(device) < list.entries.size();
    const std::int32_t wantedApiIndex = inList && static_cast<std::size_t>(device) >= list.jackDeviceCount
                                            ? device - static_cast<std::int32_t>(list.jackDeviceCount)
                                            : device;
    const bool sameDevice = inList && config_.output.device == wantedApiIndex && api_ &&
                            api_->currentApi() == apiOfEntry(static_cast<std::size_t>(device));
    try {
        if (!api_ || api_->streamState() == StreamState::kClosed || !sameDevice) {
            config.output.device = device;
            close();
            setCallback(config, callback, context);
        }
        return api_ && api_->streamState() != StreamState::kClosed;
    } catch (const RtError& error) {
        log_ << "RtAudio error " << error.message() << "\n";
        return false;
    }
}

}  // namespace output
