#include "app/CommandLine.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

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

}  // namespace app
