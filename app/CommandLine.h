#pragma once

#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace app {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// A wrong command line: the message is printed as one line and the command
// exits with status 2.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Parses a whole decimal integer in [min, max]; anything else is a UsageError
// naming the option.
long parseInteger(const std::string& option, const std::string& text, long min, long max);

// Parses a finite decimal number in [min, max].
double parseNumber(const std::string& option, const std::string& text, double min, double max);

// Reads the arguments of a command that takes exactly one file: the path, or
// nothing when --help printed `usage` instead. `expected` names the file in
// the error for a missing argument ("FILE.fpb").
std::optional<std::string> parseSinglePath(std::span<const std::string> args, std::string_view usage,
                                           std::string_view command, std::string_view expected);

}  // namespace app
