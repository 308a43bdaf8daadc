#pragma once

#include <string>

// The INI store every part of the program uses. Paths are instrument paths
// ("/root/ORBELIN_Vn/ORBELIN_Vn.ini") and are mapped through SystemPaths.
// Section and key names may hold blanks; values are kept exactly as written.

// When the key holds a non-empty value, value is that value and the result is 1;
// otherwise value is defaultValue and the result is 0. Writes nothing.
int ReadPrivateProfileString(const std::string &section, const std::string &key,
                             const std::string &defaultValue, std::string &value,
                             const std::string &path);

// Writes one key, creating the file, its folder, the section and the key when missing
// and keeping every other section and key. The file is replaced atomically, so a
// failed write leaves the old file whole. Returns false when the file could not be written.
bool WritePrivateProfileString(const std::string &section, const std::string &key,
                               const std::string &value, const std::string &path);
