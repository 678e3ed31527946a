// The file calls of the price-list tool, by names in UTF-8. Windows opens,
// moves and removes files by their wide names, so a path with Polish
// letters means the same file on a PC of any code page; POSIX takes the
// name's bytes as they are.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

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

// What tells one version of a file from the next without reading it: its
// size, the time of its last change and, where the system has one, what
// identifies the file itself (a list moved over the old one in one step is a
// new file even when size and time agree).
struct FileStamp {
    bool exists = false;
    int64_t size = 0;
    int64_t changed = 0;   // the system's own units
    int64_t identity = 0;  // 0 where the system gives none
    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file `path` names; `exists` is false when there is no
// such file or it cannot be looked at.
FileStamp stampFileNamed(const std::string& path);

// The program's arguments after its name, in UTF-8. Windows reads them
// through the wide command line: the C runtime's argv holds them in the
// PC's ANSI code page, where a Polish letter of a path may already be lost.
std::vector<std::string> programArguments(int argc, char** argv);
