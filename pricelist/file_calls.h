// The file calls of the price-list tool, by names in UTF-8. Windows opens,
// moves and removes files by their wide names, so a path with Polish
// letters means the same file on a PC of any code page; POSIX takes the
// name's bytes as they are.
#pragma once

#include <cstdio>
#include <string>

// Opens a file as a C stream (`mode` as fopen takes it); null on failure.
std::FILE* openFileNamed(const std::string& path, const char* mode);

// Removes a file; false when it could not be removed.
bool removeFileNamed(const std::string& path);

// Writes what the stream holds out of the C library and the system's cache
// to the disk, so the file is whole after a power cut. False on an error.
bool flushToDisk(std::FILE* file);

enum class MoveResult {
    Moved,
    Held,  // another program holds one of the files (sharing or access denied)
    Failed
};

// Moves `from` over `to` in one step, replacing `to` when it exists, the
// move itself written through to the disk. `to` is never removed first: a
// checker looking it up meanwhile finds the old file or the new one.
MoveResult moveFileOver(const std::string& from, const std::string& to);

void pauseMilliseconds(int milliseconds);
