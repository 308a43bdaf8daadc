#pragma once

#include <QString>
#include <string>

// Every absolute path the program touches goes through here. On the instrument the
// root is "/"; with ORBELIN_ROOT set, the whole file system is that folder, so a test or
// the desktop run never touches the host. Logic and stored paths keep the instrument's
// own paths ("/root/...", "/media/..."); only the access maps them.
class SystemPaths
{
public:
    // The folder put in front of every absolute path; empty on the instrument.
    static QString root();

    // "/root/x" -> "<root>/root/x". Relative paths and empty strings pass unchanged.
    static QString map(const QString &path);
    // The same on a path of bytes as the system takes them (FolderWalk::encodeName()).
    static std::string map(const std::string &path);

    // The reverse of map: a real path under the root back to the instrument's path.
    // A path outside the root is returned unchanged.
    static QString unmap(const QString &realPath);

    // Well-known instrument paths (unmapped).
    static QString programFolder();     // "/root/ORBELIN_Vn"
    static QString settingsFile();      // "/root/ORBELIN_Vn/ORBELIN_Vn.ini"
    static QString protocolFolder();    // "/root/ORBELIN_Vn/Protocol"
    static QString resultsLogFile();    // "/root/ORBELIN_Vn/CountingResults.csv"
    static QString dataFolder();        // "/ORBELIN"
    static QString mediaFolder();       // "/media"

    // settingsFile() as a std::string, for the INI functions.
    static std::string settings();
};
