#pragma once

#include <functional>
#include <memory>
#include <string>

class QDialog;
class QWidget;

namespace midi {
class MidiResponseDialog;
}
namespace shell {
class IoOptionsDialog;
class LoginDialog;
}  // namespace shell

namespace gui {

// Opens help at a topic keyword ("Login Window", ...) or its contents (empty).
using HelpRequest = std::function<void(const std::string& keyword)>;

// The modal dialogs of the main window. Each builds its widgets from the
// logic object's state, forwards every user action to it and ends as the
// logic decides. Thread: main.

// "Fizz Login": true when the dialog ended with Use Default or Log In.
bool runLoginDialog(QWidget* parent, shell::LoginDialog& dialog, const HelpRequest& help);
// "In/Out Options" with its "Sound output" and "MIDI input" pages: true on OK.
bool runIoOptionsDialog(QWidget* parent, shell::IoOptionsDialog& dialog, const HelpRequest& help);
// "Configure MIDI Response Options": true on OK (the options are then stored by the dialog logic).
bool runMidiResponseDialog(QWidget* parent, midi::MidiResponseDialog& dialog, const HelpRequest& help);
// The about box.
void showAbout(QWidget* parent, const std::string& text);

// The same dialogs built but not run, for screenshots and tests.
std::unique_ptr<QDialog> makeLoginDialog(QWidget* parent, shell::LoginDialog& dialog,
                                         const HelpRequest& help);
std::unique_ptr<QDialog> makeIoOptionsDialog(QWidget* parent, shell::IoOptionsDialog& dialog,
                                             const HelpRequest& help);
std::unique_ptr<QDialog> makeMidiResponseDialog(QWidget* parent, midi::MidiResponseDialog& dialog,
                                                const HelpRequest& help);

}  // namespace gui
