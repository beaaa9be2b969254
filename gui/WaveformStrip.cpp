#include "gui/WaveformStrip.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include <QHBoxLayout>
#include <QPainter>
#include <QTimer>

#include "engine/Engine.h"
#include "engine/ParamSpec.h"
#include "sounds/Sound.h"

namespace gui {
namespace {

constexpr int kStripHeight = 48;
constexpr int kRefreshMs = 33;  // about 30 frames a second
// The overview keeps this many (min, max) pairs, whatever the sound's length.
constexpr int32_t kOverviewColumns = 2048;
// Start and Length run over 0..4096 for the whole sound.
constexpr double kRegionScale = 4096.0;
constexpr double kWholeSound = static_cast<double>(sounds::kWholeSound);
constexpr int kTickLength = 8;
const QColor kWaveColour(70, 90, 120);
const QColor kRegionColour(90, 160, 230, 70);
const QColor kGrainColour(200, 0, 0);

struct Peak {
    float min = 0.0f;
    float max = 0.0f;
};

// The (min, max) pairs of a sound, over all its channels, in kOverviewColumns parts or one per frame.
std::vector<Peak> overviewOf(const sounds::Sound* sound) {
    std::vector<Peak> peaks;
    if (sound == nullptr || sound->frames <= 0 || sound->channels <= 0)
        return peaks;
    const int64_t frames = sound->frames;
    const size_t channels = sound->channelCount();
    const int64_t columns = std::min<int64_t>(frames, kOverviewColumns);
    peaks.resize(static_cast<size_t>(columns));
    const float* samples = sound->samples();
    for (int64_t c = 0; c < columns; ++c) {
        const auto first = static_cast<size_t>(c * frames / columns);
        const auto last = static_cast<size_t>((c + 1) * frames / columns);
        const auto [lo, hi] = std::minmax_element(samples + first * channels, samples + last * channels);
        peaks[static_cast<size_t>(c)] = Peak{*lo, *hi};
    }
    return peaks;
}

// The strip's face: waveform, play region and grain ticks. Refreshes itself while shown.
class WaveCanvas : public QWidget {
  public:
    WaveCanvas(engine::Engine& engine, QWidget* parent) : QWidget(parent), engine_(engine) {
        timer_.setInterval(kRefreshMs);
        connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
    }

    void setOverview(std::vector<Peak> peaks) {
        peaks_ = std::move(peaks);
        update();
    }

  protected:
    void showEvent(QShowEvent*) override { timer_.start(); }
    void hideEvent(QHideEvent*) override { timer_.stop(); }

    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const int w = width();
        const int h = height();
        painter.fillRect(rect(), palette().color(QPalette::Base));
        drawWave(painter);
        shown_ = region();
        drawRegion(painter, shown_.first, shown_.second);  // a translucent band over the wave
        grainsShown_ = false;
        if (engine_.playing()) {
            std::array<uint32_t, engine::Engine::kPublishedGrains> positions{};
            const int count = engine_.grainPositions(positions);
            painter.setPen(kGrainColour);
            for (int i = 0; i < count; ++i) {
                const double at = (positions[static_cast<size_t>(i)] & sounds::kPositionMask) / kWholeSound;
                const int x = static_cast<int>(at * w);
                painter.drawLine(x, 0, x, kTickLength);
                painter.drawLine(x, h - 1 - kTickLength, x, h - 1);
            }
            grainsShown_ = count > 0;
        }
    }

  private:
    // The current stream's Start and Length targets.
    std::pair<int32_t, int32_t> region() const {
        const engine::Stream& stream = engine_.stream(engine_.currentStream());
        return {stream.param(engine::Start).targetValue(), stream.param(engine::Length).targetValue()};
    }

    void drawRegion(QPainter& painter, int32_t start, int32_t length) const {
        const double w = width();
        const double from = std::clamp(start / kRegionScale, 0.0, 1.0);
        const double to = from + std::clamp(length / kRegionScale, 0.0, 1.0);
        auto band = [&](double a, double b) {
            painter.fillRect(QRectF(a * w, 0.0, (b - a) * w, height()), kRegionColour);
        };
        band(from, std::min(to, 1.0));
        if (to > 1.0)
            band(0.0, to - 1.0);  // the region wraps past the sound's end
    }

    void drawWave(QPainter& painter) const {
        const int w = width();
        const double middle = height() / 2.0;
        const double half = middle - 1.0;
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawLine(0, static_cast<int>(middle), w, static_cast<int>(middle));
        if (peaks_.empty() || w <= 0)
            return;
        painter.setPen(kWaveColour);
        const auto columns = static_cast<int64_t>(peaks_.size());
        for (int x = 0; x < w; ++x) {
            const auto first = static_cast<size_t>(x * columns / w);
            const auto last = std::max(first + 1, static_cast<size_t>((x + 1) * columns / w));
            float lo = peaks_[first].min;
            float hi = peaks_[first].max;
            for (size_t c = first + 1; c < last; ++c) {
                lo = std::min(lo, peaks_[c].min);
                hi = std::max(hi, peaks_[c].max);
            }
            const auto top = static_cast<int>(middle - std::clamp(hi, -1.0f, 1.0f) * half);
            const auto bottom = static_cast<int>(middle - std::clamp(lo, -1.0f, 1.0f) * half);
            painter.drawLine(x, top, x, bottom);
        }
    }

    // While playing the grains move; otherwise only a changed region (or ticks to clear) repaints.
    void tick() {
        if (!isVisible())
            return;
        if (engine_.playing() || grainsShown_ || region() != shown_)
            update();
    }

    engine::Engine& engine_;
    QTimer timer_;
    std::vector<Peak> peaks_;
    std::pair<int32_t, int32_t> shown_{-1, -1};
    bool grainsShown_ = false;
};

}  // namespace

struct WaveformStrip::State {
    engine::Engine& engine;
    WaveCanvas* canvas = nullptr;
};

WaveformStrip::WaveformStrip(engine::Engine& engine, QWidget* parent)
    : QWidget(parent), state_(std::make_unique<State>(State{engine})) {
    setFixedHeight(kStripHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    state_->canvas = new WaveCanvas(engine, this);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(state_->canvas);
    soundChanged();
}

WaveformStrip::~WaveformStrip() = default;

void WaveformStrip::soundChanged() {
    engine::Engine& engine = state_->engine;
    const int current = engine.currentStream();
    const sounds::Sound* sound =
        current >= 0 && current < engine::kMaxStreams ? engine.stream(current).sound : nullptr;
    state_->canvas->setOverview(overviewOf(sound));
}

}  // namespace gui
