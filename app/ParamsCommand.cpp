// frisson params: the 29 parameters a --stream item or --at change can set,
// with their range, default and meaning.
#include <cstdio>
#include <iostream>
#include <string>

#include "app/CommandLine.h"
#include "app/Commands.h"
#include "engine/ParamSpec.h"

namespace app {

namespace {

constexpr const char* kParamsUsage =
    "usage: frisson params\n"
    "Lists the 29 parameters that --stream Name=value items and --at changes set:\n"
    "name, range, default and what each one does.\n";

}  // namespace

int runParams(Args args) {
    if (!args.empty()) {
        if (args[0] == "--help" || args[0] == "-h") {
            std::cout << kParamsUsage;
            return kExitOk;
        }
        throw UsageError("takes no arguments; try 'frisson params --help'");
    }
    std::printf("%-12s %-15s %-8s %s\n", "name", "range", "default", "meaning");
    for (const engine::ParamSpec& row : engine::paramSpecs()) {
        const std::string range = std::to_string(row.min) + ".." + std::to_string(row.max);
        std::printf("%-12.*s %-15s %-8d %.*s\n", static_cast<int>(row.name.size()), row.name.data(),
                    range.c_str(), row.defaultValue, static_cast<int>(row.tooltip.size()),
                    row.tooltip.data());
    }
    return kExitOk;
}

}  // namespace app
