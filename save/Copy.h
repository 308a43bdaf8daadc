#pragma once

// Copies one file byte for byte and flushes the target to the device. Paths are UTF-8
// instrument paths (mapped through SystemPaths). The target is created with permissions
// 0644 or, when it exists, cut to the copied length. Returns 0 when the whole file reached
// the device, -1 when a file cannot be opened, a read, write or flush fails, or source and
// target are the same file (which is left untouched).
int copy(const char *source, const char *target);
