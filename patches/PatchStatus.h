#pragma once

#include <string_view>

namespace patches {

// Status message ids of the patch bank panel (0: the user cancelled, nothing to show).
inline constexpr int kStatusNone = 0;
inline constexpr int kStatusDefaultPatch = 1400;
inline constexpr int kStatusPatchDeleted = 1401;
inline constexpr int kStatusSlotEmpty = 1410;
inline constexpr int kStatusStored = 1411;
inline constexpr int kStatusRecalled = 1412;
inline constexpr int kStatusBankLoaded = 1601;
inline constexpr int kStatusBankSaved = 1602;
inline constexpr int kStatusBankClosed = 1603;
inline constexpr int kStatusNeedsName = 1604;
inline constexpr int kStatusNothingToSave = 1605;
inline constexpr int kPromptBankName = 1606;

// Statuses above this id are bank statuses, cleared by the next panel command
// that reports none of its own; patch statuses stay until replaced.
inline constexpr int kLastPatchStatus = 1529;

// The text of a status id; empty for an unknown id.
std::string_view statusText(int id);

}  // namespace patches
