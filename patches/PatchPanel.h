#pragma once

#include <array>
#include <optional>
#include <string>

#include "patches/PanelView.h"
#include "patches/Patch.h"
#include "patches/PatchStreams.h"

namespace patches {

// How a slot click treats the slot: (Ctrl held ? 1 : 0) + (Shift held ? 2 : 0).
enum class PatchClickMode { Recall = 0, FastRecall = 1, StoreVisible = 2, StoreHeard = 3 };

// Control ids of the patch bank panel.
inline constexpr int kDefaultPatchButton = 1400;
inline constexpr int kFirstSlotButton = 1401;
inline constexpr int kLastSlotButton = 1420;
inline constexpr int kNameField = 1104;
inline constexpr int kLoadButton = 1105;
inline constexpr int kSaveButton = 1106;
inline constexpr int kClearPatchButton = 1107;
inline constexpr int kCloseButton = 1109;
inline constexpr int kFirstBankButton = 1600;
inline constexpr int kLastBankButton = 1607;

// Program-change ids below this recall a slot; the others press a bank button.
inline constexpr int kFirstProgramChangeButtonId = 1590;

// A recall sets parameters 0..26: the pan position and the change time stay.
inline constexpr int kRecalledParamCount = 27;
// A store takes parameters 0..27 (the change time is not part of a patch).
inline constexpr int kStoredParamCount = 28;
// Ctrl-click recalls within 0.1 s: 6.4 in 1/64 s.
inline constexpr double kFastRecallChangeTime = 6.4;

// The index that names the default patch instead of a bank.
inline constexpr int kDefaultPatchBank = -1;

// The eight banks, the default patch and the panel that shows one bank at a
// time. Every operation reports through the view. Thread: main.
class PatchPanel {
  public:
    PatchPanel(PatchStreams& streams, PanelView& view);

    // When the first stream is created: fills the default patch from the
    // default parameter set, selects it and displays bank A.
    void start(const ParamValues& defaults);

    // Recall (modes 0, 1) or store (modes 2, 3) for `stream`. `bank` is a bank
    // index or kDefaultPatchBank (then slot is 0). Returns the status id.
    int recallOrStore(int stream, int bank, int slot, PatchClickMode mode);

    void showBank(int bank);
    // A stream became current: its slot is selected when it belongs to the
    // displayed bank or is the default patch, else no slot is. The displayed
    // bank does not change.
    void followStream(int32_t bankIndex, int32_t patchSlot);
    void labelSlots(int bank);

    // Panel commands.
    void slotClick(int id, bool shift, bool ctrl);
    void bankButton(int id);
    void clearPatch();
    // The name field lost the keyboard focus with this text.
    void nameFieldLostFocus(const std::string& text);
    void save();
    void load();
    void close();

    // A MIDI program change: ids below 1590 recall slot id - 1400 of the
    // displayed bank (0: the default patch) into `stream`; others press a bank
    // button. Does not change the stream's bank and slot fields.
    void programChange(int id, int stream);

    // At exit: saves the bank when it has unsaved changes (an unnamed or empty
    // bank is first given its letter as name). Returns saveBank's status, 0 when
    // the user cancelled (the exit stops), 1605 when there was nothing to save.
    int saveBankForExit(int bank);
    // The name the session records for a bank: its name when it holds patches, else empty.
    std::string sessionName(int bank) const;

    PatchBank& bank(int index) { return banks_[static_cast<size_t>(index)]; }
    const PatchBank& bank(int index) const { return banks_[static_cast<size_t>(index)]; }
    const Patch& defaultPatch() const { return defaultPatch_; }
    int displayedBank() const { return displayedBank_; }
    int lastPatchBank() const { return lastPatchBank_; }
    int selectedSlot() const { return selectedSlot_; }
    int statusId() const { return statusId_; }
    const std::string& patchFolder() const { return patchFolder_; }
    // The folder of bank files; a '/' is added when missing.
    void setPatchFolder(std::string folder);

  private:
    // Shows `status` (nonzero), or clears a bank status when a command has none.
    void report(int status);
    void showStatusText(const std::string& text, int id);
    void selectSlot(int slot);
    void markPatchesChanged(PatchBank& bank);
    // Asks whether to save the displayed bank before `what` ("loading a new bank",
    // "closing bank") and saves it. False when the command must end.
    bool offerToSave(const std::string& what);

    PatchStreams& streams_;
    PanelView& view_;
    std::array<PatchBank, kBankCount> banks_{};
    Patch defaultPatch_;
    int displayedBank_ = 0;
    int lastPatchBank_ = -1;
    int selectedSlot_ = 0;
    int statusId_ = 0;
    std::string patchFolder_;
};

// The label of slot n (1..20): "Slot %d", or "Patch &%d" with "*" while unsaved.
std::string slotLabel(int slot, const Patch& patch);

}  // namespace patches
