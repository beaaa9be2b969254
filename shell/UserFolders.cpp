#include "shell/UserFolders.h"

#include <cstdlib>

namespace shell {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string withoutTrailingSlash(std::string folder) {
    if (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

}  // namespace

std::string programFolder() {
    std::string base = environment("XDG_DATA_HOME");
    if (base.empty()) {
        const std::string home = environment("HOME");
        base = (home.empty() ? std::string(".") : home) + "/.local/share";
    }
    return withoutTrailingSlash(base) + "/frisson";
}

std::string patchFolderFor(const std::string& programFolder, const std::string& userName) {
    std::string folder = programFolder + "/Patches/";
    if (!userName.empty())
        folder += userName + "/";
    return folder;
}

void applyFolderDefaults(StoredSettings& settings, const std::string& programFolder) {
    if (settings.soundfileOutFolder.empty()) {
        const char* sfdir = std::getenv("SFDIR");
        settings.soundfileOutFolder = withoutTrailingSlash(sfdir ? std::string(sfdir) : programFolder);
    }
    if (settings.soundfileInFolder.empty()) {
        const char* ssdir = std::getenv("SSDIR");
        settings.soundfileInFolder =
            withoutTrailingSlash(ssdir ? std::string(ssdir) : settings.soundfileOutFolder);
    }
}

}  // namespace shell
