#include "gui/Dialogs.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "midi/MidiControlSettings.h"
#include "midi/MidiResponseDialog.h"
#include "midi/ResponseTables.h"
#include "shell/IoOptionsDialog.h"
#include "shell/LoginDialog.h"

namespace gui {
namespace {

constexpr const char* kLoginTitle = "Fizz Login";
constexpr const char* kLoginHelp = "Login Window";
constexpr const char* kLoginText =
    "Select or create a login handle for your folder and performance options.      (Hit F1 for help)";
constexpr const char* kIoOptionsTitle = "In/Out Options";
constexpr const char* kIoOptionsHelp = "I/O Options";
constexpr const char* kAboutCaption = "About Frisson";
constexpr int kPercentMax = 100;
constexpr int kMidiChannelEditWidth = 40;
constexpr int kPercentEditWidth = 36;
constexpr int kArrowExtraWidth = 4;
constexpr int kLoginTextWidthInChars = 60;

QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The number an edit holds, as the dialogs read it: anything that is not a
// number reads as 0; very long numbers saturate.
int32_t numberIn(const QString& text) {
    bool isNumber = false;
    const qlonglong value = text.trimmed().toLongLong(&isNumber);
    if (!isNumber)
        return 0;
    return static_cast<int32_t>(std::clamp<qlonglong>(value, std::numeric_limits<int32_t>::min(),
                                                      std::numeric_limits<int32_t>::max()));
}

QLabel* boldLabel(const char* text) {
    auto* label = new QLabel(QString::fromUtf8(text));
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    return label;
}

// A modal dialog run by a logic object: F1 opens its help topic, and Esc or
// the close box runs the dialog's cancel action before it ends.
class LogicDialog : public QDialog {
  public:
    LogicDialog(QWidget* parent, const char* title, HelpRequest help, std::string keyword)
        : QDialog(parent), help_(std::move(help)), keyword_(std::move(keyword)) {
        setWindowTitle(QString::fromUtf8(title));
    }

    void setCancelAction(std::function<void()> action) { cancel_ = std::move(action); }
    void showHelp() const {
        if (help_)
            help_(keyword_);
    }

    void reject() override {
        if (cancel_)
            cancel_();
        QDialog::reject();
    }

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_F1) {
            showHelp();
            return;
        }
        QDialog::keyPressEvent(event);
    }

  private:
    HelpRequest help_;
    std::string keyword_;
    std::function<void()> cancel_;
};

// An edit with an up-down beside it. The arrows step the number within
// [min, max]; the text goes to `commit` when the edit loses the focus (or
// Enter is pressed) and after each arrow step, and the edit then shows what
// `commit` returns.
class UpDownEdit : public QWidget {
  public:
    using Commit = std::function<QString(const QString&)>;

    UpDownEdit(int min, int max, int editWidth, Commit commit)
        : min_(min), max_(max), commit_(std::move(commit)), edit_(new QLineEdit) {
        edit_->setFixedWidth(editWidth);
        auto* up = new QToolButton;
        auto* down = new QToolButton;
        up->setArrowType(Qt::UpArrow);
        down->setArrowType(Qt::DownArrow);
        // The two arrows together are as high as the edit.
        const int arrowHeight = edit_->sizeHint().height() / 2;
        for (QToolButton* arrow : {up, down}) {
            arrow->setAutoRepeat(true);
            arrow->setFocusPolicy(Qt::NoFocus);
            arrow->setFixedSize(arrowHeight + kArrowExtraWidth, arrowHeight);
        }
        auto* arrows = new QVBoxLayout;
        arrows->setContentsMargins(0, 0, 0, 0);
        arrows->setSpacing(0);
        arrows->addWidget(up);
        arrows->addWidget(down);
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(1);
        row->addWidget(edit_);
        row->addLayout(arrows);
        QObject::connect(edit_, &QLineEdit::editingFinished, this, [this] { apply(edit_->text()); });
        QObject::connect(up, &QToolButton::clicked, this, [this] { step(1); });
        QObject::connect(down, &QToolButton::clicked, this, [this] { step(-1); });
    }

    QLineEdit* edit() const { return edit_; }
    void show(const QString& text) {
        if (edit_->text() != text)
            edit_->setText(text);
    }

  private:
    void step(int by) {
        const int32_t now = std::clamp<int32_t>(numberIn(edit_->text()), min_, max_);
        apply(QString::number(std::clamp<int32_t>(now + by, min_, max_)));
    }
    void apply(const QString& text) { show(commit_(text)); }

    int min_;
    int max_;
    Commit commit_;
    QLineEdit* edit_;
};

QPushButton* addButton(QHBoxLayout* row, const char* text) {
    auto* button = new QPushButton(QString::fromUtf8(text));
    row->addWidget(button);
    return button;
}

}  // namespace

// ---- "Fizz Login"

std::unique_ptr<QDialog> makeLoginDialog(QWidget* parent, shell::LoginDialog& logic,
                                         const HelpRequest& help) {
    auto dialog = std::make_unique<LogicDialog>(parent, kLoginTitle, help, kLoginHelp);
    LogicDialog* d = dialog.get();

    auto* text = new QLabel(QString::fromUtf8(kLoginText));
    text->setWordWrap(true);
    text->setMinimumWidth(text->fontMetrics().averageCharWidth() * kLoginTextWidthInChars);
    auto* names = new QComboBox;
    names->setObjectName("loginName");
    names->setEditable(true);
    names->setInsertPolicy(QComboBox::NoInsert);
    names->lineEdit()->setMaxLength(static_cast<int>(shell::kLoginNameBoxLength));
    names->setMinimumContentsLength(24);
    auto fillNames = [names, &logic] {
        const QSignalBlocker blocker(names);
        names->clear();
        for (const std::string& entry : logic.entries())
            names->addItem(qs(entry));
        names->setCurrentIndex(logic.selected());
    };
    fillNames();
    auto* dontShow = new QCheckBox("Don't show this dialog next session.");
    dontShow->setChecked(logic.dontShowAgain());
    QObject::connect(dontShow, &QCheckBox::toggled, d,
                     [&logic](bool checked) { logic.setDontShowAgain(checked); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    QPushButton* useDefault = addButton(buttons, "Use Default");
    QPushButton* logIn = addButton(buttons, "Log In");
    logIn->setDefault(true);
    QObject::connect(useDefault, &QPushButton::clicked, d, [d, &logic] {
        logic.useDefault();
        d->accept();
    });
    QObject::connect(logIn, &QPushButton::clicked, d, [d, names, fillNames, &logic] {
        const Qt::KeyboardModifiers held = QGuiApplication::keyboardModifiers();
        const bool ctrlAndShift = held.testFlag(Qt::ControlModifier) && held.testFlag(Qt::ShiftModifier);
        const std::vector<std::string> before = logic.entries();
        if (logic.logIn(names->currentText().toStdString(), names->currentIndex(), ctrlAndShift)) {
            d->accept();
        } else if (logic.entries() != before) {
            fillNames();  // a user was deleted: "Default" is selected again
        }
    });

    auto* layout = new QVBoxLayout(d);
    layout->addWidget(text);
    layout->addWidget(names);
    layout->addWidget(dontShow);
    layout->addLayout(buttons);
    return dialog;
}

bool runLoginDialog(QWidget* parent, shell::LoginDialog& dialog, const HelpRequest& help) {
    return makeLoginDialog(parent, dialog, help)->exec() == QDialog::Accepted;
}

// ---- "In/Out Options"

namespace {

QWidget* soundOutputPage(shell::IoOptionsDialog& logic, QDialog* dialog, QPushButton*& testPlay) {
    auto* page = new QWidget;
    auto* devices = new QComboBox;
    devices->setObjectName("outputDevice");
    for (const output::DeviceChoice& choice : logic.deviceChoices())
        devices->addItem(qs(choice.text));
    devices->setCurrentIndex(logic.selectedDevice());

    auto* rates = new QComboBox;
    rates->setObjectName("sampleRate");
    for (std::uint32_t rate : shell::IoOptionsDialog::kSampleRates)
        rates->addItem(QString::number(rate));
    rates->setCurrentIndex(logic.selectedRate());

    auto* stereo = new QCheckBox("Stereo");
    stereo->setChecked(logic.stereo());

    auto* buffer = new QSlider(Qt::Horizontal);
    buffer->setObjectName("bufferSize");
    buffer->setRange(shell::IoOptionsDialog::kMinTrackPosition, shell::IoOptionsDialog::kMaxTrackPosition);
    buffer->setPageStep(1);
    buffer->setSingleStep(1);
    buffer->setTickPosition(QSlider::TicksBelow);
    buffer->setTickInterval(1);
    buffer->setValue(logic.trackPosition());
    auto* bufferLabel = new QLabel(qs(logic.bufferLabel()));
    bufferLabel->setObjectName("bufferLabel");
    auto showLabel = [bufferLabel, &logic] { bufferLabel->setText(qs(logic.bufferLabel())); };

    testPlay = new QPushButton("&Test Play");
    testPlay->setCheckable(true);
    testPlay->setAutoDefault(false);
    QPushButton* test = testPlay;
    auto showTestPlay = [test, &logic] { test->setChecked(logic.testPlayChecked()); };

    QObject::connect(devices, &QComboBox::activated, dialog, [&logic, showLabel](int entry) {
        logic.chooseDevice(entry);
        showLabel();
    });
    QObject::connect(rates, &QComboBox::activated, dialog, [&logic, showLabel](int entry) {
        logic.chooseRate(entry);
        showLabel();
    });
    QObject::connect(stereo, &QCheckBox::clicked, dialog, [&logic, showLabel](bool checked) {
        logic.setStereo(checked);
        showLabel();
    });
    QObject::connect(buffer, &QSlider::valueChanged, dialog, [&logic, showLabel](int position) {
        logic.moveTrackBar(position);
        showLabel();
    });
    QObject::connect(testPlay, &QPushButton::clicked, dialog, [&logic, showTestPlay] {
        logic.testPlayClicked();
        showTestPlay();
    });
    // A test play stops when the button loses the keyboard focus (OK and Cancel take it).
    struct FocusWatch : QObject {
        std::function<void()> lost;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::FocusOut)
                lost();
            return false;
        }
    };
    auto* watch = new FocusWatch;
    watch->setParent(testPlay);
    watch->lost = [&logic, showTestPlay] {
        logic.testPlayLostFocus();
        showTestPlay();
    };
    testPlay->installEventFilter(watch);

    auto* bufferRow = new QHBoxLayout;
    bufferRow->addWidget(buffer, 1);
    bufferRow->addWidget(bufferLabel);
    auto* lastRow = new QHBoxLayout;
    lastRow->addWidget(stereo);
    lastRow->addStretch();
    lastRow->addWidget(testPlay);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(boldLabel("Select audio output device"));
    layout->addWidget(devices);
    layout->addWidget(rates);
    layout->addLayout(bufferRow);
    layout->addLayout(lastRow);
    layout->addStretch();
    return page;
}

QWidget* midiInputPage(shell::IoOptionsDialog& logic, QDialog* dialog) {
    auto* page = new QWidget;
    auto* devices = new QComboBox;
    devices->setObjectName("midiDevice");
    for (const std::string& entry : logic.midiDeviceEntries())
        devices->addItem(qs(entry));
    devices->setCurrentIndex(logic.selectedMidiEntry());
    QObject::connect(devices, &QComboBox::activated, dialog,
                     [&logic](int entry) { logic.chooseMidiDevice(entry); });

    auto* channel = new UpDownEdit(
        0, shell::IoOptionsDialog::kMaxMidiChannel, kMidiChannelEditWidth,
        [&logic](const QString& text) { return qs(logic.channelEditLostFocus(text.toStdString())); });
    channel->edit()->setObjectName("midiChannel");
    channel->show(QString::number(logic.midiChannel()));

    auto* moveSliders = new QCheckBox("Move sliders");
    moveSliders->setChecked(logic.moveSliders());
    auto* monitor = new QCheckBox("Monitor input");
    monitor->setChecked(logic.monitorInput());
    QObject::connect(moveSliders, &QCheckBox::clicked, dialog,
                     [&logic](bool on) { logic.setMoveSliders(on); });
    QObject::connect(monitor, &QCheckBox::clicked, dialog, [&logic](bool on) { logic.setMonitorInput(on); });

    auto* channelRow = new QHBoxLayout;
    channelRow->addWidget(channel);
    channelRow->addWidget(new QLabel("MIDI ch. (0=Omni)"));
    channelRow->addStretch();
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(boldLabel("Select MIDI input device"));
    layout->addWidget(devices);
    layout->addLayout(channelRow);
    layout->addWidget(moveSliders);
    layout->addWidget(monitor);
    layout->addStretch();
    return page;
}

}  // namespace

std::unique_ptr<QDialog> makeIoOptionsDialog(QWidget* parent, shell::IoOptionsDialog& logic,
                                             const HelpRequest& help) {
    auto dialog = std::make_unique<LogicDialog>(parent, kIoOptionsTitle, help, kIoOptionsHelp);
    LogicDialog* d = dialog.get();
    dialog->setCancelAction([&logic] { logic.cancel(); });

    QPushButton* testPlay = nullptr;
    auto* tabs = new QTabWidget;
    tabs->addTab(soundOutputPage(logic, d, testPlay), "Sound output");
    tabs->addTab(midiInputPage(logic, d), "MIDI input");

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    QPushButton* ok = addButton(buttons, "&OK");
    QPushButton* cancel = addButton(buttons, "&Cancel");
    QPushButton* helpButton = addButton(buttons, "&Help");
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, d, [d, testPlay, &logic] {
        std::string fatal;
        const bool ends = logic.ok(fatal);
        testPlay->setChecked(logic.testPlayChecked());
        if (!ends)
            return;  // the MIDI device could not be opened; its error was shown
        // Buffers that cannot be allocated are the core's fatal error: it finds them
        // missing when it applies the settings after the dialog.
        d->accept();
    });
    QObject::connect(cancel, &QPushButton::clicked, d, [d] { d->reject(); });
    QObject::connect(helpButton, &QPushButton::clicked, d, [d] { d->showHelp(); });

    auto* layout = new QVBoxLayout(d);
    layout->addWidget(tabs);
    layout->addLayout(buttons);
    return dialog;
}

bool runIoOptionsDialog(QWidget* parent, shell::IoOptionsDialog& dialog, const HelpRequest& help) {
    return makeIoOptionsDialog(parent, dialog, help)->exec() == QDialog::Accepted;
}

// ---- "Configure MIDI Response Options"

namespace {

// The widgets of the dialog; show() puts the logic's control state into them.
struct ResponseWidgets {
    QCheckBox* noteToPitch = nullptr;
    QCheckBox* noteOffStops = nullptr;
    QRadioButton* newNoteOn = nullptr;
    QRadioButton* untiedNoteOff = nullptr;
    QCheckBox* newNote = nullptr;
    QCheckBox* tiedNote = nullptr;
    QSlider* pitchBend = nullptr;
    QLabel* pitchBendLabel = nullptr;
    struct Row {
        QComboBox* source = nullptr;
        QComboBox* target = nullptr;
        UpDownEdit* from = nullptr;
        UpDownEdit* to = nullptr;
    };
    std::array<Row, midi::kResponseRowCount> rows{};

    void show(const midi::MidiResponseDialog::Controls& c) const {
        auto box = [](QAbstractButton* button, const midi::MidiResponseDialog::CheckBox& state) {
            const QSignalBlocker blocker(button);
            button->setChecked(state.checked);
            button->setEnabled(state.enabled);
        };
        box(noteToPitch, c.noteToPitch);
        box(noteOffStops, c.noteOffStops);
        box(newNoteOn, c.newNoteOn);
        box(untiedNoteOff, c.untiedNoteOff);
        box(newNote, c.newNote);
        box(tiedNote, c.tiedNote);
        {
            const QSignalBlocker blocker(pitchBend);
            pitchBend->setValue(c.pitchBendSlider);
        }
        pitchBendLabel->setText(qs(c.pitchBendLabel));
        for (size_t i = 0; i < rows.size(); ++i) {
            const midi::MidiResponseDialog::RowControls& row = c.rows[i];
            rows[i].source->setCurrentIndex(row.sourceIndex);
            rows[i].target->setCurrentIndex(row.targetIndex);
            rows[i].from->show(QString::number(row.from));
            rows[i].to->show(QString::number(row.to));
        }
    }
};

}  // namespace

std::unique_ptr<QDialog> makeMidiResponseDialog(QWidget* parent, midi::MidiResponseDialog& logic,
                                                const HelpRequest& help) {
    using Logic = midi::MidiResponseDialog;
    auto dialog = std::make_unique<LogicDialog>(parent, Logic::kTitle, help, Logic::kHelpKeyword);
    LogicDialog* d = dialog.get();
    dialog->setCancelAction([&logic] { logic.cancel(); });

    auto widgets = std::make_shared<ResponseWidgets>();
    ResponseWidgets& w = *widgets;
    auto refresh = [widgets, &logic] { widgets->show(logic.controls()); };
    // Each control forwards its action to the logic, then every control shows the logic's state.
    auto forward = [refresh](std::function<void()> action) {
        return [action = std::move(action), refresh] {
            action();
            refresh();
        };
    };

    w.noteToPitch = new QCheckBox("Note value --> Pitch");
    w.noteOffStops = new QCheckBox("Note-off Stops Sound:");
    w.newNoteOn = new QRadioButton("New Note on");
    w.untiedNoteOff = new QRadioButton("(Untied) Note off");
    w.newNote = new QCheckBox("New note");
    w.tiedNote = new QCheckBox("Tied note");
    // The logic decides which radio is checked.
    w.newNoteOn->setAutoExclusive(false);
    w.untiedNoteOff->setAutoExclusive(false);
    QObject::connect(w.noteToPitch, &QCheckBox::clicked, d, forward([&logic] { logic.clickNoteToPitch(); }));
    QObject::connect(w.noteOffStops, &QCheckBox::clicked, d,
                     forward([&logic] { logic.clickNoteOffStops(); }));
    QObject::connect(w.newNoteOn, &QRadioButton::clicked, d,
                     forward([&logic] { logic.clickStopRadio(Logic::kNewNoteOnId); }));
    QObject::connect(w.untiedNoteOff, &QRadioButton::clicked, d,
                     forward([&logic] { logic.clickStopRadio(Logic::kUntiedNoteOffId); }));
    QObject::connect(w.newNote, &QCheckBox::clicked, d, forward([&logic] { logic.clickNewNote(); }));
    QObject::connect(w.tiedNote, &QCheckBox::clicked, d, forward([&logic] { logic.clickTiedNote(); }));

    w.pitchBend = new QSlider(Qt::Horizontal);
    w.pitchBend->setObjectName("pitchBendRange");
    w.pitchBend->setRange(0, midi::kMaxPitchBendRange);
    w.pitchBend->setPageStep(1);
    w.pitchBend->setTickPosition(QSlider::TicksBelow);
    w.pitchBendLabel = new QLabel;
    w.pitchBendLabel->setObjectName("pitchBendLabel");
    QObject::connect(w.pitchBend, &QSlider::valueChanged, d, [&logic, refresh](int position) {
        logic.movePitchBendSlider(position);
        refresh();
    });

    auto* rowsGrid = new QGridLayout;
    rowsGrid->addWidget(new QLabel("Source"), 0, 0);
    rowsGrid->addWidget(new QLabel("Target"), 0, 1);
    rowsGrid->addWidget(new QLabel("From %"), 0, 2);
    rowsGrid->addWidget(new QLabel("To %"), 0, 3);
    for (int i = 0; i < midi::kResponseRowCount; ++i) {
        ResponseWidgets::Row& row = w.rows[static_cast<size_t>(i)];
        row.source = new QComboBox;
        row.source->setObjectName(QString("source%1").arg(i + 1));
        for (const midi::ResponseSource& source : midi::kResponseSources)
            row.source->addItem(qs(source.text));
        row.target = new QComboBox;
        row.target->setObjectName(QString("target%1").arg(i + 1));
        for (const midi::ResponseTarget& target : midi::kResponseTargets)
            row.target->addItem(qs(target.text));
        QObject::connect(row.source, &QComboBox::activated, d, [&logic, refresh, i](int index) {
            logic.chooseSource(i, index);
            refresh();
        });
        QObject::connect(row.target, &QComboBox::activated, d, [&logic, refresh, i](int index) {
            logic.chooseTarget(i, index);
            refresh();
        });
        row.from = new UpDownEdit(0, kPercentMax, kPercentEditWidth, [&logic, i](const QString& text) {
            logic.leaveFromEdit(i, numberIn(text));
            return QString::number(logic.controls().rows[static_cast<size_t>(i)].from);
        });
        row.to = new UpDownEdit(0, kPercentMax, kPercentEditWidth, [&logic, i](const QString& text) {
            logic.leaveToEdit(i, numberIn(text));
            return QString::number(logic.controls().rows[static_cast<size_t>(i)].to);
        });
        row.from->edit()->setObjectName(QString("from%1").arg(i + 1));
        row.to->edit()->setObjectName(QString("to%1").arg(i + 1));
        rowsGrid->addWidget(row.source, i + 1, 0);
        rowsGrid->addWidget(row.target, i + 1, 1);
        rowsGrid->addWidget(row.from, i + 1, 2);
        rowsGrid->addWidget(row.to, i + 1, 3);
    }
    refresh();

    auto* notes = new QGridLayout;
    constexpr int kIndent = 20;
    notes->addWidget(w.noteToPitch, 0, 0, 1, 2);
    notes->addWidget(w.noteOffStops, 1, 0, 1, 2);
    notes->addWidget(w.newNoteOn, 2, 1);
    notes->addWidget(w.untiedNoteOff, 3, 1);
    notes->addWidget(new QLabel("Restart sound loop on:"), 4, 0, 1, 2);
    notes->addWidget(w.newNote, 5, 1);
    notes->addWidget(w.tiedNote, 6, 1);
    notes->setColumnMinimumWidth(0, kIndent);
    auto* bendRow = new QHBoxLayout;
    bendRow->addWidget(new QLabel("Pitch bend range:"));
    bendRow->addWidget(w.pitchBend, 1);
    bendRow->addWidget(w.pitchBendLabel);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    QPushButton* ok = addButton(buttons, "&OK");
    QPushButton* cancel = addButton(buttons, "&Cancel");
    QPushButton* helpButton = addButton(buttons, "&Help");
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, d, [d, &logic] {
        logic.ok();
        d->accept();
    });
    QObject::connect(cancel, &QPushButton::clicked, d, [d] { d->reject(); });
    QObject::connect(helpButton, &QPushButton::clicked, d, [d] { d->showHelp(); });

    auto* layout = new QVBoxLayout(d);
    layout->addWidget(boldLabel("Note Response"));
    layout->addLayout(notes);
    layout->addLayout(bendRow);
    layout->addSpacing(8);
    layout->addWidget(boldLabel("Expression Response"));
    layout->addLayout(rowsGrid);
    layout->addLayout(buttons);
    return dialog;
}

bool runMidiResponseDialog(QWidget* parent, midi::MidiResponseDialog& dialog, const HelpRequest& help) {
    return makeMidiResponseDialog(parent, dialog, help)->exec() == QDialog::Accepted;
}

void showAbout(QWidget* parent, const std::string& text) {
    QMessageBox::about(parent, kAboutCaption, qs(text));
}

}  // namespace gui
