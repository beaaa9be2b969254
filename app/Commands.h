#pragma once

#include <span>
#include <string>

// Each sub-command takes its own arguments (without the program and command
// names) and returns the process exit status: 0 success, 1 failure of the
// work itself, 2 a wrong command line.
namespace app {

using Args = std::span<const std::string>;

struct Command {
    const char* name;
    const char* summary;
    int (*run)(Args args);
};

// The sub-commands this build offers, in the order `frisson --help` lists them.
std::span<const Command> commands();

}  // namespace app
