#include "output/AlsaOutput.h"

#include <alsa/asoundlib.h>

#include "output/AlsaDevices.h"
#include "platform/MessageQueue.h"

namespace output {
namespace {

// The PCM's own buffer holds this many periods; the ring keeps the rest.
constexpr snd_pcm_uframes_t kPcmPeriods = 2;
// How long the writer waits for room before it looks at its requests again.
constexpr int kWaitMilliseconds = 50;

AlsaStatus failure(int code) {
    return AlsaStatus{snd_strerror(code)};
}

// Sets up 16-bit interleaved output at exactly `sampleRate`.
int configure(snd_pcm_t* pcm, unsigned channels, unsigned sampleRate, unsigned periodFrames) {
    snd_pcm_hw_params_t* params = nullptr;
    snd_pcm_hw_params_alloca(&params);
    int result = snd_pcm_hw_params_any(pcm, params);
    if (result >= 0)
        result = snd_pcm_hw_params_set_rate_resample(pcm, params, 1);
    if (result >= 0)
        result = snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED);
    if (result >= 0)
        result = snd_pcm_hw_params_set_format(pcm, params, SND_PCM_FORMAT_S16_LE);
    if (result >= 0)
        result = snd_pcm_hw_params_set_channels(pcm, params, channels);
    if (result >= 0)
        result = snd_pcm_hw_params_set_rate(pcm, params, sampleRate, 0);
    snd_pcm_uframes_t period = periodFrames;
    if (result >= 0)
        result = snd_pcm_hw_params_set_period_size_near(pcm, params, &period, nullptr);
    snd_pcm_uframes_t bufferSize = period * kPcmPeriods;
    if (result >= 0)
        result = snd_pcm_hw_params_set_buffer_size_near(pcm, params, &bufferSize);
    if (result >= 0)
        result = snd_pcm_hw_params(pcm, params);
    return result;
}

}  // namespace

AlsaOutput::AlsaOutput(platform::MessageQueue& queue) : queue_(queue) {
    silenceAlsaDiagnostics();
}

AlsaOutput::~AlsaOutput() {
    close();
}

AlsaStatus AlsaOutput::open(const std::string& pcmName, unsigned channels, unsigned sampleRate,
                            unsigned periodFrames) {
    close();
    snd_pcm_t* pcm = nullptr;
    int result = snd_pcm_open(&pcm, pcmName.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (result < 0) {
        return failure(result);
    }
    result = configure(pcm, channels, sampleRate, periodFrames);
    if (result < 0) {
        snd_pcm_close(pcm);
        return failure(result);
    }
    pcm_ = pcm;
    channels_ = channels;
    {
        const std::lock_guard lock(mutex_);
        head_ = 0;
        count_ = 0;
        paused_ = true;
        dropRequested_ = false;
        ending_ = false;
        writerError_.clear();
    }
    writer_ = std::thread([this] { writerLoop(); });
    return {};
}

void AlsaOutput::pause() {
    const std::lock_guard lock(mutex_);
    paused_ = true;
}

void AlsaOutput::restart() {
    {
        const std::lock_guard lock(mutex_);
        paused_ = false;
    }
    wake_.notify_all();
}

AlsaStatus AlsaOutput::write(int slot, const std::int16_t* data, std::size_t frames, std::int64_t tag) {
    if (pcm_ == nullptr) {
        return failure(-EBADFD);
    }
    {
        const std::lock_guard lock(mutex_);
        if (count_ == kMaxQueuedBuffers) {
            return failure(-ENOBUFS);
        }
        pending_[(head_ + count_) % kMaxQueuedBuffers] = Pending{slot, data, frames, tag};
        ++count_;
    }
    wake_.notify_all();
    return {};
}

AlsaStatus AlsaOutput::reset() {
    if (pcm_ == nullptr) {
        return failure(-EBADFD);
    }
    std::unique_lock lock(mutex_);
    dropRequested_ = true;
    wake_.notify_all();
    dropped_.wait(lock, [this] { return !dropRequested_; });
    return takeWriterError(lock);
}

AlsaStatus AlsaOutput::close() {
    if (pcm_ == nullptr) {
        return {};
    }
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.notify_all();
    writer_.join();
    const int result = snd_pcm_close(pcm_);
    pcm_ = nullptr;
    return result < 0 ? failure(result) : AlsaStatus{};
}

AlsaStatus AlsaOutput::release() {
    std::unique_lock lock(mutex_);
    return takeWriterError(lock);
}

AlsaStatus AlsaOutput::takeWriterError(std::unique_lock<std::mutex>& /*held*/) {
    AlsaStatus status{std::move(writerError_)};
    writerError_.clear();
    return status;
}

void AlsaOutput::writerLoop() {
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return ending_ || dropRequested_ || (!paused_ && count_ > 0); });
        if (ending_) {
            snd_pcm_drop(pcm_);
            return;
        }
        if (dropRequested_) {
            snd_pcm_drop(pcm_);
            snd_pcm_prepare(pcm_);
            count_ = 0;
            dropRequested_ = false;
            dropped_.notify_all();
            continue;
        }
        const Pending buffer = pending_[head_];
        if (!writeBuffer(buffer, lock)) {
            continue;
        }
        head_ = (head_ + 1) % kMaxQueuedBuffers;
        --count_;
        queue_.post(platform::kMsgBufferDone, buffer.slot, buffer.tag);
    }
}

bool AlsaOutput::writeBuffer(const Pending& buffer, std::unique_lock<std::mutex>& lock) {
    const std::int16_t* data = buffer.data;
    auto left = static_cast<snd_pcm_uframes_t>(buffer.frames);
    while (left > 0) {
        lock.unlock();
        snd_pcm_wait(pcm_, kWaitMilliseconds);
        snd_pcm_sframes_t written = snd_pcm_writei(pcm_, data, left);
        if (written < 0 && written != -EAGAIN) {
            // An underrun or a suspended device: prepare again and go on.
            written = snd_pcm_recover(pcm_, static_cast<int>(written), 1);
        }
        lock.lock();
        if (ending_ || dropRequested_) {
            return false;
        }
        if (written == -EAGAIN) {
            continue;
        }
        if (written < 0) {
            // The device is gone or broken: the buffer is given up and the
            // error handed to the main thread with its done message.
            writerError_ = snd_strerror(static_cast<int>(written));
            return true;
        }
        data += static_cast<std::size_t>(written) * channels_;
        left -= static_cast<snd_pcm_uframes_t>(written);
    }
    return true;
}

}  // namespace output
