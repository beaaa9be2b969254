// Frisson: with no argument the window opens; otherwise the first argument
// names a sub-command that runs without a window.
#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/Commands.h"

namespace {

void printUsage(std::FILE* to) {
    std::fprintf(to, "usage: frisson COMMAND [options]\n\ncommands:\n");
    for (const auto& command : app::commands())
        std::fprintf(to, "  %-12s %s\n", command.name, command.summary);
    std::fprintf(to, "\n'frisson COMMAND --help' describes a command.\n");
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fprintf(stderr, "frisson: the window is not part of this build yet; try 'frisson --help'\n");
        return app::kExitUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        printUsage(stdout);
        return app::kExitOk;
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
