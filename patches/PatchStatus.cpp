#include "patches/PatchStatus.h"

namespace patches {

std::string_view statusText(int id) {
    switch (id) {
        case kStatusDefaultPatch:
            return "Restore the default patch (straight playback of sound)";
        case kStatusPatchDeleted:
            return "Deleted current patch";
        case kStatusSlotEmpty:
            return "This slot is empty. Shift- or Ctrl-click to store visible values/what you're hearing";
        case kStatusStored:
            return "Stored current set of scrollbar values for grain generation";
        case kStatusRecalled:
            return "Restore a patch for grain generation";
        case kStatusBankLoaded:
            return "Loaded a patch bank file into current bank";
        case kStatusBankSaved:
            return "Saved current patch bank as <Bank name>.fpb";
        case kStatusBankClosed:
            return "Closed current patch bank";
        case kStatusNeedsName:
            return "You must name this bank to save as a file";
        case kStatusNothingToSave:
            return "Nothing to save in bank";
        case kPromptBankName:
            return "Bank Name?";
        default:
            return {};
    }
}

}  // namespace patches
