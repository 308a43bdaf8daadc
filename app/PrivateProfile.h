#pragma once

#include <string>

// The INI store every part of the program uses, in the format of Qt's settings store
// (QSettings::IniFormat). Paths are instrument paths ("/root/ORBELIN_Vn/ORBELIN_Vn.ini")
// and are mapped through SystemPaths. Section and key names may hold blanks.

// When the key holds a non-empty value, value is that value and the result is 1;
// otherwise value is defaultValue and the result is 0. Writes nothing.
int ReadPrivateProfileString(const std::string &section, const std::string &key,
                             const std::string &defaultValue, std::string &value,
                             const std::string &path);

// Writes one key, creating the file, its folder, the section and the key when missing;
// every other line of the file stays as it was, byte for byte. The file is replaced
// atomically, so a failed write leaves the old file whole. Returns false, and leaves the
// file alone, when it could not be written, or exists but cannot be read or parsed.
bool WritePrivateProfileString(const std::string &section, const std::string &key,
                               const std::string &value, const std::string &path);
