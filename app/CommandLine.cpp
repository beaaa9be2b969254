#include "app/CommandLine.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iostream>

namespace app {

long parseInteger(const std::string& option, const std::string& text, long min, long max) {
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE)
        throw UsageError(option + ": '" + text + "' is not a whole number");
    if (value < min || value > max)
        throw UsageError(option + ": " + text + " is out of range " + std::to_string(min) + ".." +
                         std::to_string(max));
    return value;
}

double parseNumber(const std::string& option, const std::string& text, double min, double max) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value))
        throw UsageError(option + ": '" + text + "' is not a number");
    if (value < min || value > max)
        throw UsageError(option + ": " + text + " is out of range");
    return value;
}

std::optional<std::string> parseSinglePath(std::span<const std::string> args, std::string_view usage,
                                           std::string_view command, std::string_view expected) {
    std::string path;
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::cout << usage;
            return std::nullopt;
        }
        if (arg.size() > 1 && arg[0] == '-')
            throw UsageError("unknown option '" + arg + "'");
        if (!path.empty())
            throw UsageError("expects one FILE, got '" + path + "' and '" + arg + "'");
        path = arg;
    }
    if (path.empty())
        throw UsageError("expects a " + std::string(expected) + "; try 'frisson " + std::string(command) +
                         " --help'");
    return path;
}

}  // namespace app
