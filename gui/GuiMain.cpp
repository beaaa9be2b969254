#include "gui/GuiMain.h"

#include <cstdio>
#include <cstring>

#include <QApplication>
#include <QDir>
#include <QIcon>

#include "gui/GestureWindow.h"
#include "gui/HelpViewer.h"
#include "gui/MainWindow.h"
#include "shell/AppCore.h"
#include "shell/MenuCommands.h"

namespace gui {

namespace {

constexpr const char* kDesktopName = "frisson";

// Lets posted events run: the layout settles, then the window takes its size.
void settle(QApplication& app) {
    for (int round = 0; round < 3; ++round)
        app.processEvents();
}

// Pictures of the window as it starts, with a second stream, of the gesture
// window, of every dialog and of the help; the dialogs come up through the
// core's own commands and are answered as cancelled.
void takeScreenshots(QApplication& app, MainWindow& window, shell::AppCore& core) {
    settle(app);
    window.saveShot(&window, QStringLiteral("main-window"));
    core.newButton();
    settle(app);
    window.saveShot(&window, QStringLiteral("main-window-two-streams"));

    core.command(shell::kCmdGestureWindow);
    settle(app);
    window.saveShot(window.gestureWindow(), QStringLiteral("gesture-window"));
    core.closeGesture();

    core.command(shell::kCmdIoOptions);
    core.command(shell::kCmdMidiResponse);
    core.command(shell::kCmdNewLogin);
    core.command(shell::kCmdAbout);
    core.command(shell::kCmdHelp);
    settle(app);
    window.saveShot(window.helpViewer(), QStringLiteral("help"));
}

// Whether Qt has somewhere to show the window: a display, or a platform named by the
// environment or on the command line. Without one Qt would abort.
bool displayAvailable(int argc, char** argv) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (!qEnvironmentVariableIsEmpty(name))
            return true;
    for (int n = 1; n < argc; ++n)
        if (std::strcmp(argv[n], "-platform") == 0)
            return true;
    return false;
}

}  // namespace

int runGui(int argc, char** argv, const GuiOptions& options) {
    if (!displayAvailable(argc, argv)) {
        std::fprintf(stderr,
                     "frisson: no display to open the window on; 'frisson --help' lists the commands "
                     "that run without one\n");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(kDesktopName));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopName));
    QApplication::setWindowIcon(QIcon::fromTheme(QString::fromLatin1(kDesktopName)));
    // Only the core ends the program (the exit sequence may be cancelled).
    QApplication::setQuitOnLastWindowClosed(false);
    shell::redirectDiagnosticsToLog();

    int result = 0;
    {
        MainWindow window;
        shell::AppCore core(window, shell::desktopServices());
        window.attach(core);
        if (!options.screenshotFolder.empty())
            window.captureModalsInto(QDir(QString::fromStdString(options.screenshotFolder)).absolutePath());
        window.show();
        core.start();
        if (!options.screenshotFolder.empty())
            takeScreenshots(app, window, core);
        else if (!core.ended())
            result = QApplication::exec();
        else
            result = window.result().value_or(1);
        if (window.result())
            result = *window.result();
        window.detach();
    }
    // The core ends the window with 1 after the exit sequence and with -1 after a fatal error.
    return result < 0 ? 1 : 0;
}

}  // namespace gui
