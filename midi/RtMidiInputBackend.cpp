#include "midi/RtMidiInputBackend.h"

#include <rtmidi/RtMidi.h>

#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace midi {
namespace {

constexpr const char* kApiVariable = "FRISSON_MIDI_API";
constexpr const char* kSequencerDevice = "/dev/snd/seq";

struct ApiChoice {
    RtMidi::Api api;
    const char* name;
};
constexpr ApiChoice kAlsa{RtMidi::LINUX_ALSA, "ALSA sequencer"};
constexpr ApiChoice kJack{RtMidi::UNIX_JACK, "JACK"};

// The services to try, in order.
std::vector<ApiChoice> servicesToTry() {
    const char* wanted = std::getenv(kApiVariable);
    if (wanted && std::string_view(wanted) == "jack")
        return {kJack};
    if (wanted && std::string_view(wanted) == "alsa")
        return {kAlsa};
    return {kAlsa, kJack};
}

// Whether the service can be tried here: a machine without the sequencer
// device has no ALSA MIDI at all.
bool isAvailable(RtMidi::Api api) {
    if (api == RtMidi::LINUX_ALSA && access(kSequencerDevice, F_OK) != 0)
        return false;
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    for (const auto compiled : apis)
        if (compiled == api)
            return true;
    return false;
}

// RtMidi prints its start-up warnings to std::cerr. While a client starts they
// are held back: a failed start throws, and a service without a server simply
// shows no ports.
class QuietErrorStream {
  public:
    QuietErrorStream() : previous_(std::cerr.rdbuf(held_.rdbuf())) {}
    ~QuietErrorStream() { std::cerr.rdbuf(previous_); }
    QuietErrorStream(const QuietErrorStream&) = delete;
    QuietErrorStream& operator=(const QuietErrorStream&) = delete;

  private:
    std::ostringstream held_;  // declared first: constructed before it is used
    std::streambuf* previous_;
};

}  // namespace

RtMidiInputBackend::RtMidiInputBackend() {
    std::string failures;
    for (const auto& choice : servicesToTry()) {
        if (!isAvailable(choice.api)) {
            failures += std::string(failures.empty() ? "" : "; ") + choice.name + ": not available";
            continue;
        }
        try {
            const QuietErrorStream quiet;
            // Without an error callback RtMidi reports a failed start by throwing.
            input_ = std::make_unique<RtMidiIn>(choice.api, kClientName);
            service_ = choice.name;
            break;
        } catch (const RtMidiError& e) {
            failures += std::string(failures.empty() ? "" : "; ") + choice.name + ": " + e.getMessage();
        }
    }
    if (!input_)
        throw std::runtime_error("No MIDI service available (" + failures + ")");
    input_->setErrorCallback([](RtMidiError::Type type, const std::string& text,
                                void* self) { onRtMidiError(static_cast<int>(type), text, self); },
                             this);
    // System exclusive data, timing clock and active sensing are of no use here.
    input_->ignoreTypes(true, true, true);
}

RtMidiInputBackend::~RtMidiInputBackend() {
    close();
}

void RtMidiInputBackend::onRtMidiError(int type, const std::string& text, void* self) {
    // Warnings (such as "no ports") are not failures of the call.
    if (type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING)
        return;
    static_cast<RtMidiInputBackend*>(self)->lastError_ = text;
}

void RtMidiInputBackend::onRtMidiMessage(double, std::vector<unsigned char>* message, void* self) {
    auto* backend = static_cast<RtMidiInputBackend*>(self);
    if (message && !message->empty())
        backend->onBytes_(std::span<const uint8_t>(message->data(), message->size()));
}

std::optional<std::string> RtMidiInputBackend::takeError() {
    if (lastError_.empty())
        return std::nullopt;
    std::string error = std::move(lastError_);
    lastError_.clear();
    return error;
}

std::string RtMidiInputBackend::serviceName() const {
    return service_;
}

unsigned RtMidiInputBackend::portCount() {
    const unsigned count = input_->getPortCount();
    return takeError() ? 0 : count;
}

std::optional<std::string> RtMidiInputBackend::portName(unsigned port, std::string& error) {
    std::string name = input_->getPortName(port);
    if (auto failure = takeError()) {
        error = *failure;
        return std::nullopt;
    }
    if (name.empty()) {
        error = "The MIDI input port cannot be described.";
        return std::nullopt;
    }
    return name;
}

bool RtMidiInputBackend::open(unsigned port, BytesCallback onBytes, std::string& error) {
    close();
    onBytes_ = std::move(onBytes);
    input_->setCallback(&RtMidiInputBackend::onRtMidiMessage, this);
    input_->openPort(port, kPortName);
    if (auto failure = takeError()) {
        error = *failure;
        close();
        return false;
    }
    if (!input_->isPortOpen()) {
        error = "The MIDI input port could not be opened.";
        close();
        return false;
    }
    return true;
}

void RtMidiInputBackend::close() {
    if (!input_)
        return;
    if (input_->isPortOpen())
        input_->closePort();
    input_->cancelCallback();
    takeError();
}

}  // namespace midi
