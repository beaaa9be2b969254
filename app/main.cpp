// Frisson: with no argument (or "gui") the window opens; otherwise the first
// argument names a sub-command that runs without a window or a display.
#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/Commands.h"
#include "gui/GuiMain.h"

#if defined(__SANITIZE_ADDRESS__)
// Under LeakSanitizer: the desktop libraries the window loads (D-Bus, fontconfig) keep caches
// for the life of the process, and RtAudio's PulseAudio device probe never releases some of
// what libpulse allocates for it (named by libpulse itself, where the fast unwinder stops);
// those allocations are not the program's leaks. Nothing is said about them, so that a
// command's output stays its own.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\nleak:libfontconfig.so\nleak:libpulse.so\n";
}
extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}
#endif

namespace {

constexpr const char* kGuiCommand = "gui";

void printUsage(std::FILE* to) {
    std::fprintf(to, "usage: frisson [COMMAND] [options]\n\ncommands:\n");
    std::fprintf(to, "  %-12s %s\n", kGuiCommand, "open the window (the default)");
    for (const auto& command : app::commands())
        std::fprintf(to, "  %-12s %s\n", command.name, command.summary);
    std::fprintf(to, "\n'frisson COMMAND --help' describes a command.\n");
}

void printGuiUsage(std::FILE* to) {
    std::fprintf(to,
                 "usage: frisson [gui] [--screenshot DIR]\n\n"
                 "Opens the window. With --screenshot the window starts, pictures of it, the gesture\n"
                 "window and the dialogs are saved as PNG files into DIR, and the program ends.\n");
}

// The window's own options; false (with a message) when they are not understood.
bool parseGuiOptions(const std::vector<std::string>& args, gui::GuiOptions& options, bool& help) {
    for (size_t n = 0; n < args.size(); ++n) {
        if (args[n] == "--help" || args[n] == "-h") {
            help = true;
        } else if (args[n] == "--screenshot") {
            if (n + 1 >= args.size() || args[n + 1].empty()) {
                std::fprintf(stderr, "frisson gui: --screenshot needs a folder\n");
                return false;
            }
            options.screenshotFolder = args[++n];
        } else {
            std::fprintf(stderr, "frisson gui: unknown option '%s'; try 'frisson gui --help'\n",
                         args[n].c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
        printUsage(stdout);
        return app::kExitOk;
    }
    // The window: no argument, "gui", or only the window's options.
    if (args.empty() || args[0] == kGuiCommand || args[0].rfind("--", 0) == 0) {
        const std::vector<std::string> guiArgs(
            args.begin() + (!args.empty() && args[0] == kGuiCommand ? 1 : 0), args.end());
        gui::GuiOptions options;
        bool help = false;
        if (!parseGuiOptions(guiArgs, options, help))
            return app::kExitUsage;
        if (help) {
            printGuiUsage(stdout);
            return app::kExitOk;
        }
        return gui::runGui(argc, argv, options);
    }
    for (const auto& command : app::commands()) {
        if (args[0] == command.name) {
            try {
                return command.run(app::Args(args).subspan(1));
            } catch (const app::UsageError& e) {
                std::fprintf(stderr, "frisson %s: %s\n", command.name, e.what());
                return app::kExitUsage;
            }
        }
    }
    std::fprintf(stderr, "frisson: unknown command '%s'; try 'frisson --help'\n", args[0].c_str());
    return app::kExitUsage;
}
