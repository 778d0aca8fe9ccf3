// The version stamps of the product's files: the data version of its binary
// data files, the version of a language file, the file version of a program,
// and the comparison of dotted version texts. Part of the installation kit:
// the checked replacement uses them, the update flow does not (README, Layout).
#pragma once

#include <cstdint>
#include <string>

#include "core/SetupContext.h"

namespace orfa {

int32_t ReadPakVersion(SetupContext& ctx, const std::string& path);
int32_t ReadCokVersion(SetupContext& ctx, const std::string& path);
int32_t Read3bsVersion(SetupContext& ctx, const std::string& path);
int32_t ReadLngVersion(SetupContext& ctx, const std::string& path);
std::string ReadExeFileVersion(SetupContext& ctx, const std::string& path);
// The reader of a data type ("pak", "cok", "3bs", "lng") on a file already
// open for reading, named `path` in a language file's error box; 0 for other types.
int32_t ReadVersionOfOpenFile(SetupContext& ctx, const std::string& type, File& file,
                              const std::string& path);
bool IsOlderVersionText(const std::string& newText, const std::string& oldText);
// "$", "x", "0x" hex, signs, leading spaces only.
bool ParseIntegerText(const std::string& text, int32_t* value);

}  // namespace orfa
