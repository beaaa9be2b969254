#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include <QWidget>

#include "engine/ParamScroll.h"
#include "engine/ParamSpec.h"

class QLabel;
class QScrollBar;

namespace gui {

// The 29 parameter rows in their groups: each row is the parameter's name, its
// scroll bar (control 1500 + parameter) and its value. A bar never moves on its
// own: every user action on it goes to the scroll handler, and the bar shows
// only the positions that come back through setPosition.
//
// Positions run opposite to values (the largest value at the lowest position).
// The bars are laid out horizontally and mirrored, so a larger value sits
// further right, as it would sit higher on an upright bar; the PanPos bar is
// not mirrored, its left end being the left of the stereo image. Arrow keys and
// the wheel follow what the bar shows. Thread: main.
class ParamRows : public QWidget {
    Q_OBJECT
  public:
    using ScrollHandler = std::function<void(int param, engine::ScrollCode code, int16_t thumb,
                                             engine::ScrollModifiers modifiers)>;

    explicit ParamRows(QWidget* parent = nullptr);
    ~ParamRows() override;

    void setScrollHandler(ScrollHandler handler) { onScroll_ = std::move(handler); }

    // Moves the bar of `param` (no action is reported) and shows its value.
    void setPosition(int param, int32_t position);
    int32_t position(int param) const { return positions_[static_cast<size_t>(param)]; }

    QScrollBar* bar(int param) const { return bars_[static_cast<size_t>(param)]; }
    QLabel* valueLabel(int param) const { return values_[static_cast<size_t>(param)]; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    int paramOf(QObject* object) const;
    void barAction(int param, int action);
    void report(int param, engine::ScrollCode code, int16_t thumb, engine::ScrollModifiers modifiers);
    // Puts the bar back where the core last placed it.
    void restore(int param);

    ScrollHandler onScroll_;
    std::array<QScrollBar*, engine::kParamCount> bars_{};
    std::array<QLabel*, engine::kParamCount> values_{};
    std::array<int32_t, engine::kParamCount> positions_{};
};

}  // namespace gui
