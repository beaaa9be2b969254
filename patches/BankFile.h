#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "patches/Patch.h"

namespace patches {

// The patch bank file ".fpb": a 12-byte header ("Fbnk", version, count; 32-bit
// little-endian) followed by one record per occupied slot: flags, path length,
// the zero-terminated path, then 28 values (version below 101) or 29.

inline constexpr std::string_view kBankMagic = "Fbnk";
inline constexpr int32_t kBankVersionWritten = 100;
inline constexpr int32_t kFirstVersionWithChangeTime = 101;
inline constexpr int kValuesWritten = 28;  // entries 0..27: the change time is not saved
inline constexpr std::string_view kBankExtension = ".fpb";

enum class BankFileProblem {
    None,
    NotBankFile,  // the first four bytes are not "Fbnk"
    Empty,        // count 0
    BadCount,     // a count below 0 or above 20
    Truncated,    // the file ends before its header or records are complete
};

struct BankFileContents {
    int32_t version = 0;
    int valuesPerRecord = 0;  // 28 or 29
    // One patch per record in file order; values past valuesPerRecord are 0.
    std::vector<Patch> patches;
};

struct DecodedBankFile {
    BankFileProblem problem = BankFileProblem::None;
    int32_t count = 0;  // the header's count, when the header was complete
    BankFileContents contents;
};

// Decodes a whole bank file. Never reads past the end: a record that would is
// reported as Truncated.
DecodedBankFile decodeBankFile(std::string_view bytes);

// What is wrong with the bank file at `path`, as the warning shows it; empty for None.
std::string bankFileProblemText(const std::string& path, const DecodedBankFile& file);

// The bytes of a bank file for the bank's occupied slots, in slot order, each
// written with flags 1 and values 0..27.
std::string encodeBankFile(const PatchBank& bank);

// The whole file, or nothing when it cannot be opened or read.
std::optional<std::string> readFileBytes(const std::filesystem::path& path);

// Writes `bytes` to a temporary file in the same folder and renames it over
// `path`. Returns an error text on failure; the old file is then untouched.
std::optional<std::string> replaceFileAtomically(const std::filesystem::path& path, std::string_view bytes);

}  // namespace patches
