#pragma once

#include <array>
#include <optional>
#include <string>

#include "patches/PatchPanel.h"

namespace patches {

// Where the session record lives: the "SessionPatches" key of the user's
// settings, one text value per bank letter. The settings layer implements it.
// Thread: main.
class SessionRecord {
  public:
    virtual ~SessionRecord() = default;
    // The bank names by letter A..H (empty: no value), or nothing when no session
    // was recorded yet. Throws on an error of the settings store.
    virtual std::optional<std::array<std::string, kBankCount>> read() = 0;
    // Records `name` for the bank's letter; an empty name deletes the value.
    virtual void write(int bank, const std::string& name) = 0;
};

// At start: opens the session's bank files from `folder` (ending in '/') into
// the panel's banks; without a session record, the files A.fpb .. H.fpb.
// Settings errors end the reading silently.
void loadSession(PatchPanel& panel, const std::string& folder, SessionRecord& record, PanelView& view);

// At exit, for banks A..H in order: saves the bank when it has unsaved changes,
// then records its name. False when the user cancelled a save: the exit stops,
// with the banks before it already recorded.
bool saveAndRecordSession(PatchPanel& panel, SessionRecord& record);

}  // namespace patches
