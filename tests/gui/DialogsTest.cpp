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

struct NoMidiInput : shell::MidiInputPort {
    std::vector<std::string> deviceNames() const override { return {}; }
    bool openMidiInput() override { return true; }
};

class IoOptionsWindowTest : public ::testing::Test, public shell::testing::PlayRig {
  protected:
    IoOptionsWindowTest() : PlayRig(22050) {}
    std::unique_ptr<shell::IoOptionsDialog> logic() {
        return std::make_unique<shell::IoOptionsDialog>(
            shell::IoOptionsDialog::Parts{sound, midi, audio, alsaDevices, control, engine, nullptr,
                                          midiInput},
            [](std::chrono::milliseconds) {});
    }

    midi::MidiControlSettings midi;
    NoMidiInput midiInput;
};

TEST_F(IoOptionsWindowTest, OkKeepsWhatThePagesChangedAndCancelPutsItBack) {
    std::vector<std::string> helpAsked;
    const HelpRequest help = [&helpAsked](const std::string& keyword) { helpAsked.push_back(keyword); };
    auto edited = logic();
    auto dialog = shown(makeIoOptionsDialog(nullptr, *edited, help));
    EXPECT_EQ(dialog->windowTitle(), "In/Out Options");
    auto* rates = named<QComboBox>(*dialog, "sampleRate");
    auto* label = named<QLabel>(*dialog, "bufferLabel");
    ASSERT_TRUE(rates && label);
    EXPECT_EQ(rates->currentText(), "22050");
    EXPECT_EQ(label->text(), "1024 frames, 46 ms");  // 4 × 256 frames at 22050 Hz

    QTest::keyClick(rates, Qt::Key_Up);  // the rate listed before 22050
    EXPECT_EQ(rates->currentText(), "32000");
    EXPECT_EQ(label->text(), "1024 frames, 32 ms");
    press(withText<QCheckBox>(*dialog, "Stereo"));
    QTest::keyClick(dialog.get(), Qt::Key_F1);
    EXPECT_EQ(helpAsked, std::vector<std::string>{"I/O Options"});
    QTest::mouseClick(withText<QPushButton>(*dialog, "&OK"), Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(sound.sampleRate, 32000u);
    EXPECT_FALSE(sound.stereo);
    EXPECT_EQ(engine.outputFormat().rate, 32000u);

    auto undone = logic();
    auto again = shown(makeIoOptionsDialog(nullptr, *undone, help));
    auto* stereo = withText<QCheckBox>(*again, "Stereo");
    EXPECT_FALSE(stereo->isChecked());
    QTest::keyClick(named<QComboBox>(*again, "sampleRate"), Qt::Key_End);
    press(stereo);
    EXPECT_EQ(sound.sampleRate, 8000u);
    EXPECT_TRUE(sound.stereo);
    QTest::mouseClick(withText<QPushButton>(*again, "&Cancel"), Qt::LeftButton);
    EXPECT_EQ(again->result(), QDialog::Rejected);
    EXPECT_EQ(sound.sampleRate, 32000u);
    EXPECT_FALSE(sound.stereo);
}

TEST(MidiResponseWindowTest, ControlsFollowTheOptionsAndCancelRestoresThem) {
    midi::MidiControlSettings settings;  // note pitches off, notes never stop the sound
    midi::MidiResponseDialog logic(settings);
    auto dialog = shown(makeMidiResponseDialog(nullptr, logic, {}));
    EXPECT_EQ(dialog->windowTitle(), "Configure MIDI Response Options");
    auto* newNoteOn = withText<QRadioButton>(*dialog, "New Note on");
    auto* untied = withText<QRadioButton>(*dialog, "(Untied) Note off");
    EXPECT_FALSE(newNoteOn->isEnabled());
    EXPECT_FALSE(untied->isEnabled());

    press(withText<QCheckBox>(*dialog, "Note value --> Pitch"));
    EXPECT_TRUE(settings.noteToPitch.load());
    press(withText<QCheckBox>(*dialog, "Note-off Stops Sound:"));
    EXPECT_TRUE(newNoteOn->isEnabled());
    EXPECT_TRUE(untied->isChecked());
    EXPECT_FALSE(newNoteOn->isChecked());
    EXPECT_EQ(settings.noteStopMode.load(), 4);
    press(newNoteOn);
    EXPECT_TRUE(newNoteOn->isChecked());
    EXPECT_FALSE(untied->isChecked());
    EXPECT_EQ(settings.noteStopMode.load(), 2);
    auto* bend = named<QSlider>(*dialog, "pitchBendRange");
    QTest::keyClick(bend, Qt::Key_Right);
    QTest::keyClick(bend, Qt::Key_Right);
    EXPECT_EQ(named<QLabel>(*dialog, "pitchBendLabel")->text(), "2 notes");
    EXPECT_EQ(settings.maxPitchBend.load(), 2);

    QTest::mouseClick(withText<QPushButton>(*dialog, "&Cancel"), Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(settings.noteToPitch.load());
    EXPECT_EQ(settings.noteStopMode.load(), 0);
    EXPECT_EQ(settings.maxPitchBend.load(), 0);
}

TEST(MidiResponseWindowTest, ARowEditedAndConfirmedIsStoredPacked) {
    midi::MidiControlSettings settings;
    midi::MidiResponseDialog logic(settings);
    auto dialog = shown(makeMidiResponseDialog(nullptr, logic, {}));
    QTest::keyClick(named<QComboBox>(*dialog, "source1"), Qt::Key_Down);  // "Velocity"
    auto* target = named<QComboBox>(*dialog, "target1");
    QTest::keyClick(target, Qt::Key_End);
    EXPECT_EQ(target->currentText(), "Output amp");
    auto* to = named<QLineEdit>(*dialog, "to1");
    to->clear();
    QTest::keyClicks(to, "150");
    // Enter leaves the edit (clamped to 100) and presses OK.
    QTest::keyClick(to, Qt::Key_Return);
    EXPECT_EQ(to->text(), "100");
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
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
    ASSERT_EQ(names->count(), 3);
    EXPECT_EQ(names->currentText(), "Default");
    QTest::keyClick(names, Qt::Key_F1);
    EXPECT_EQ(helpAsked, std::vector<std::string>{"Login Window"});
    press(withText<QCheckBox>(*dialog, "Don't show this dialog next session."));
    EXPECT_FALSE(newUser.doStartupLogin());
    names->lineEdit()->clear();
    QTest::keyClicks(names->lineEdit(), "carol");
    QTest::mouseClick(withText<QPushButton>(*dialog, "Log In"), Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(newUser.userName(), "carol");

    // Bob is logged in and selected: Log In with Ctrl and Shift deletes him and stays open.
    shell::LoginDialog asBob(store, "bob", true);
    auto second = shown(makeLoginDialog(nullptr, asBob, help));
    auto* list = named<QComboBox>(*second, "loginName");
    EXPECT_EQ(list->currentText(), "bob");
    QTest::mouseClick(withText<QPushButton>(*second, "Log In"), Qt::LeftButton,
                      Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(second->isVisible());
    EXPECT_EQ(list->count(), 2);
    EXPECT_EQ(list->currentText(), "Default");
    EXPECT_FALSE(store.keyExists("Software\\Wavecraft\\Frisson\\Users\\bob"));
    QTest::mouseClick(withText<QPushButton>(*second, "Use Default"), Qt::LeftButton);
    EXPECT_EQ(second->result(), QDialog::Accepted);
    EXPECT_EQ(asBob.userName(), "");
}

}  // namespace
}  // namespace gui
