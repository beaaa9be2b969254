#pragma once

#include <optional>
#include <string>

#include "patches/PanelView.h"
#include "patches/Patch.h"

namespace patches {

// Saving and loading a bank's file, with the questions and warnings they show.
// Thread: main.

// The file of a bank named `name` in `folder` (which ends in '/').
std::string bankFilePath(const std::string& folder, const std::string& name);

// Writes the bank to `folder` + name + ".fpb" (or deals with the file of a bank
// that has become empty). Returns 1602 saved, 1604 the bank needs a name, 1605
// nothing saved, or 0 when the user cancelled or the file could not be written
// (reported; the bank then stays modified).
int saveBank(PatchBank& bank, const std::string& folder, PanelView& view);

// Reads a bank file into `bank` (index `bankIndex`); true when the bank now
// holds the file's patches. The bank is named `title` (cut to 63 characters),
// or its letter when there is no title. A file that cannot be opened gives
// false silently; a file that is not a valid bank is reported and the bank
// keeps what it held; an empty one is also deleted.
bool loadBank(const std::string& path, PatchBank& bank, int bankIndex,
              const std::optional<std::string>& title, PanelView& view);

}  // namespace patches
