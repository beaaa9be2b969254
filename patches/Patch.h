#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/ParamSpec.h"

namespace patches {

inline constexpr int kBankCount = 8;
inline constexpr int kSlotCount = 20;
inline constexpr int kMaxBankNameLength = 63;

// `Patch::flags` bits (only the lowest byte is used).
inline constexpr uint32_t kPatchOccupied = 1u << 0;  // the slot holds a patch
inline constexpr uint32_t kPatchUnsaved = 1u << 1;   // stored since the bank was last saved

// The sound path stored for a stream that plays the built-in sine.
inline constexpr std::string_view kSinePath = "fizz_sine";

using ParamValues = std::array<int32_t, engine::kParamCount>;

// One slot: a stored parameter set and the path of the sound it was made with.
struct Patch {
    uint32_t flags = 0;
    // The path bytes as stored, including the terminating zero byte; empty when
    // there is none. Kept byte for byte so that a bank saves back exactly as read.
    std::string soundPath;
    ParamValues values{};

    bool occupied() const { return (flags & kPatchOccupied) != 0; }
    bool unsaved() const { return (flags & kPatchUnsaved) != 0; }
    uint32_t soundPathLength() const { return static_cast<uint32_t>(soundPath.size()); }
    // The path as text: the bytes before the first zero byte.
    std::string_view soundPathText() const;
    void setSoundPath(std::string_view text);
    // An empty slot: flags 0, no sound path (values stay as they were).
    void empty();
};

// `modified` states of a bank.
inline constexpr uint32_t kBankSaved = 0;
inline constexpr uint32_t kBankPatchesChanged = 1;
inline constexpr uint32_t kBankRenamed = 2;

struct PatchBank {
    std::string name;  // at most 63 characters; empty means unnamed
    uint32_t modified = kBankSaved;
    int32_t count = 0;  // occupied slots
    std::array<Patch, kSlotCount> slots{};

    // Slot n, 1..20.
    Patch& slot(int n) { return slots[static_cast<size_t>(n - 1)]; }
    const Patch& slot(int n) const { return slots[static_cast<size_t>(n - 1)]; }
    bool hasPatches() const { return count > 0; }
};

// "A".."H" for bank index 0..7.
std::string bankLetter(int bank);

// Cuts a name to the 63 characters a bank name holds, never inside a UTF-8 character.
std::string limitBankName(std::string_view name);

}  // namespace patches
