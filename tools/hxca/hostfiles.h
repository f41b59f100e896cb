// Reading the scenario folder on the host.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace hxca {

std::optional<std::string> ReadHostFile(const std::string& path);

// Text files as Windows tools write them: UTF-16LE with a byte-order mark (regedit's export) is
// turned into UTF-8; a UTF-8 byte-order mark is dropped; anything else passes unchanged.
std::string DecodeText(const std::string& bytes);

// The table an .idt file defines: the first field of its third line ("Registry<TAB>Registry").
std::optional<std::string> IdtTableName(const std::string& idtText);

// Files of a drive folder, relative paths with backslashes, folders with a trailing backslash,
// sorted; ".gitkeep" files only mark their folder.
std::vector<std::string> DriveTree(const std::string& hostDir);

// Names of the plain files of a folder that end in the suffix (case ignored), sorted.
std::vector<std::string> FilesEndingIn(const std::string& hostDir, const std::string& suffix);

} // namespace hxca
