#include "gui/BankPanelWidget.h"

#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace gui {

namespace {

constexpr int kSlotColumns = 4;

struct PanelButton {
    int id;
    const char* label;
};

constexpr PanelButton kPanelButtonLabels[] = {
    {patches::kLoadButton, "Load"},
    {patches::kSaveButton, "Save"},
    {patches::kClearPatchButton, "Clear Pa&tch"},
    {patches::kCloseButton, "Close"},
};

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

// ---- StateButton

StateButton::StateButton(const QString& label, QWidget* parent) : QPushButton(label, parent) {}

void StateButton::mousePressEvent(QMouseEvent* event) {
    clickModifiers_ = event->modifiers();
    QPushButton::mousePressEvent(event);
}

void StateButton::mouseReleaseEvent(QMouseEvent* event) {
    clickModifiers_ = event->modifiers();
    QPushButton::mouseReleaseEvent(event);
}

void StateButton::keyPressEvent(QKeyEvent* event) {
    clickModifiers_ = event->modifiers();
    QPushButton::keyPressEvent(event);
}

void StateButton::keyReleaseEvent(QKeyEvent* event) {
    clickModifiers_ = event->modifiers();
    QPushButton::keyReleaseEvent(event);
}

// ---- BankNameField

BankNameField::BankNameField(QWidget* parent) : QLineEdit(parent) {}

void BankNameField::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // A menu or popup taking the keyboard for a moment does not end the editing.
    if (event->reason() == Qt::PopupFocusReason)
        return;
    if (onFocusLost_)
        onFocusLost_(QLineEdit::text().toStdString());
}

// ---- BankPanelWidget

BankPanelWidget::BankPanelWidget(QWidget* parent) : QGroupBox(QStringLiteral("Patch bank"), parent) {
    // A bold title over the panel's normal text.
    QFont normal = font();
    normal.setWeight(QFont::Normal);
    QFont bold = font();
    bold.setWeight(QFont::Bold);
    setFont(bold);
    auto* body = new QWidget;
    body->setFont(normal);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(6, 2, 6, 6);
    outer->addWidget(body);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* bankRow = new QHBoxLayout;
    bankRow->setSpacing(2);
    for (int b = 0; b < kBankButtons; ++b) {
        const int id = patches::kFirstBankButton + b;
        auto* button = new StateButton(QString(QChar('A' + b)));
        button->setCheckable(true);
        button->setObjectName(QStringLiteral("bank_%1").arg(QChar('A' + b)));
        // Letters need little room: the slots below decide the panel's width.
        button->setMinimumWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("WWW")));
        button->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        connect(button, &QPushButton::clicked, this, [this, id] {
            if (handlers_.bankClicked)
                handlers_.bankClicked(id);
        });
        banks_[static_cast<size_t>(b)] = button;
        bankRow->addWidget(button);
    }
    layout->addLayout(bankRow);

    name_ = new BankNameField;
    name_->setObjectName(QStringLiteral("bankName"));
    name_->setMaxLength(kMaxBankNameLength);
    name_->setPlaceholderText(QStringLiteral("Bank name"));
    name_->setFocusLost([this](const std::string& value) {
        if (handlers_.nameLostFocus)
            handlers_.nameLostFocus(value);
    });
    layout->addWidget(name_);

    auto* grid = new QGridLayout;
    grid->setSpacing(2);
    for (int slot = 0; slot < kSlotButtons; ++slot) {
        const int id = patches::kDefaultPatchButton + slot;
        auto* button = new StateButton(slot == 0 ? QStringLiteral("&Default Patch")
                                                 : QStringLiteral("Slot %1").arg(slot));
        button->setCheckable(true);
        button->setObjectName(QStringLiteral("slot_%1").arg(slot));
        connect(button, &QPushButton::clicked, this, [this, id, button] {
            const Qt::KeyboardModifiers held = button->clickModifiers();
            if (handlers_.slotClicked)
                handlers_.slotClicked(id, held.testFlag(Qt::ShiftModifier),
                                      held.testFlag(Qt::ControlModifier));
        });
        slots_[static_cast<size_t>(slot)] = button;
        if (slot == 0)
            grid->addWidget(button, 0, 0, 1, kSlotColumns);
        else
            grid->addWidget(button, 1 + (slot - 1) / kSlotColumns, (slot - 1) % kSlotColumns);
    }
    layout->addLayout(grid);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->setSpacing(2);
    for (size_t n = 0; n < panelButtons_.size(); ++n) {
        const PanelButton& entry = kPanelButtonLabels[n];
        auto* button = new QPushButton(QString::fromLatin1(entry.label));
        button->setObjectName(QStringLiteral("panel_%1").arg(entry.id));
        const int id = entry.id;
        connect(button, &QPushButton::clicked, this, [this, id] {
            if (handlers_.buttonClicked)
                handlers_.buttonClicked(id);
        });
        panelButtons_[n] = button;
        buttonRow->addWidget(button);
    }
    layout->addLayout(buttonRow);
}

void BankPanelWidget::setBankName(const std::string& value) {
    name_->setText(text(value));
}

void BankPanelWidget::promptBankName(const std::string& prompt) {
    name_->setText(text(prompt));
    name_->setFocus(Qt::OtherFocusReason);
    name_->selectAll();
}

void BankPanelWidget::showBank(int bank) {
    for (int b = 0; b < kBankButtons; ++b)
        banks_[static_cast<size_t>(b)]->setChecked(b == bank);
}

void BankPanelWidget::setSlotLabel(int slot, const std::string& label) {
    if (slot >= 0 && slot < kSlotButtons)
        slots_[static_cast<size_t>(slot)]->setText(text(label));
}

void BankPanelWidget::setSlotSelected(int slot, bool selected) {
    if (slot >= 0 && slot < kSlotButtons)
        slots_[static_cast<size_t>(slot)]->setChecked(selected);
}

bool BankPanelWidget::setButton(int id, const shell::ButtonState& state) {
    for (size_t n = 0; n < panelButtons_.size(); ++n) {
        if (kPanelButtonLabels[n].id != id)
            continue;
        panelButtons_[n]->setText(text(state.label));
        panelButtons_[n]->setEnabled(state.enabled);
        return true;
    }
    return false;
}

QWidget* BankPanelWidget::control(int id) const {
    if (id >= patches::kDefaultPatchButton && id <= patches::kLastSlotButton)
        return slots_[static_cast<size_t>(id - patches::kDefaultPatchButton)];
    if (id >= patches::kFirstBankButton && id <= patches::kLastBankButton)
        return banks_[static_cast<size_t>(id - patches::kFirstBankButton)];
    if (id == patches::kNameField)
        return name_;
    for (size_t n = 0; n < panelButtons_.size(); ++n)
        if (kPanelButtonLabels[n].id == id)
            return panelButtons_[n];
    return nullptr;
}

}  // namespace gui
