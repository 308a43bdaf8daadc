#pragma once

#include <QFileInfo>
#include <QString>

// The demo package "ORBELIN_Vn-Demo.ovn": a gzip tar whose top-level files go into the
// program folder, replacing a file or link of their name, and whose top-level folders go
// to "/root", replacing only a folder of their name. It must hold the demo program
// "ORBELIN_Vn-demo". A package that cannot be unpacked whole, holds anything unsafe, or
// uses a name the installed program lives by is refused from its listing and changes
// nothing; so is one whose unpacking and copies would not fit on their disks.

// Installs the package (instrument path); true when the demo program is installed.
// Every entry is copied in full beside what it replaces, and only once all copies are
// whole do they take their places: a failed copy fails the install and leaves the
// previous demo as it was. Callers look for the demo program file afterwards.
bool installDemoSoftware(QString package);

// Copies a file, or a folder with its non-hidden content, into an existing folder. Never
// overwrites: false when the file or folder is there already, and false when anything in
// it cannot be copied. Links are not copied.
bool copyRecursively(QFileInfo source, QFileInfo targetFolder);
