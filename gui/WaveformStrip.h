#pragma once

#include <memory>

#include <QWidget>

namespace engine {
class Engine;
}

namespace gui {

// A small strip above the stream tabs: the current stream's sound as a
// waveform, its play region (Start and Length) and the grains sounding now,
// read from the engine's published grain positions without taking the engine
// lock, redrawn at up to 30 frames a second while visible. Thread: main.
class WaveformStrip : public QWidget {
    Q_OBJECT
  public:
    WaveformStrip(engine::Engine& engine, QWidget* parent);
    ~WaveformStrip() override;

    // The current stream or its sound changed: the waveform overview is rebuilt.
    void soundChanged();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace gui
