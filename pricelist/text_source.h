// A price list's bytes as UTF-8 text, a piece at a time: a list of a
// million rows is never held whole, nor in a second decoded copy.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "pricelist/encodings.h"
#include "pricelist/messages.h"

// Where a price list's bytes come from: a file, read a piece at a time, or
// bytes already in memory when `file` is null.
struct ByteSource {
    std::FILE* file = nullptr;
    std::string_view bytes;
    size_t taken = 0;
    bool failed = false;  // a read error
};

// Reads up to `size` bytes; 0 at the end or on an error (`failed` is set).
size_t takeBytes(ByteSource& source, char* buffer, size_t size);

// Reads the whole source once to find how to read it: UTF-16 after its
// byte-order mark; else, for Detect, UTF-8 after a UTF-8 BOM or when the
// bytes are valid UTF-8, else Windows-1250 (also when only the Windows-1250
// reading of valid UTF-8 gives Polish letters, as "NÓŻ" does). `lineCount`
// gets an upper bound of the lines. Returns 0 with the source back at its
// start, or -1 with an error naming the line, for a file that is no text (a
// zero byte) or a byte the encoding has no character for.
int scanPriceListBytes(ByteSource& source, TextEncoding& encoding, int64_t& lineCount,
                       PrchkMessages& messages);

// Decoded text of a price list, brought in a piece at a time.
struct TextStream {
    ByteSource* source = nullptr;
    TextEncoding encoding = TextEncoding::Utf8;
    std::string text;    // decoded text not yet dropped
    std::string piece;   // the bytes read last
    bool ended = false;  // the source has no more
    bool started = false;
    bool bigEndian = false;      // UTF-16 with its high byte first
    std::string carry;           // bytes of a character cut at the end of a piece
    char32_t highSurrogate = 0;  // the first half of a UTF-16 pair
};

// Appends the next piece of the source's text to `stream.text`, without a
// byte-order mark. Returns false, with `ended` set, when there is no more.
bool readMoreText(TextStream& stream);

// Drops the first `count` bytes of text, which the reader is done with.
void dropText(TextStream& stream, size_t count);
