#pragma once

#include <filesystem>

// The temporary names of SafeFile.h's replacements, shared by each system's port of it.
namespace zm880::cfgfile {

// How often a fresh temporary name is drawn before a replacement gives up.
inline constexpr int kNameAttempts = 16;

// A fresh temporary name in the folder of `target`: ".NAME.zm880-XXXXXXXXXXXX.tmp", with NAME
// cut short where the whole would be longer than a file name may be (255).
std::filesystem::path TemporaryNameBeside(const std::filesystem::path& target);

// Removes the temporaries of dead writers (older than kStaleTemporaryAge) from `folder`.
void RemoveStaleTemporaries(const std::filesystem::path& folder);

}  // namespace zm880::cfgfile
