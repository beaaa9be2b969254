#include "patches/PatchPanel.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iterator>

#include "patches/BankStorage.h"
#include "patches/PatchStatus.h"
#include "platform/AsciiCase.h"

namespace patches {

namespace {

constexpr const char* kSaveCaption = "Save the patches!";
constexpr const char* kLoadCaption = "Load patch bank";
constexpr std::string_view kNameCharsNotAllowed = "\"*?\\/<>:";
constexpr int kMaxStreams = 8;
constexpr int kMnemonicSlots = 9;  // slots 1..9 get their digit as mnemonic
constexpr int kTenthSlot = 10;
// The "Bank is used by stream" text is a bank status without a resource id.
constexpr int kBankUsageStatus = kLastPatchStatus + 1;

}  // namespace

std::string slotLabel(int slot, const Patch& patch) {
    const std::string number = std::to_string(slot);
    if (!patch.occupied())
        return "Slot " + number;
    std::string label = "Patch ";
    if (slot <= kMnemonicSlots)
        label += "&" + number;
    else if (slot == kTenthSlot)
        label += "1&0";
    else
        label += number;
    return patch.unsaved() ? label + "*" : label;
}

PatchPanel::PatchPanel(PatchStreams& streams, PanelView& view) : streams_(streams), view_(view) {}

void PatchPanel::start(const ParamValues& defaults) {
    defaultPatch_ = Patch{};
    defaultPatch_.flags = kPatchOccupied;
    defaultPatch_.values = defaults;
    lastPatchBank_ = -1;
    selectedSlot_ = 0;
    view_.setSlotSelected(0, true);
    displayedBank_ = 0;
    view_.showDisplayedBank(0);
    labelSlots(0);
}

void PatchPanel::setPatchFolder(std::string folder) {
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    patchFolder_ = std::move(folder);
}

void PatchPanel::report(int status) {
    if (status != kStatusNone) {
        showStatusText(std::string(statusText(status)), status);
    } else if (statusId_ > kLastPatchStatus) {
        view_.clearStatus();
        statusId_ = kStatusNone;
    }
}

void PatchPanel::showStatusText(const std::string& text, int id) {
    view_.showStatus(text);
    statusId_ = id;
}

void PatchPanel::selectSlot(int slot) {
    if (selectedSlot_ >= 0 && selectedSlot_ != slot)
        view_.setSlotSelected(selectedSlot_, false);
    view_.setSlotSelected(slot, true);
}

void PatchPanel::markPatchesChanged(PatchBank& bank) {
    // A pending rename stays pending, so that saving under the new name still
    // asks before overwriting another bank's file.
    bank.modified = std::max(bank.modified, kBankPatchesChanged);
}

int PatchPanel::recallOrStore(int stream, int bankIndex, int slot, PatchClickMode mode) {
    const bool isDefault = bankIndex == kDefaultPatchBank;
    if (mode == PatchClickMode::Recall || mode == PatchClickMode::FastRecall) {
        const Patch& patch = isDefault ? defaultPatch_ : bank(bankIndex).slot(slot);
        if (!patch.occupied())
            return kStatusSlotEmpty;
        const double changeTime = mode == PatchClickMode::Recall ? static_cast<double>(streams_.changeTime())
                                                                 : kFastRecallChangeTime;
        const bool isCurrent = stream == streams_.currentStream();
        for (int p = 0; p < kRecalledParamCount; ++p) {
            const int32_t value = patch.values[static_cast<size_t>(p)];
            streams_.setParameter(stream, p, value, changeTime);
            if (isCurrent)
                view_.moveScrollBar(p, value);
        }
        lastPatchBank_ = displayedBank_;
        selectedSlot_ = isDefault ? 0 : slot;
        return isDefault ? kStatusDefaultPatch : kStatusRecalled;
    }

    if (isDefault)
        return kStatusNone;  // the default patch never changes
    PatchBank& target = bank(bankIndex);
    Patch& patch = target.slot(slot);
    patch.setSoundPath(streams_.soundPath(stream));
    for (int p = 0; p < kStoredParamCount; ++p) {
        patch.values[static_cast<size_t>(p)] =
            mode == PatchClickMode::StoreVisible
                ? streams_.target(stream, p)
                : static_cast<int32_t>(std::nearbyint(static_cast<double>(streams_.current(stream, p))));
    }
    if (!patch.occupied())
        ++target.count;
    patch.flags = kPatchOccupied | kPatchUnsaved;
    markPatchesChanged(target);
    view_.setSlotLabel(slot, slotLabel(slot, patch));
    lastPatchBank_ = displayedBank_;
    selectedSlot_ = slot;
    return kStatusStored;
}

void PatchPanel::labelSlots(int bankIndex) {
    const PatchBank& shown = bank(bankIndex);
    view_.setNameField(shown.name);
    for (int n = 1; n <= kSlotCount; ++n) {
        view_.setSlotLabel(n, slotLabel(n, shown.slot(n)));
        if (n == selectedSlot_ && !shown.slot(n).occupied())
            view_.setSlotSelected(n, false);
    }
}

void PatchPanel::followStream(int32_t bankIndex, int32_t patchSlot) {
    if (bankIndex == displayedBank_ || patchSlot == 0) {
        selectSlot(patchSlot);
        selectedSlot_ = patchSlot;
    } else {
        if (selectedSlot_ >= 0)
            view_.setSlotSelected(selectedSlot_, false);
        selectedSlot_ = -1;
    }
}

void PatchPanel::showBank(int bankIndex) {
    labelSlots(bankIndex);
    displayedBank_ = bankIndex;
    view_.showDisplayedBank(bankIndex);

    const int stream = streams_.currentStream();
    followStream(streams_.bankIndex(stream), streams_.patchSlot(stream));

    std::string users;
    for (int s = 0; s < kMaxStreams; ++s) {
        if (streams_.streamExists(s) && streams_.bankIndex(s) == bankIndex && streams_.patchSlot(s) != 0)
            users += (users.empty() ? " " : ", ") + std::to_string(s + 1);
    }
    showStatusText(users.empty() ? "Bank is not used by any stream" : "Bank is used by stream" + users,
                   kBankUsageStatus);
}

void PatchPanel::slotClick(int id, bool shift, bool ctrl) {
    if (id == kDefaultPatchButton && shift) {
        view_.setSlotSelected(0, false);
        if (selectedSlot_ >= 0)
            view_.setSlotSelected(selectedSlot_, true);
        report(kStatusNone);
        return;
    }
    const int slot = id - kDefaultPatchButton;
    const auto mode = static_cast<PatchClickMode>((ctrl ? 1 : 0) + (shift ? 2 : 0));
    const int stream = streams_.currentStream();
    const int previous = selectedSlot_;
    const int status = recallOrStore(stream, slot == 0 ? kDefaultPatchBank : displayedBank_, slot, mode);
    if (status == kStatusSlotEmpty) {
        view_.setSlotSelected(slot, false);
        if (selectedSlot_ >= 0 && (lastPatchBank_ == displayedBank_ || selectedSlot_ == 0))
            view_.setSlotSelected(selectedSlot_, true);
    } else {
        if (previous >= 0 && previous != slot)
            view_.setSlotSelected(previous, false);
        view_.setSlotSelected(slot, true);
        streams_.setPatchOf(stream, displayedBank_, slot);
    }
    report(status);
}

void PatchPanel::bankButton(int id) {
    showBank(id - kFirstBankButton);
}

void PatchPanel::clearPatch() {
    PatchBank& shown = bank(displayedBank_);
    if (selectedSlot_ < 1 || selectedSlot_ > kSlotCount || !shown.slot(selectedSlot_).occupied()) {
        report(kStatusNone);
        return;
    }
    Patch& patch = shown.slot(selectedSlot_);
    patch.flags &= ~(kPatchOccupied | kPatchUnsaved);
    view_.setSlotLabel(selectedSlot_, slotLabel(selectedSlot_, patch));
    view_.setSlotSelected(selectedSlot_, false);
    --shown.count;
    markPatchesChanged(shown);
    selectedSlot_ = -1;
    report(kStatusPatchDeleted);
}

void PatchPanel::nameFieldLostFocus(const std::string& typed) {
    const std::string text = limitBankName(typed);
    PatchBank& shown = bank(displayedBank_);
    if (text == statusText(kPromptBankName)) {
        view_.setNameField("");
    } else if (text != shown.name) {
        std::string cleaned;
        std::copy_if(text.begin(), text.end(), std::back_inserter(cleaned),
                     [](char c) { return kNameCharsNotAllowed.find(c) == std::string_view::npos; });
        if (cleaned != text)
            view_.setNameField(cleaned);
        shown.name = std::move(cleaned);
        shown.modified = kBankRenamed;
    }
    report(kStatusNone);
}

void PatchPanel::save() {
    PatchBank& shown = bank(displayedBank_);
    if (shown.modified == kBankSaved) {
        report(kStatusNothingToSave);
        return;
    }
    const int status = saveBank(shown, patchFolder_, view_);
    if (status == kStatusBankSaved)
        labelSlots(displayedBank_);
    report(status);
}

bool PatchPanel::offerToSave(const std::string& what) {
    PatchBank& shown = bank(displayedBank_);
    if (shown.modified == kBankSaved)
        return true;
    if (shown.hasPatches()) {
        const std::string question = shown.name.empty()
                                         ? "Do you want to save changes before " + what + "?"
                                         : "Do you want to save " + shown.name + " before " + what + "?";
        const Answer answer = view_.askYesNoCancel(question, kSaveCaption);
        if (answer == Answer::No)
            return true;
        if (answer == Answer::Cancel) {
            report(kStatusNone);
            return false;
        }
    }
    const int status = saveBank(shown, patchFolder_, view_);
    if (status == kStatusNone || status == kStatusNeedsName) {
        report(status);
        return false;
    }
    return true;
}

void PatchPanel::load() {
    if (!offerToSave("loading a new bank"))
        return;
    const std::optional<std::string> chosen = view_.chooseBankFile(patchFolder_);
    if (!chosen) {
        report(kStatusNone);
        return;
    }
    const std::filesystem::path path(*chosen);
    setPatchFolder(path.parent_path().string());
    const std::string title = path.stem().string();

    int target = displayedBank_;
    for (int k = 0; k < kBankCount; ++k) {
        if (!platform::equalIgnoringAsciiCase(bank(k).name, title))
            continue;
        if (bank(k).modified == kBankSaved) {
            showBank(k);
            return;
        }
        if (!view_.askOkCancel("Revert " + bank(k).name + " to saved file?", kLoadCaption)) {
            report(kStatusNone);
            return;
        }
        selectedSlot_ = -1;
        target = k;
        break;
    }

    if (!loadBank(*chosen, bank(target), target, title, view_)) {
        labelSlots(displayedBank_);
        report(kStatusNone);
        return;
    }
    if (lastPatchBank_ == target)
        lastPatchBank_ = -1;
    showBank(target);
    report(kStatusBankLoaded);
}

void PatchPanel::close() {
    if (!offerToSave("closing bank"))
        return;
    PatchBank& shown = bank(displayedBank_);
    for (Patch& patch : shown.slots)
        patch.empty();
    shown.name.clear();
    shown.count = 0;
    shown.modified = kBankSaved;
    showBank(displayedBank_);
    report(kStatusBankClosed);
}

void PatchPanel::programChange(int id, int stream) {
    if (id >= kFirstProgramChangeButtonId) {
        bankButton(id);
        return;
    }
    const int slot = id - kDefaultPatchButton;
    const int previous = selectedSlot_;
    const int status =
        recallOrStore(stream, slot == 0 ? kDefaultPatchBank : displayedBank_, slot, PatchClickMode::Recall);
    if (status != kStatusSlotEmpty) {
        if (previous >= 0 && previous != slot)
            view_.setSlotSelected(previous, false);
        view_.setSlotSelected(slot, true);
    }
    report(status);
}

int PatchPanel::saveBankForExit(int index) {
    PatchBank& each = bank(index);
    if (each.modified == kBankSaved)
        return kStatusNothingToSave;
    if (each.name.empty() || !each.hasPatches())
        each.name = bankLetter(index);
    return saveBank(each, patchFolder_, view_);
}

std::string PatchPanel::sessionName(int index) const {
    const PatchBank& each = bank(index);
    if (!each.hasPatches())
        return {};
    return each.name.empty() ? bankLetter(index) : each.name;
}

}  // namespace patches
