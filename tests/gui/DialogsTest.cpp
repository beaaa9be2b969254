#include "gui/Dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include "midi/MidiControlSettings.h"
#include "midi/MidiResponseDialog.h"
#include "platform/SettingsStore.h"
#include "shell/IoOptionsDialog.h"
#include "shell/LoginDialog.h"
#include "tests/shell/CoreTestSupport.h"

namespace gui {
namespace {

template <typename Widget>
Widget* withText(const QDialog& dialog, const QString& text) {
    for (Widget* widget : dialog.findChildren<Widget*>())
        if (widget->text() == text)
            return widget;
    ADD_FAILURE() << "no control " << text.toStdString();
    return nullptr;
}

template <typename Widget>
Widget* named(const QDialog& dialog, const char* name) {
    auto* widget = dialog.findChild<Widget*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

// A click on a check box or radio from the keyboard (the space bar toggles it as a click does).
void press(QAbstractButton* button) {
    QTest::keyClick(button, Qt::Key_Space);
}

std::unique_ptr<QDialog> shown(std::unique_ptr<QDialog> dialog) {
    dialog->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    return dialog;
}

class IoOptionsWindowTest : public ::testing::Test, public shell::testing::IoOptionsRig {
  protected:
    IoOptionsWindowTest() : IoOptionsRig(22050) {}
    std::unique_ptr<shell::IoOptionsDialog> logic() {
        return std::make_unique<shell::IoOptionsDialog>(parts(), [](std::chrono::milliseconds) {});
    }
};

TEST_F(IoOptionsWindowTest, OkKeepsWhatThePagesChangedAndCancelPutsItBack) {
    std::vector<std::string> helpAsked;
    const HelpRequest help = [&helpAsked](const std::string& keyword) { helpAsked.push_back(keyword); };
    auto edited = logic();
    auto dialog = shown(makeIoOptionsDialog(nullptr, *edited, help));
    auto* rates = named<QComboBox>(*dialog, "sampleRate");
    auto* label = named<QLabel>(*dialog, "bufferLabel");
    ASSERT_TRUE(rates && label);
    const auto shows = [&] {
        return std::tuple(rates->currentText().toStdString(), label->text().toStdString());
    };
    EXPECT_EQ(dialog->windowTitle(), "In/Out Options");
    EXPECT_EQ(shows(), std::tuple("22050", "1024 frames, 46 ms"));  // 4 × 256 frames at 22050 Hz

    QTest::keyClick(rates, Qt::Key_Up);  // the rate listed before 22050
    EXPECT_EQ(shows(), std::tuple("32000", "1024 frames, 32 ms"));
    press(withText<QCheckBox>(*dialog, "Stereo"));
    QTest::keyClick(dialog.get(), Qt::Key_F1);
    EXPECT_EQ(helpAsked, std::vector<std::string>{"I/O Options"});
    QTest::mouseClick(withText<QPushButton>(*dialog, "&OK"), Qt::LeftButton);
    EXPECT_EQ(std::tuple(dialog->result(), sound.sampleRate, sound.stereo, engine.outputFormat().rate),
              std::tuple(QDialog::Accepted, 32000u, false, 32000u));

    auto undone = logic();
    auto again = shown(makeIoOptionsDialog(nullptr, *undone, help));
    auto* stereo = withText<QCheckBox>(*again, "Stereo");
    EXPECT_FALSE(stereo->isChecked());
    QTest::keyClick(named<QComboBox>(*again, "sampleRate"), Qt::Key_End);
    press(stereo);
    EXPECT_EQ(std::pair(sound.sampleRate, sound.stereo), std::pair(8000u, true));
    QTest::mouseClick(withText<QPushButton>(*again, "&Cancel"), Qt::LeftButton);
    EXPECT_EQ(std::tuple(again->result(), sound.sampleRate, sound.stereo),
              std::tuple(QDialog::Rejected, 32000u, false));
}

TEST(MidiResponseWindowTest, ControlsFollowTheOptionsCancelRestoresThemAndAConfirmedRowIsStoredPacked) {
    midi::MidiControlSettings settings;  // note pitches off, notes never stop the sound
    midi::MidiResponseDialog logic(settings);
    auto dialog = shown(makeMidiResponseDialog(nullptr, logic, {}));
    EXPECT_EQ(dialog->windowTitle(), "Configure MIDI Response Options");
    auto* newNoteOn = withText<QRadioButton>(*dialog, "New Note on");
    auto* untied = withText<QRadioButton>(*dialog, "(Untied) Note off");
    EXPECT_EQ(std::pair(newNoteOn->isEnabled(), untied->isEnabled()), std::pair(false, false));

    press(withText<QCheckBox>(*dialog, "Note value --> Pitch"));
    EXPECT_TRUE(settings.noteToPitch.load());
    press(withText<QCheckBox>(*dialog, "Note-off Stops Sound:"));
    EXPECT_EQ(std::tuple(newNoteOn->isEnabled(), untied->isChecked(), newNoteOn->isChecked(),
                         settings.noteStopMode.load()),
              std::tuple(true, true, false, 4));
    press(newNoteOn);
    EXPECT_EQ(std::tuple(newNoteOn->isChecked(), untied->isChecked(), settings.noteStopMode.load()),
              std::tuple(true, false, 2));
    auto* bend = named<QSlider>(*dialog, "pitchBendRange");
    QTest::keyClick(bend, Qt::Key_Right);
    QTest::keyClick(bend, Qt::Key_Right);
    EXPECT_EQ(std::pair(named<QLabel>(*dialog, "pitchBendLabel")->text().toStdString(),
                        settings.maxPitchBend.load()),
              std::pair(std::string("2 notes"), 2));

    QTest::mouseClick(withText<QPushButton>(*dialog, "&Cancel"), Qt::LeftButton);
    EXPECT_EQ(std::tuple(dialog->result(), settings.noteToPitch.load(), settings.noteStopMode.load(),
                         settings.maxPitchBend.load()),
              std::tuple(QDialog::Rejected, false, 0, 0));

    midi::MidiResponseDialog rows(settings);
    auto edit = shown(makeMidiResponseDialog(nullptr, rows, {}));
    QTest::keyClick(named<QComboBox>(*edit, "source1"), Qt::Key_Down);  // "Velocity"
    auto* target = named<QComboBox>(*edit, "target1");
    QTest::keyClick(target, Qt::Key_End);
    EXPECT_EQ(target->currentText(), "Output amp");
    auto* to = named<QLineEdit>(*edit, "to1");
    to->clear();
    QTest::keyClicks(to, "150");
    // Enter leaves the edit (clamped to 100) and presses OK.
    QTest::keyClick(to, Qt::Key_Return);
    EXPECT_EQ(std::pair(to->text().toStdString(), edit->result()),
              std::pair(std::string("100"), int(QDialog::Accepted)));
    // Source index 1 in bits 28..31 with the velocity flag 0x4000000, target 12 in bits 16..19,
    // From 0, To 100.
    EXPECT_EQ(settings.rows[0].load(), 0x140C0064u);
}

TEST(LoginWindowTest, LogsInATypedNameAndDeletesAUserWithCtrlShift) {
    platform::SettingsStore store;
    for (const char* name : {"amy", "bob"})
        store.setText(std::string("Software\\Wavecraft\\Frisson\\Users\\") + name, "Version", "v");
    std::vector<std::string> helpAsked;
    const HelpRequest help = [&helpAsked](const std::string& keyword) { helpAsked.push_back(keyword); };

    shell::LoginDialog newUser(store, "", true);
    auto dialog = shown(makeLoginDialog(nullptr, newUser, help));
    EXPECT_EQ(dialog->windowTitle(), "Fizz Login");
    auto* names = named<QComboBox>(*dialog, "loginName");
    EXPECT_EQ(std::pair(names->count(), names->currentText().toStdString()),
              std::pair(3, std::string("Default")));
    QTest::keyClick(names, Qt::Key_F1);
    EXPECT_EQ(helpAsked, std::vector<std::string>{"Login Window"});
    press(withText<QCheckBox>(*dialog, "Don't show this dialog next session."));
    EXPECT_FALSE(newUser.doStartupLogin());
    names->lineEdit()->clear();
    QTest::keyClicks(names->lineEdit(), "carol");
    QTest::mouseClick(withText<QPushButton>(*dialog, "Log In"), Qt::LeftButton);
    EXPECT_EQ(std::pair(dialog->result(), newUser.userName()),
              std::pair(int(QDialog::Accepted), std::string("carol")));

    // Bob is logged in and selected: Log In with Ctrl and Shift deletes him and stays open.
    shell::LoginDialog asBob(store, "bob", true);
    auto second = shown(makeLoginDialog(nullptr, asBob, help));
    auto* list = named<QComboBox>(*second, "loginName");
    EXPECT_EQ(list->currentText(), "bob");
    QTest::mouseClick(withText<QPushButton>(*second, "Log In"), Qt::LeftButton,
                      Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(std::tuple(second->isVisible(), list->count(), list->currentText().toStdString(),
                         store.keyExists("Software\\Wavecraft\\Frisson\\Users\\bob")),
              std::tuple(true, 2, "Default", false));
    QTest::mouseClick(withText<QPushButton>(*second, "Use Default"), Qt::LeftButton);
    EXPECT_EQ(std::pair(second->result(), asBob.userName()),
              std::pair(int(QDialog::Accepted), std::string()));
}

}  // namespace
}  // namespace gui
