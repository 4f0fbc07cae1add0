// The platform's one name for what it keeps of the user's: every setting
// (environment variable) is LW_SETTING("WORD"), the prefix and the word, and
// its own folders (the scratch folder, the runtime folder, the registry's
// folder) carry the prefix without its '_' in lower case, so that the settings
// and the folders read as one family. Private to platform/.
#pragma once

#include <array>
#include <cstddef>

// The prefix comes from the build (LW_SETTINGS_PREFIX), which the program's
// CMakeLists.txt sets: the platform does not know the program's name.
#ifndef LW_SETTINGS_PREFIX
#error "LW_SETTINGS_PREFIX is set by the build"
#endif
#define LW_SETTING(word) LW_SETTINGS_PREFIX word

namespace lwkernel {

constexpr std::array<char, sizeof LW_SETTINGS_PREFIX - 1> OwnFolderNameOf(const char* prefix)
{
    std::array<char, sizeof LW_SETTINGS_PREFIX - 1> name{}; // the '_' gives way to the terminator
    for (size_t i = 0; i + 1 < name.size(); ++i)
        name[i] = prefix[i] >= 'A' && prefix[i] <= 'Z' ? static_cast<char>(prefix[i] - 'A' + 'a') : prefix[i];
    return name;
}

} // namespace lwkernel

inline constexpr auto kOwnFolderName = lwkernel::OwnFolderNameOf(LW_SETTINGS_PREFIX);
