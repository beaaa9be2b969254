#include "gui/ParamRows.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace gui {

namespace {

// The rows' groups in the two columns, as the grain generation flows: where in
// the sound, how often, how long, at what pitch, and how it sounds.
struct RowGroup {
    const char* title;
    int first;
    int last;
    int column;
};

constexpr RowGroup kGroups[] = {
    {"Soundfile loop", engine::Start, engine::RateAM, 0},
    {"Grain frequency", engine::Freq, engine::FreqAM, 0},
    {"Grain length", engine::GrainLen, engine::GrainLenAM, 0},
    {"Grain pitch", engine::Pitch, engine::PitchAM, 0},
    {"Glissando", engine::Gliss, engine::GlissAM, 1},
    {"Envelope", engine::Attack, engine::DecayRnd, 1},
    {"Amplitude", engine::Amp, engine::AmpAM, 1},
    {"Panning", engine::PanRnd, engine::PanPos, 1},
    {"Parameter change", engine::ChangeTime, engine::ChangeTime, 1},
};

constexpr int kColumns = 2;
constexpr int kWheelNotch = 120;
constexpr int kBarMinimumWidth = 190;
constexpr const char* kWidestValue = "-16384";
constexpr const char* kParamProperty = "frissonParam";

bool mirrored(int param) {
    return param != engine::PanPos;
}

engine::ScrollModifiers modifiersOf(Qt::KeyboardModifiers held) {
    return {held.testFlag(Qt::ShiftModifier), held.testFlag(Qt::ControlModifier)};
}

}  // namespace

ParamRows::ParamRows(QWidget* parent) : QWidget(parent) {
    auto* columns = new QHBoxLayout(this);
    columns->setContentsMargins(0, 0, 0, 0);
    std::array<QVBoxLayout*, kColumns> column{};
    for (auto& layout : column) {
        layout = new QVBoxLayout;
        columns->addLayout(layout);
    }

    // Bold group titles over the rows' normal text.
    QFont normal = font();
    normal.setWeight(QFont::Normal);
    QFont bold = font();
    bold.setWeight(QFont::Bold);
    int nameWidth = 0;
    for (const engine::ParamSpec& param : engine::paramSpecs())
        nameWidth = std::max(nameWidth, fontMetrics().horizontalAdvance(QString::fromUtf8(
                                            param.name.data(), static_cast<int>(param.name.size()))));
    const int valueWidth = fontMetrics().horizontalAdvance(QString::fromLatin1(kWidestValue)) + 8;

    for (const RowGroup& group : kGroups) {
        auto* box = new QGroupBox(QString::fromLatin1(group.title));
        box->setFont(bold);
        auto* body = new QWidget;
        body->setFont(normal);
        auto* boxLayout = new QVBoxLayout(box);
        boxLayout->setContentsMargins(6, 2, 6, 4);
        boxLayout->addWidget(body);
        auto* grid = new QGridLayout(body);
        grid->setContentsMargins(0, 0, 0, 0);
        grid->setVerticalSpacing(2);
        for (int p = group.first; p <= group.last; ++p) {
            const engine::ParamSpec& param = engine::paramSpec(p);
            const QString name = QString::fromUtf8(param.name.data(), static_cast<int>(param.name.size()));
            const QString tip =
                QString::fromUtf8(param.tooltip.data(), static_cast<int>(param.tooltip.size()));

            auto* label = new QLabel(name);
            label->setMinimumWidth(nameWidth);
            label->setToolTip(tip);

            auto* bar = new QScrollBar(Qt::Horizontal);
            const engine::ScrollBarSetup setup = engine::scrollBarSetup(p);
            bar->setRange(setup.rangeMin, setup.rangeMax);
            bar->setPageStep(setup.pageSize);
            bar->setSingleStep(1);
            bar->setFocusPolicy(Qt::StrongFocus);
            bar->setMinimumWidth(kBarMinimumWidth);
            bar->setToolTip(tip);
            bar->setObjectName(QStringLiteral("param_%1").arg(name));
            bar->setProperty(kParamProperty, p);
            if (mirrored(p))
                bar->setLayoutDirection(Qt::RightToLeft);
            bar->installEventFilter(this);
            connect(bar, &QAbstractSlider::actionTriggered, this,
                    [this, p](int action) { barAction(p, action); });
            connect(bar, &QAbstractSlider::sliderReleased, this, [this, p] {
                report(p, engine::ScrollCode::ThumbPosition,
                       static_cast<int16_t>(this->bar(p)->sliderPosition()),
                       modifiersOf(QGuiApplication::keyboardModifiers()));
                report(p, engine::ScrollCode::EndScroll, 0,
                       modifiersOf(QGuiApplication::keyboardModifiers()));
                restore(p);
            });

            auto* value = new QLabel;
            value->setMinimumWidth(valueWidth);
            value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

            const int row = p - group.first;
            grid->addWidget(label, row, 0);
            grid->addWidget(bar, row, 1);
            grid->addWidget(value, row, 2);
            grid->setColumnStretch(1, 1);
            bars_[static_cast<size_t>(p)] = bar;
            values_[static_cast<size_t>(p)] = value;
        }
        column[static_cast<size_t>(group.column)]->addWidget(box);
    }
    for (auto* layout : column)
        layout->addStretch(1);

    for (int p = 0; p < engine::kParamCount; ++p)
        setPosition(p, engine::resetPosition(p));
}

ParamRows::~ParamRows() = default;

void ParamRows::setPosition(int param, int32_t position) {
    if (param < 0 || param >= engine::kParamCount)
        return;
    positions_[static_cast<size_t>(param)] = position;
    restore(param);
    values_[static_cast<size_t>(param)]->setText(QString::number(engine::positionToValue(param, position)));
}

void ParamRows::restore(int param) {
    QScrollBar* scrollBar = bar(param);
    const bool blocked = scrollBar->blockSignals(true);
    scrollBar->setSliderPosition(positions_[static_cast<size_t>(param)]);
    scrollBar->setValue(positions_[static_cast<size_t>(param)]);
    scrollBar->blockSignals(blocked);
}

int ParamRows::paramOf(QObject* object) const {
    const QVariant param = object->property(kParamProperty);
    return param.isValid() ? param.toInt() : -1;
}

void ParamRows::barAction(int param, int action) {
    using engine::ScrollCode;
    QScrollBar* scrollBar = bar(param);
    ScrollCode code;
    int16_t thumb = 0;
    switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            code = ScrollCode::LineDown;
            break;
        case QAbstractSlider::SliderSingleStepSub:
            code = ScrollCode::LineUp;
            break;
        case QAbstractSlider::SliderPageStepAdd:
            code = ScrollCode::PageDown;
            break;
        case QAbstractSlider::SliderPageStepSub:
            code = ScrollCode::PageUp;
            break;
        case QAbstractSlider::SliderToMinimum:
            code = ScrollCode::Top;
            break;
        case QAbstractSlider::SliderToMaximum:
            code = ScrollCode::Bottom;
            break;
        case QAbstractSlider::SliderMove:
            code = ScrollCode::ThumbTrack;
            thumb = static_cast<int16_t>(scrollBar->sliderPosition());
            break;
        default:
            return;
    }
    report(param, code, thumb, modifiersOf(QGuiApplication::keyboardModifiers()));
    restore(param);
}

void ParamRows::report(int param, engine::ScrollCode code, int16_t thumb, engine::ScrollModifiers modifiers) {
    if (onScroll_)
        onScroll_(param, code, thumb, modifiers);
}

bool ParamRows::eventFilter(QObject* watched, QEvent* event) {
    using engine::ScrollCode;
    const int param = paramOf(watched);
    if (param < 0)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // A larger value lies to the right on a mirrored bar, to the left on PanPos.
        const ScrollCode right = mirrored(param) ? ScrollCode::LineUp : ScrollCode::LineDown;
        const ScrollCode left = mirrored(param) ? ScrollCode::LineDown : ScrollCode::LineUp;
        ScrollCode code;
        switch (key->key()) {
            case Qt::Key_Right:
                code = right;
                break;
            case Qt::Key_Left:
                code = left;
                break;
            case Qt::Key_Up:
                code = ScrollCode::LineUp;
                break;
            case Qt::Key_Down:
                code = ScrollCode::LineDown;
                break;
            case Qt::Key_PageUp:
                code = ScrollCode::PageUp;
                break;
            case Qt::Key_PageDown:
                code = ScrollCode::PageDown;
                break;
            case Qt::Key_Home:
                code = ScrollCode::Top;
                break;
            case Qt::Key_End:
                code = ScrollCode::Bottom;
                break;
            default:
                return false;
        }
        report(param, code, 0, modifiersOf(key->modifiers()));
        restore(param);
        return true;
    }
    if (event->type() == QEvent::Wheel) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        const QPoint delta = wheel->angleDelta();
        const int amount = delta.y() != 0 ? delta.y() : delta.x();
        // One page a notch: towards larger values when the wheel turns away from the user.
        const int notches = std::max(1, std::abs(amount) / kWheelNotch);
        if (amount != 0)
            for (int n = 0; n < notches; ++n)
                report(param, amount > 0 ? ScrollCode::PageUp : ScrollCode::PageDown, 0,
                       modifiersOf(wheel->modifiers()));
        restore(param);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace gui
