#include "gui/MainWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QRegularExpression>
#include <QScrollBar>
#include <QShortcut>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QTabBar>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include "gui/BankPanelWidget.h"
#include "gui/GestureWindow.h"
#include "gui/HelpViewer.h"
#include "gui/ParamRows.h"
#include "gui/WaveformStrip.h"
#include "output/PlayView.h"
#include "shell/IoOptionsDialog.h"
#include "shell/MenuCommands.h"

namespace gui {

// A one-pixel red frame just outside the outlined control, drawn over it
// without taking its clicks.
class FocusOutline : public QWidget {
  public:
    explicit FocusOutline(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }

    void follow(QWidget* target) {
        target_ = target;
        place();
    }

    void place() {
        if (target_ == nullptr || !target_->isVisible()) {
            hide();
            return;
        }
        const QRect frame(target_->mapTo(parentWidget(), QPoint(0, 0)), target_->size());
        setGeometry(frame.adjusted(-1, -1, 1, 1));
        show();
        raise();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(QPen(QColor(0xFF, 0x00, 0x00), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }

  private:
    QPointer<QWidget> target_;
};

namespace {

constexpr const char* kWarningCaption = "Frisson Warning!";
constexpr const char* kControlProperty = "frissonControl";
constexpr const char* kCommandProperty = "frissonCommand";
constexpr const char* kRecentPopup = "&Recent Soundfiles";
constexpr const char* kProductName = "Frisson";
// How often the window looks whether the sound device is still there and the recording still writes.
constexpr int kDeviceCheckMs = 100;

// The status bar parts' widths: for a window of at least 640 pixels the parts end
// at 4, w - 283, w - 134 and w - 6; below that at 4, w - 258, w - 128 and w - 6.
constexpr int kWideWindow = 640;
constexpr int kEdgePart = 4;
constexpr int kLastPart = 6;
constexpr int kValuePartWide = 283 - 134;
constexpr int kDerivedPartWide = 134 - 6;
constexpr int kValuePartNarrow = 258 - 128;
constexpr int kDerivedPartNarrow = 128 - 6;

constexpr int kCaptureTries = 300;
constexpr int kCapturePollMs = 10;

// The menu items that carry a check mark, and those that carry the radio mark.
constexpr int kCheckedItems[] = {
    shell::kCmdNumberFiles,  shell::kCmdFilePerStream, shell::kCmd16Bit,         shell::kCmd24Bit,
    shell::kCmd32Bit,        shell::kCmdFineMode,      shell::kCmdProgramChange, shell::kCmdLeftChannel,
    shell::kCmdRightChannel, shell::kCmdHardSync,      shell::kCmdResetLoop,     shell::kCmdSoftStop,
};
constexpr int kSourceItems[] = {shell::kCmdLoadSound, shell::kCmdTestTone};
constexpr int kInterpolationItems[] = {shell::kCmdLinear, shell::kCmdCubic, shell::kCmdSpline};

QString qt(const std::string& text) {
    return QString::fromStdString(text);
}
QString qt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// "Sound file (*.wav *.aif *.aiff *.aifc)" from ("Sound file", "wav; aif; aiff; aifc").
QString filterText(const shell::FileFilter& filter) {
    QStringList patterns;
    for (QString extension :
         qt(filter.extensions).split(QRegularExpression(QStringLiteral("[;,\\s]+")), Qt::SkipEmptyParts)) {
        while (extension.startsWith(QLatin1Char('*')) || extension.startsWith(QLatin1Char('.')))
            extension.remove(0, 1);
        if (!extension.isEmpty())
            patterns << QStringLiteral("*.") + extension;
    }
    return qt(filter.description) + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
           QStringLiteral(")");
}

// A file name for a captured picture: lower case, words joined by '-'.
QString shotName(const QString& text) {
    QString name;
    for (const QChar c : text.toLower()) {
        if (c.isLetterOrNumber())
            name += c;
        else if (!name.isEmpty() && !name.endsWith(QLatin1Char('-')))
            name += QLatin1Char('-');
    }
    while (name.endsWith(QLatin1Char('-')))
        name.chop(1);
    return name.isEmpty() ? QStringLiteral("box") : name;
}

void markControl(QWidget* widget, int id) {
    widget->setProperty(kControlProperty, id);
}

}  // namespace

struct MainWindow::MenuEntry {
    enum class Kind { Command, Separator, Popup };
    Kind kind = Kind::Command;
    int id = 0;
    const char* label = nullptr;
    std::vector<MenuEntry> items;

    static MenuEntry command(int id) { return {Kind::Command, id, nullptr, {}}; }
    static MenuEntry separator() { return {Kind::Separator, 0, nullptr, {}}; }
    static MenuEntry popup(const char* label, std::vector<MenuEntry> items) {
        return {Kind::Popup, 0, label, std::move(items)};
    }
};

template <typename Action>
void MainWindow::toCore(Action action) {
    if (core_ == nullptr)
        return;
    ++coreDepth_;
    action(*core_);
    --coreDepth_;
}

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("mainWindow"));
    QMainWindow::setWindowTitle(QString::fromLatin1(kProductName));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("frisson")));
    // A fixed dialog-like window: it can be neither resized nor maximised.
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    buildMenus();
    buildWindow();
    buildStatusBar();
    qApp->installEventFilter(this);
    focusWatch_ =
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { focusMoved(now); });
    fixSize();
}

MainWindow::~MainWindow() {
    // The widgets that go next move the focus: this window no longer listens.
    disconnect(focusWatch_);
    qApp->removeEventFilter(this);
    detach();
}

void MainWindow::attach(shell::AppCore& core) {
    core_ = &core;
    notifier_ = new QSocketNotifier(core.queue().wakeDescriptor(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { wake(); });
    // A sound server that goes away posts nothing: the window asks.
    deviceCheck_ = new QTimer(this);
    deviceCheck_->setInterval(kDeviceCheckMs);
    connect(deviceCheck_, &QTimer::timeout, this,
            [this] { toCore([](shell::AppCore& core) { core.checkDevice(); }); });
    deviceCheck_->start();

    waveform_ = new WaveformStrip(core.engine(), centralWidget());
    waveform_->setObjectName(QStringLiteral("soundOverview"));
    static_cast<QVBoxLayout*>(centralWidget()->layout())->insertWidget(0, waveform_);
    waveform_->setVisible(overviewAction_->isChecked());
    fixSize();
}

void MainWindow::detach() {
    delete notifier_;
    notifier_ = nullptr;
    delete deviceCheck_;
    deviceCheck_ = nullptr;
    if (gesture_ != nullptr) {
        // The window's logic lives in the core: the window goes with it.
        delete gesture_;
        gesture_ = nullptr;
    }
    core_ = nullptr;
}

void MainWindow::wake() {
    toCore([](shell::AppCore& core) {
        core.queue().clearWake();
        core.dispatchWaiting();
    });
}

HelpRequest MainWindow::helpRequest() {
    return [this](const std::string& keyword) {
        openHelp(keyword.empty() ? std::nullopt : std::optional<std::string>(keyword));
    };
}

// ---- Building the window

void MainWindow::buildMenus() {
    using E = MenuEntry;
    using namespace shell;
    const std::vector<std::pair<const char*, std::vector<E>>> bar = {
        {"F&ile",
         {E::command(kCmdLoadSound), E::command(kCmdTestTone), E::popup(kRecentPopup, {}), E::separator(),
          E::command(kCmdNewLogin), E::separator(), E::command(kCmdExit)}},
        {"Co&mmand",
         {E::command(kCmdGestureWindow), E::separator(),
          E::popup(kOutputOptionsPopup,
                   {E::command(kCmdOutputFolder), E::command(kCmdNumberFiles), E::command(kCmdFilePerStream),
                    E::command(kCmd16Bit), E::command(kCmd24Bit), E::command(kCmd32Bit)}),
          E::separator(),
          E::popup("&MIDI Options", {E::command(kCmdFineMode), E::command(kCmdProgramChange)}),
          E::command(kCmdMidiResponse), E::separator(), E::command(kCmdIoOptions)}},
        {"&Stream",
         {E::popup(kStereoInputPopup, {E::command(kCmdLeftChannel), E::command(kCmdRightChannel)}),
          E::popup(kGrainOptionsPopup,
                   {E::command(kCmdHardSync), E::command(kCmdResetLoop), E::command(kCmdSoftStop)}),
          E::popup(kInterpolationPopup,
                   {E::command(kCmdLinear), E::command(kCmdCubic), E::command(kCmdSpline)})}},
    };
    for (const auto& [label, entries] : bar) {
        QMenu* top = menuBar()->addMenu(QString::fromLatin1(label));
        menus_[label] = top;
        buildMenu(top, entries);
        connect(top, &QMenu::aboutToShow, this,
                [this] { toCore([](shell::AppCore& core) { core.menuOpening(); }); });
    }

    // The waveform strip belongs to the window alone: its switch is not a command of the core.
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    menus_["&View"] = view;
    overviewAction_ = view->addAction(QStringLiteral("Sound &Overview"));
    overviewAction_->setCheckable(true);
    overviewAction_->setChecked(true);
    connect(overviewAction_, &QAction::toggled, this, [this](bool on) { soundOverviewToggled(on); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("He&lp"));
    menus_["He&lp"] = help;
    buildMenu(help, {E::command(kCmdHelp), E::separator(), E::command(kCmdAbout)});
    connect(help, &QMenu::aboutToShow, this,
            [this] { toCore([](shell::AppCore& core) { core.menuOpening(); }); });

    for (const auto& group :
         {std::vector<int>(std::begin(kSourceItems), std::end(kSourceItems)),
          std::vector<int>(std::begin(kInterpolationItems), std::end(kInterpolationItems))}) {
        auto* radio = new QActionGroup(this);
        radio->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
        for (int id : group) {
            actions_[id]->setCheckable(true);
            radio->addAction(actions_[id]);
        }
    }
    for (int id : kCheckedItems)
        actions_[id]->setCheckable(true);

    contextMenu_ = new QMenu(this);
    contextMenu_->setObjectName(QStringLiteral("streamContextMenu"));
}

QMenu* MainWindow::buildMenu(QMenu* menu, const std::vector<MenuEntry>& entries) {
    for (const MenuEntry& entry : entries) {
        switch (entry.kind) {
            case MenuEntry::Kind::Command:
                addCommand(menu, entry.id);
                break;
            case MenuEntry::Kind::Separator:
                menu->addSeparator();
                break;
            case MenuEntry::Kind::Popup: {
                QMenu* popup = menu->addMenu(QString::fromLatin1(entry.label));
                menus_[entry.label] = popup;
                buildMenu(popup, entry.items);
                if (std::string(entry.label) == kRecentPopup)
                    recentMenu_ = popup;
                break;
            }
        }
    }
    return menu;
}

QAction* MainWindow::addCommand(QMenu* menu, int id) {
    // A tab in the label shows the key beside the item ("E&xit\tEsc").
    QAction* action = menu->addAction(qt(shell::menuLabel(id)));
    action->setProperty(kCommandProperty, id);
    connect(action, &QAction::triggered, this,
            [this, id] { toCore([id](shell::AppCore& core) { core.command(id); }); });
    connect(action, &QAction::hovered, this,
            [this, id] { toCore([id](shell::AppCore& core) { core.menuItemHighlighted(id); }); });
    actions_[id] = action;
    if (id == shell::kCmdLoadSound)
        action->setShortcut(QKeySequence::Open);  // Ctrl+O, as in every desktop program
    return action;
}

void MainWindow::buildWindow() {
    auto* central = new QWidget;
    setCentralWidget(central);
    auto* layout = new QVBoxLayout(central);
    auto* columns = new QHBoxLayout;
    layout->addLayout(columns);

    auto* left = new QVBoxLayout;
    left->setSpacing(0);
    tabs_ = new QTabBar;
    tabs_->setObjectName(QStringLiteral("streamTabs"));
    tabs_->setExpanding(false);
    tabs_->setDrawBase(true);
    tabs_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tabs_, &QTabBar::currentChanged, this,
            [this](int tab) { toCore([tab](shell::AppCore& core) { core.tabSelected(tab); }); });
    connect(tabs_, &QTabBar::customContextMenuRequested, this,
            [this](const QPoint& position) { tabContextMenuRequested(position); });
    left->addWidget(tabs_);
    rows_ = new ParamRows;
    rows_->setScrollHandler(
        [this](int param, engine::ScrollCode code, int16_t thumb, engine::ScrollModifiers held) {
            toCore([&](shell::AppCore& core) { core.scroll(param, code, thumb, held); });
        });
    for (int p = 0; p < engine::kParamCount; ++p)
        markControl(rows_->bar(p), engine::scrollIdOf(p));
    left->addSpacing(4);
    left->addWidget(rows_);
    columns->addLayout(left, 1);

    auto* right = new QVBoxLayout;
    panel_ = new BankPanelWidget;
    BankPanelWidget::Handlers handlers;
    handlers.slotClicked = [this](int id, bool shift, bool ctrl) {
        toCore([&](shell::AppCore& core) { core.slotClick(id, shift, ctrl); });
    };
    handlers.bankClicked = [this](int id) { toCore([id](shell::AppCore& core) { core.bankButton(id); }); };
    handlers.buttonClicked = [this](int id) { toCore([id](shell::AppCore& core) { core.panelButton(id); }); };
    handlers.nameLostFocus = [this](const std::string& text) {
        if (coreDepth_ > 0 || movingFocus_) {
            // The core moved the focus itself: the name is taken once it is done.
            QTimer::singleShot(0, this, [this, text] {
                toCore([&](shell::AppCore& core) { core.bankNameLostFocus(text); });
            });
            return;
        }
        toCore([&](shell::AppCore& core) { core.bankNameLostFocus(text); });
    };
    panel_->setHandlers(std::move(handlers));
    for (int id = patches::kDefaultPatchButton; id <= patches::kLastSlotButton; ++id)
        markControl(panel_->control(id), id);
    for (int id = patches::kFirstBankButton; id <= patches::kLastBankButton; ++id)
        markControl(panel_->control(id), id);
    for (int id : {patches::kNameField, patches::kLoadButton, patches::kSaveButton,
                   patches::kClearPatchButton, patches::kCloseButton})
        markControl(panel_->control(id), id);
    right->addWidget(panel_);

    play_ = new StateButton(QString::fromLatin1(output::kPlayButtonStopped));
    play_->setObjectName(QStringLiteral("play"));
    play_->setCheckable(true);
    connect(play_, &QPushButton::clicked, this,
            [this] { toCore([](shell::AppCore& core) { core.playButton(); }); });
    file_ = new StateButton(QString::fromLatin1(shell::kFileButtonLabel));
    file_->setObjectName(QStringLiteral("file"));
    file_->setCheckable(true);
    connect(file_, &QPushButton::clicked, this,
            [this] { toCore([](shell::AppCore& core) { core.fileButton(); }); });
    // The File button's mnemonic is the File menu's too; Ctrl+R reaches it without a mouse.
    auto* record = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_R), this);
    connect(record, &QShortcut::activated, file_, [this] {
        if (file_->isEnabled())
            file_->click();
    });
    new_ = new QPushButton(QStringLiteral("&New"));
    new_->setObjectName(QStringLiteral("new"));
    new_->setToolTip(
        QStringLiteral("A new stream, copying the current one (silent until its Amp is raised)"));
    connect(new_, &QPushButton::clicked, this,
            [this] { toCore([](shell::AppCore& core) { core.newButton(); }); });
    stem_ = new QPushButton(QStringLiteral("St&em"));
    stem_->setObjectName(QStringLiteral("stem"));
    stem_->setToolTip(QStringLiteral("End the current stream"));
    connect(stem_, &QPushButton::clicked, this,
            [this] { toCore([](shell::AppCore& core) { core.stemButton(); }); });
    markControl(play_, shell::kPlayButton);
    markControl(file_, shell::kFileButton);
    markControl(new_, shell::kNewButton);
    markControl(stem_, shell::kStemButton);

    auto* transport = new QHBoxLayout;
    transport->addWidget(play_);
    transport->addWidget(file_);
    right->addLayout(transport);
    auto* streams = new QHBoxLayout;
    streams->addWidget(new_);
    streams->addWidget(stem_);
    right->addLayout(streams);
    changeTime_ = new QLabel;
    changeTime_->setObjectName(QStringLiteral("changeTime"));
    right->addWidget(changeTime_);
    right->addStretch(1);
    columns->addLayout(right);

    outline_ = new FocusOutline(central);
}

void MainWindow::buildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(false);
    for (int part = 0; part < shell::kStatusPartCount; ++part) {
        auto* label = new QLabel;
        label->setObjectName(QStringLiteral("statusPart%1").arg(part));
        // Parts 0 and 4 are borderless edges; a long message never widens the window.
        if (part != 0 && part != shell::kStatusPartCount - 1)
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setSizePolicy(part == shell::kMessagePart ? QSizePolicy::Ignored : QSizePolicy::Fixed,
                             QSizePolicy::Preferred);
        status_[static_cast<size_t>(part)] = label;
    }
    // The window is wider than 640 pixels: the parts take the widths that go with that.
    setStatusPartWidths(kWideWindow);
    for (int part = 0; part < shell::kStatusPartCount; ++part)
        bar->addWidget(status_[static_cast<size_t>(part)], part == shell::kMessagePart ? 1 : 0);
}

void MainWindow::fixSize() {
    // The window always takes the size its contents ask for, and the user cannot change it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    layout()->invalidate();
    layout()->activate();
    setStatusPartWidths(sizeHint().width());
    outline_->place();
}

void MainWindow::setStatusPartWidths(int windowWidth) {
    const bool wide = windowWidth >= kWideWindow;
    const int value = wide ? kValuePartWide : kValuePartNarrow;
    const int derived = wide ? kDerivedPartWide : kDerivedPartNarrow;
    if (status_[shell::kValuePart]->maximumWidth() == value &&
        status_[shell::kDerivedPart]->maximumWidth() == derived)
        return;
    status_[0]->setFixedWidth(kEdgePart);
    status_[shell::kValuePart]->setFixedWidth(value);
    status_[shell::kDerivedPart]->setFixedWidth(derived);
    status_[shell::kStatusPartCount - 1]->setFixedWidth(kLastPart);
    statusBar()->layout()->invalidate();
}

void MainWindow::soundOverviewToggled(bool on) {
    if (waveform_ == nullptr)
        return;
    waveform_->setVisible(on);
    if (on)
        waveform_->soundChanged();
    fixSize();
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    outline_->place();
}

// ---- Widgets by id

QPushButton* MainWindow::button(int id) const {
    switch (id) {
        case shell::kPlayButton:
            return play_;
        case shell::kFileButton:
            return file_;
        case shell::kNewButton:
            return new_;
        case shell::kStemButton:
            return stem_;
        default:
            return qobject_cast<QPushButton*>(panel_->control(id));
    }
}

QWidget* MainWindow::control(int id) const {
    if (id >= shell::kFirstScrollBar && id < shell::kFirstScrollBar + engine::kParamCount)
        return rows_->bar(id - shell::kFirstScrollBar);
    if (QPushButton* found = button(id))
        return found;
    return panel_->control(id);
}

QAction* MainWindow::menuAction(int id) const {
    const auto found = actions_.find(id);
    if (found != actions_.end())
        return found->second;
    for (QAction* action : recentActions_)
        if (action->property(kCommandProperty).toInt() == id)
            return action;
    return nullptr;
}

QMenu* MainWindow::menu(const std::string& label) const {
    const auto found = menus_.find(label);
    return found != menus_.end() ? found->second : nullptr;
}

// ---- Focus and keys

void MainWindow::focusMoved(QWidget* now) {
    if (now == nullptr || movingFocus_ || coreDepth_ > 0)
        return;
    const QVariant id = now->property(kControlProperty);
    if (id.isValid() && id.toInt() != outlined_)
        toCore([&](shell::AppCore& core) { core.focusControl(id.toInt()); });
}

void MainWindow::moveOutline() {
    outline_->follow(outlined_ != 0 ? control(outlined_) : nullptr);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::LayoutRequest && watched == centralWidget() && !sizePending_) {
        // The contents changed size (the first tab, a longer label): the window follows
        // once the layout has settled.
        sizePending_ = true;
        QTimer::singleShot(0, this, [this] {
            sizePending_ = false;
            fixSize();
        });
    }
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return QMainWindow::eventFilter(watched, event);
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    QWidget* top = widget->window();
    const bool pressed = type == QEvent::KeyPress;

    if (key->key() == Qt::Key_F1) {
        // Help for whichever of the program's windows has the keyboard.
        if (pressed && !key->isAutoRepeat()) {
            const std::string title = top->windowTitle().toStdString();
            toCore([&](shell::AppCore& core) { core.help(title); });
        }
        return true;
    }
    if (key->key() == Qt::Key_Escape && top == this) {
        if (pressed && !key->isAutoRepeat())
            toCore([](shell::AppCore& core) { core.cancel(true); });
        return true;
    }
    const bool ours = top == this || (gesture_ != nullptr && top == gesture_);
    if (key->key() == Qt::Key_Q && ours && !key->isAutoRepeat() &&
        qobject_cast<QLineEdit*>(widget) == nullptr && pressed != quitKeyHeld_) {
        quitKeyHeld_ = pressed;
        toCore([&](shell::AppCore& core) { core.setQuitKeyHeld(pressed); });
    }
    return false;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (core_ == nullptr || core_->ended() || result_) {
        event->accept();
        return;
    }
    // The close box runs the exit sequence; the window stays when it is cancelled.
    toCore([](shell::AppCore& core) { core.cancel(false); });
    if (core_ != nullptr && core_->ended())
        event->accept();
    else
        event->ignore();
}

// ---- Stream tabs

void MainWindow::tabContextMenuRequested(const QPoint& position) {
    const int tab = tabs_->tabAt(position);
    if (tab < 0)
        return;
    contextPosition_ = tabs_->mapToGlobal(position);
    toCore([tab](shell::AppCore& core) { core.tabContextMenu(tab); });
}

void MainWindow::setStreamTabs(const std::vector<shell::StreamTab>& tabs, int selectedTab) {
    const bool blocked = tabs_->blockSignals(true);
    while (tabs_->count() > static_cast<int>(tabs.size()))
        tabs_->removeTab(tabs_->count() - 1);
    for (size_t n = 0; n < tabs.size(); ++n) {
        const int index = static_cast<int>(n);
        if (index >= tabs_->count())
            tabs_->addTab(QString());
        tabs_->setTabText(index, qt(tabs[n].label));
        tabs_->setTabData(index, tabs[n].stream);
    }
    if (selectedTab >= 0 && selectedTab < tabs_->count())
        tabs_->setCurrentIndex(selectedTab);
    tabs_->blockSignals(blocked);
    if (waveform_ != nullptr)
        waveform_->soundChanged();
}

void MainWindow::showContextMenu(const std::vector<shell::ContextMenuItem>& items) {
    contextMenu_->clear();
    for (const shell::ContextMenuItem& item : items) {
        if (item.id == 0) {
            contextMenu_->addSeparator();
            continue;
        }
        QAction* action = contextMenu_->addAction(qt(item.label));
        action->setEnabled(item.enabled);
        action->setProperty(kCommandProperty, item.id);
        const int id = item.id;
        connect(action, &QAction::triggered, this,
                [this, id] { toCore([id](shell::AppCore& core) { core.command(id); }); });
    }
    contextMenu_->popup(contextPosition_.isNull() ? QCursor::pos() : contextPosition_);
}

// ---- Status, title, rows and buttons

void MainWindow::setStatusText(int part, const std::string& text) {
    if (part >= 0 && part < shell::kStatusPartCount)
        status_[static_cast<size_t>(part)]->setText(qt(text));
}

void MainWindow::setWindowTitle(const std::string& title) {
    QMainWindow::setWindowTitle(qt(title));
    if (waveform_ != nullptr)
        waveform_->soundChanged();
}

void MainWindow::setChangeTimeText(const std::string& text) {
    changeTime_->setText(qt(text));
}

void MainWindow::setScrollPosition(int param, int32_t position) {
    rows_->setPosition(param, position);
}

void MainWindow::setFocusedControl(int id) {
    outlined_ = id;
    if (QWidget* target = control(id); target != nullptr && target->isEnabled()) {
        movingFocus_ = true;
        target->setFocus(Qt::OtherFocusReason);
        movingFocus_ = false;
    }
    moveOutline();
}

void MainWindow::setButton(int id, const shell::ButtonState& state) {
    if (panel_->setButton(id, state))
        return;
    QPushButton* target = button(id);
    if (target == nullptr)
        return;
    target->setText(qt(state.label));
    target->setChecked(state.checked);
    target->setEnabled(state.enabled);
}

// ---- Bank panel

void MainWindow::setBankNameField(const std::string& text) {
    panel_->setBankName(text);
}

void MainWindow::promptBankName(const std::string& prompt) {
    movingFocus_ = true;
    panel_->promptBankName(prompt);
    movingFocus_ = false;
}

void MainWindow::showDisplayedBank(int bank) {
    panel_->showBank(bank);
}

void MainWindow::setSlotLabel(int slot, const std::string& label) {
    panel_->setSlotLabel(slot, label);
}

void MainWindow::setSlotSelected(int slot, bool selected) {
    panel_->setSlotSelected(slot, selected);
}

// ---- Menu

void MainWindow::setMenuItem(int id, const shell::MenuItemState& state) {
    QAction* action = menuAction(id);
    if (action == nullptr)
        return;
    action->setEnabled(state.enabled);
    if (action->isCheckable())
        action->setChecked(state.checked);
}

void MainWindow::setMenuPopupEnabled(const std::string& popup, bool enabled) {
    if (QMenu* found = menu(popup))
        found->menuAction()->setEnabled(enabled);
}

void MainWindow::setRecentFiles(const std::vector<std::pair<int, std::string>>& items) {
    if (recentMenu_ == nullptr)
        return;
    for (QAction* action : recentActions_) {
        recentMenu_->removeAction(action);
        action->deleteLater();
    }
    recentActions_.clear();
    for (const auto& [id, label] : items) {
        auto* action = new QAction(qt(label), recentMenu_);
        action->setProperty(kCommandProperty, id);
        const int command = id;
        connect(action, &QAction::triggered, this,
                [this, command] { toCore([command](shell::AppCore& core) { core.command(command); }); });
        connect(action, &QAction::hovered, this, [this, command] {
            toCore([command](shell::AppCore& core) { core.menuItemHighlighted(command); });
        });
        recentMenu_->addAction(action);
        recentActions_.push_back(action);
    }
}

// ---- Message boxes

shell::Reply MainWindow::ask(const std::string& text, const std::string& caption, shell::Buttons buttons) {
    QMessageBox::StandardButtons offered;
    switch (buttons) {
        case shell::Buttons::YesNo:
            offered = QMessageBox::Yes | QMessageBox::No;
            break;
        case shell::Buttons::YesNoCancel:
            offered = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
            break;
        case shell::Buttons::OkCancel:
            offered = QMessageBox::Ok | QMessageBox::Cancel;
            break;
    }
    const QString title = caption.empty() ? QString::fromLatin1(shell::kQuestionCaption) : qt(caption);
    QMessageBox box(QMessageBox::Question, title, qt(text), offered, this);
    if (capturing()) {
        box.show();
        saveShot(&box, shotName(title));
        return buttons == shell::Buttons::YesNo ? shell::Reply::No : shell::Reply::Cancel;
    }
    switch (box.exec()) {
        case QMessageBox::Yes:
            return shell::Reply::Yes;
        case QMessageBox::No:
            return shell::Reply::No;
        case QMessageBox::Ok:
            return shell::Reply::Ok;
        default:
            return shell::Reply::Cancel;
    }
}

void MainWindow::warn(const std::string& text, const std::string& caption) {
    const QString title = caption.empty() ? QString::fromLatin1(kWarningCaption) : qt(caption);
    QMessageBox box(QMessageBox::Warning, title, qt(text), QMessageBox::Ok, this);
    if (capturing()) {
        box.show();
        saveShot(&box, shotName(title));
        return;
    }
    box.exec();
}

void MainWindow::fatal(const std::string& text) {
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(shell::kFatalCaption), qt(text),
                    QMessageBox::Ok, this);
    if (capturing()) {
        box.show();
        saveShot(&box, shotName(box.windowTitle()));
        return;
    }
    box.exec();
}

void MainWindow::about(const std::string& text) {
    if (capturing())
        captureNextModal(QStringLiteral("about"));
    showAbout(this, text);
}

// ---- Choosers

std::optional<std::string> MainWindow::chooseFile(const std::string& title, const shell::FileFilter& filter,
                                                  const std::string& folder) {
    if (capturing())
        return std::nullopt;
    QFileDialog dialog(this, qt(title), qt(folder), filterText(filter));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

std::optional<std::string> MainWindow::chooseFolder(const std::string& start) {
    if (capturing())
        return std::nullopt;
    QFileDialog dialog(this, QStringLiteral("Select Soundfile Folder"), qt(start));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return QDir::cleanPath(dialog.selectedFiles().first()).toStdString();
}

// ---- Dialogs

bool MainWindow::runLoginDialog(shell::LoginDialog& dialog) {
    if (capturing()) {
        const std::unique_ptr<QDialog> shown = makeLoginDialog(this, dialog, helpRequest());
        shown->show();
        saveShot(shown.get(), QStringLiteral("login"));
        return false;
    }
    return gui::runLoginDialog(this, dialog, helpRequest());
}

bool MainWindow::runIoOptionsDialog(shell::IoOptionsDialog& dialog) {
    if (capturing()) {
        const std::unique_ptr<QDialog> shown = makeIoOptionsDialog(this, dialog, helpRequest());
        shown->show();
        saveShot(shown.get(), QStringLiteral("io-options"));
        dialog.cancel();
        return false;
    }
    return gui::runIoOptionsDialog(this, dialog, helpRequest());
}

bool MainWindow::runMidiResponseDialog(midi::MidiResponseDialog& dialog) {
    if (capturing()) {
        const std::unique_ptr<QDialog> shown = makeMidiResponseDialog(this, dialog, helpRequest());
        shown->show();
        saveShot(shown.get(), QStringLiteral("midi-response"));
        return false;
    }
    return gui::runMidiResponseDialog(this, dialog, helpRequest());
}

// ---- Help

HelpViewer& MainWindow::ensureHelpViewer() {
    if (help_ == nullptr)
        help_ = new HelpViewer(HelpViewer::findHelpFolder(), this);
    return *help_;
}

void MainWindow::openHelp(const std::optional<std::string>& keyword) {
    ensureHelpViewer().open(keyword);
}

void MainWindow::closeHelp() {
    if (help_ != nullptr)
        help_->close();
}

// ---- The end

void MainWindow::closeWindow(int result) {
    result_ = result;
    if (gesture_ != nullptr)
        gesture_->hide();
    closeHelp();
    hide();
    // Ends the event loop that runs the window; before it runs (a fatal error at start) the
    // caller sees the result instead.
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(result);
}

// ---- Gesture window

GestureWindow& MainWindow::ensureGestureWindow() {
    if (gesture_ == nullptr) {
        gesture_ = new GestureWindow(
            core_->gesture(), [this] { toCore([](shell::AppCore& core) { core.closeGesture(); }); }, this);
    }
    return *gesture_;
}

shell::PadRect MainWindow::gesturePadRect() {
    if (core_ == nullptr)
        return {};
    return ensureGestureWindow().padRect();
}

void MainWindow::showGestureWindow(bool open) {
    if (open && core_ != nullptr)
        ensureGestureWindow().showWindow(true);
    else if (gesture_ != nullptr)
        gesture_->showWindow(open);
}

void MainWindow::raiseGestureWindow() {
    if (gesture_ != nullptr)
        gesture_->raiseWindow();
}

void MainWindow::rollGestureWindow(bool up) {
    if (gesture_ != nullptr)
        gesture_->roll(up);
}

void MainWindow::enableGestureWindow(bool enabled) {
    if (gesture_ != nullptr)
        gesture_->enableWindow(enabled);
}

void MainWindow::setCornerEntries(const std::vector<std::string>& entries) {
    if (gesture_ != nullptr)
        gesture_->setCornerEntries(entries);
}

void MainWindow::selectCornerEntry(int corner, int entry) {
    if (gesture_ != nullptr)
        gesture_->selectCornerEntry(corner, entry);
}

void MainWindow::setGestureButtons(bool playbackChecked, bool recordChecked) {
    if (gesture_ != nullptr)
        gesture_->setButtons(playbackChecked, recordChecked);
}

void MainWindow::drawPad(int markerX, int markerY, const std::vector<shell::TrailDot>& trail) {
    if (gesture_ != nullptr)
        gesture_->drawPad(markerX, markerY, trail);
}

// ---- Screenshots

void MainWindow::captureModalsInto(const QString& folder) {
    captureFolder_ = folder;
    QDir().mkpath(folder);
}

void MainWindow::saveShot(QWidget* widget, const QString& name) {
    if (widget == nullptr || captureFolder_.isEmpty())
        return;
    widget->ensurePolished();
    if (widget->layout() != nullptr)
        widget->layout()->activate();
    widget->grab().save(QDir(captureFolder_).filePath(name + QStringLiteral(".png")));
}

void MainWindow::captureNextModal(const QString& name) {
    auto* timer = new QTimer(this);
    timer->setInterval(kCapturePollMs);
    auto tries = std::make_shared<int>(0);
    connect(timer, &QTimer::timeout, this, [this, timer, name, tries] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr && ++*tries < kCaptureTries)
            return;
        timer->stop();
        timer->deleteLater();
        if (modal == nullptr)
            return;
        saveShot(modal, name);
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    });
    timer->start();
}

}  // namespace gui
