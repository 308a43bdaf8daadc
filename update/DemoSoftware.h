#pragma once

#include <QString>

// The demo package "ORBELIN_Vn-Demo.ovn": a gzip tar whose top-level files go into the
// program folder, replacing a file or link of their name, and whose top-level folders go
// to "/root", replacing only a folder of their name. It must hold the demo program
// "ORBELIN_Vn-demo". A package that cannot be unpacked whole, holds anything unsafe, or
// uses a name the installed program lives by is refused from its listing and changes
// nothing; so is one whose unpacking and copies would not fit on their disks. Names that
// are not UTF-8 are installed byte for byte like any other.

// Installs the package (instrument path); true when the demo program is installed and
// nothing of the install is left behind. Every entry is copied in full beside what it
// replaces, and only once all copies are whole do they take their places: a failed copy
// fails the install and leaves the previous demo as it was. Callers look for the demo
// program file afterwards.
bool installDemoSoftware(QString package);
