#pragma once

#include <array>
#include <functional>
#include <string>

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include "patches/PatchPanel.h"
#include "shell/View.h"

namespace gui {

// A push button whose checked state only the program sets: a click is reported
// but does not toggle it. It remembers the Shift and Ctrl keys of the last
// click, for the slot buttons' store and fast-recall clicks.
class StateButton : public QPushButton {
    Q_OBJECT
  public:
    explicit StateButton(const QString& text, QWidget* parent = nullptr);

    Qt::KeyboardModifiers clickModifiers() const { return clickModifiers_; }

  protected:
    void nextCheckState() override {}
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

  private:
    Qt::KeyboardModifiers clickModifiers_;
};

// The bank name field: reports when it loses the keyboard focus.
class BankNameField : public QLineEdit {
    Q_OBJECT
  public:
    explicit BankNameField(QWidget* parent = nullptr);
    void setFocusLost(std::function<void(const std::string&)> handler) { onFocusLost_ = std::move(handler); }

  protected:
    void focusOutEvent(QFocusEvent* event) override;

  private:
    std::function<void(const std::string&)> onFocusLost_;
};

// The patch bank panel: the bank buttons A..H, the bank name field, the Default
// Patch button and the twenty slot buttons, and Load, Save, Clear Patch and
// Close. What it shows is set by the core; clicks go to the handlers.
// Thread: main.
class BankPanelWidget : public QGroupBox {
    Q_OBJECT
  public:
    struct Handlers {
        std::function<void(int id, bool shift, bool ctrl)> slotClicked;  // 1400..1420
        std::function<void(int id)> bankClicked;                         // 1600..1607
        std::function<void(int id)> buttonClicked;                       // 1105, 1106, 1107, 1109
        std::function<void(const std::string& text)> nameLostFocus;
    };

    static constexpr int kMaxBankNameLength = 63;

    explicit BankPanelWidget(QWidget* parent = nullptr);

    void setHandlers(Handlers handlers) { handlers_ = std::move(handlers); }

    void setBankName(const std::string& text);
    // Puts the prompt into the name field, focuses it and selects its text.
    void promptBankName(const std::string& prompt);
    void showBank(int bank);
    void setSlotLabel(int slot, const std::string& label);
    void setSlotSelected(int slot, bool selected);
    // Load, Save, Clear Patch and Close; false for other ids.
    bool setButton(int id, const shell::ButtonState& state);

    // The control with the id (a bank or slot button, the name field, a panel button); null if none.
    QWidget* control(int id) const;
    StateButton* slotButton(int slot) const { return slots_[static_cast<size_t>(slot)]; }
    StateButton* bankButton(int bank) const { return banks_[static_cast<size_t>(bank)]; }
    BankNameField* nameField() const { return name_; }

  private:
    static constexpr int kSlotButtons = patches::kLastSlotButton - patches::kDefaultPatchButton + 1;
    static constexpr int kBankButtons = patches::kLastBankButton - patches::kFirstBankButton + 1;
    static constexpr int kPanelButtons = 4;

    Handlers handlers_;
    std::array<StateButton*, kBankButtons> banks_{};
    std::array<StateButton*, kSlotButtons> slots_{};
    std::array<QPushButton*, kPanelButtons> panelButtons_{};
    BankNameField* name_ = nullptr;
};

}  // namespace gui
