#pragma once

#include <string>

#include "shell/StoredSettings.h"

namespace shell {

// The program's data folder: ${XDG_DATA_HOME:-~/.local/share}/frisson (no '/' at the end).
std::string programFolder();

// The folder of bank files: the program folder's "Patches/", plus "<user>/"
// when a user is logged in; always ending in '/'.
std::string patchFolderFor(const std::string& programFolder, const std::string& userName);

// Empty sound folders take their defaults: the output folder "SFDIR" or the
// program folder, the input folder "SSDIR" or the output folder; a '/' at the
// end of the value taken is dropped.
void applyFolderDefaults(StoredSettings& settings, const std::string& programFolder);

}  // namespace shell
