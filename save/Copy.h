#pragma once

// Copies one file byte for byte and flushes the target to the device. Paths are UTF-8
// instrument paths (mapped through SystemPaths). The source is opened first; the target is
// created with permissions 0644 or, when it exists, cut to the copied length. Returns 0 when
// the whole file reached the device, -1 when a file cannot be opened, a read, write or flush
// fails, or source and target are the same file (which is left untouched). A copy that fails
// leaves no target behind, neither empty nor partial.
int copy(const char *source, const char *target);

// The same from the entry sourceName of the open folder sourceFolder into an open folder:
// names are raw bytes; name is a new entry of that folder (an entry of that name already
// there fails the copy and is left as it is).
int copyAt(int sourceFolder, const char *sourceName, int folder, const char *name);
