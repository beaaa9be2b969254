#pragma once

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace apptest {

// A JACK client with two input ports that records what reaches them, and a
// watcher that connects them to a client's output ports as soon as those
// appear. Samples are kept as JACK delivers them (float).
class JackCapture {
  public:
    JackCapture(std::string sourcePrefix, std::size_t maxFrames)
        : prefix_(std::move(sourcePrefix)), left_(maxFrames), right_(maxFrames) {
        jack_status_t status{};
        client_ = jack_client_open("frisson_capture", JackNoStartServer, &status);
        if (client_ == nullptr)
            return;
        ports_[0] = jack_port_register(client_, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        ports_[1] = jack_port_register(client_, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client_, &JackCapture::process, this);
        jack_activate(client_);
        watcher_ = std::thread([this] { connectWhenPresent(); });
    }

    ~JackCapture() {
        stopWatching_ = true;
        if (watcher_.joinable())
            watcher_.join();
        if (client_ != nullptr) {
            jack_deactivate(client_);
            jack_client_close(client_);
        }
    }

    bool ready() const { return client_ != nullptr; }
    bool connected() const { return connected_; }

    // The captured frames of one channel (0 or 1). Thread: after capturing stopped.
    std::vector<float> channel(int c) const {
        const std::vector<float>& source = c == 0 ? left_ : right_;
        return {source.begin(), source.begin() + static_cast<long>(frames_.load())};
    }

  private:
    static int process(jack_nframes_t frames, void* self) {
        auto* capture = static_cast<JackCapture*>(self);
        if (!capture->connected_)
            return 0;
        const auto* in1 = static_cast<const float*>(jack_port_get_buffer(capture->ports_[0], frames));
        const auto* in2 = static_cast<const float*>(jack_port_get_buffer(capture->ports_[1], frames));
        std::size_t at = capture->frames_.load();
        for (jack_nframes_t i = 0; i < frames && at < capture->left_.size(); ++i, ++at) {
            capture->left_[at] = in1[i];
            capture->right_[at] = in2[i];
        }
        capture->frames_.store(at);
        return 0;
    }

    // The source's ports can only be connected once its client is active, so
    // keep trying until both connections hold.
    void connectWhenPresent() {
        const std::string out0 = prefix_ + ":outport 0";
        const std::string out1 = prefix_ + ":outport 1";
        while (!stopWatching_) {
            if (jack_port_by_name(client_, out0.c_str()) != nullptr &&
                jack_port_by_name(client_, out1.c_str()) != nullptr) {
                jack_connect(client_, out0.c_str(), jack_port_name(ports_[0]));
                jack_connect(client_, out1.c_str(), jack_port_name(ports_[1]));
                if (jack_port_connected(ports_[0]) > 0 && jack_port_connected(ports_[1]) > 0) {
                    connected_ = true;
                    return;
                }
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    std::string prefix_;
    jack_client_t* client_ = nullptr;
    jack_port_t* ports_[2] = {nullptr, nullptr};
    std::vector<float> left_;
    std::vector<float> right_;
    std::atomic<std::size_t> frames_{0};
    std::atomic<bool> connected_{false};
    std::atomic<bool> stopWatching_{false};
    std::thread watcher_;
};

}  // namespace apptest
