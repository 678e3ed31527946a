// The settings tool's lines: UTF-8 text of any length, and the Windows-1250
// fields of setup.dat shown in it.
#pragma once

#include <cstddef>
#include <string>

// printf into a line; paths of any length fit.
[[gnu::format(printf, 1, 2)]] std::string toolLine(const char* format, ...);

// A text field of setup.dat, up to its zero byte or its width, as UTF-8.
std::string settingsFieldUtf8(const char* field, size_t width);
