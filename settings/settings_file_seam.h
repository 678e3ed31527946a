// The file calls behind setup.dat, one small function per step, and the
// look for the price file that setup.dat names. Windows
// defines them on its own file API; the native build's tests define them on
// POSIX calls with faults they can switch on. What to do about a held file,
// a failed write or a half-made temporary file is decided above this seam,
// the same on every platform.
#pragma once

#include <cstddef>

// Results of settingsFileRead besides a count of bytes.
inline constexpr long kSettingsFileMissing = -1;     // no such file or folder
inline constexpr long kSettingsFileUnreadable = -2;  // there, but held or failing

// Reads `path` from its start into `buffer`, at most `capacity` bytes.
// Returns the number of bytes read (fewer at the end of a short file),
// kSettingsFileMissing when the file does not exist, or
// kSettingsFileUnreadable when it exists but cannot be opened or a read fails
// (a virus scanner or a backup holding it, a bad sector).
long settingsFileRead(const char* path, void* buffer, size_t capacity);

// Creates `path` (emptying an existing one), writes `size` bytes, flushes
// them to the disk and closes it. False when any step fails; the file is
// closed on every path, so the caller can remove what was left.
bool settingsFileWrite(const char* path, const void* bytes, size_t size);

// Moves `from` over `to` in one step, replacing `to` when it exists. False
// when the move does not happen; `to` is then as it was.
bool settingsFileReplace(const char* from, const char* to);

// Removes `path`; a missing file is no error.
void settingsFileRemove(const char* path);

// Waits `milliseconds` before the next try at a held file.
void settingsFilePause(int milliseconds);

// The system's error number of the last call above that failed (Windows'
// GetLastError, errno natively), for the box that tells the shop why its
// settings could not be read or saved.
unsigned long settingsFileLastError();

// Whether `path` names a file and not a folder: at start, a checker in
// standalone mode looks for the price file that setup.dat names.
bool settingsFileExists(const char* path);
