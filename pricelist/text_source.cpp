// Reading a price list's bytes twice: once to find how they are written
// (the whole file decides, not its first lines: a list in Windows-1250 may
// hold its first Polish letter in its last row), then a piece at a time as
// text for the CSV reader.
#include "pricelist/text_source.h"

#include <algorithm>
#include <utility>

#include "base/utf8.h"

namespace {

using prchk::addLineError;
using prchk::formatText;

constexpr size_t kPieceSize = size_t{1} << 20;

// What one pass over the bytes found, for each way of reading them.
struct ByteScan {
    int line = 1;
    bool afterCr = false;
    int64_t lineBreaks = 0;
    int zeroLine = 0;  // 0 while no zero byte was met
    // The bytes read as UTF-8.
    bool utf8Valid = true;
    bool utf8OnlyListCharacters = true;
    int utf8BadLine = 0;
    unsigned char utf8BadByte = 0;
    char pending[4] = {};
    size_t pendingLength = 0;
    size_t pendingNeeded = 0;
    // The bytes read as Windows-1250.
    bool windows1250Fits = true;
    bool windows1250OnlyListCharacters = true;
    int windows1250BadLine = 0;
    unsigned char windows1250BadByte = 0;
};

size_t utf8LengthOf(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

void markUtf8Invalid(ByteScan& scan, unsigned char byte) {
    scan.utf8Valid = false;
    scan.utf8BadLine = scan.line;
    scan.utf8BadByte = byte;
}

// One byte of 0x80 or above, or one inside a sequence, read as UTF-8.
void scanUtf8Byte(ByteScan& scan, unsigned char byte) {
    if (scan.pendingNeeded == 0) {
        scan.pendingNeeded = utf8LengthOf(byte);
        scan.pending[0] = static_cast<char>(byte);
        scan.pendingLength = 1;
        if (scan.pendingNeeded == 0) markUtf8Invalid(scan, byte);
        return;
    }
    if ((byte & 0xC0) != 0x80) {
        markUtf8Invalid(scan, static_cast<unsigned char>(scan.pending[0]));
        return;
    }
    scan.pending[scan.pendingLength++] = static_cast<char>(byte);
    if (scan.pendingLength < scan.pendingNeeded) return;
    scan.pendingNeeded = 0;
    size_t pos = 0;
    char32_t c = 0;
    if (!prchk::decodeUtf8(std::string_view(scan.pending, scan.pendingLength), pos, c)) {
        markUtf8Invalid(scan, static_cast<unsigned char>(scan.pending[0]));
    } else if (!isPriceListCharacter(c)) {
        scan.utf8OnlyListCharacters = false;
    }
}

void scanWindows1250Byte(ByteScan& scan, unsigned char byte) {
    const char32_t c = windows1250ByteToUnicode(byte);
    if (c == 0) {
        scan.windows1250Fits = false;
        scan.windows1250BadLine = scan.line;
        scan.windows1250BadByte = byte;
    } else if (!isPriceListCharacter(c)) {
        scan.windows1250OnlyListCharacters = false;
    }
}

// Lines are counted as the CSV reader counts them: CR LF is one break.
void scanPiece(ByteScan& scan, std::string_view bytes) {
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0) {
            scan.zeroLine = scan.line;
            return;
        }
        if (byte >= 0x80 || scan.pendingNeeded > 0) {
            if (scan.utf8Valid) scanUtf8Byte(scan, byte);
            if (scan.windows1250Fits && byte >= 0x80) scanWindows1250Byte(scan, byte);
        }
        if (byte == '\r' || (byte == '\n' && !scan.afterCr)) {
            ++scan.line;
            ++scan.lineBreaks;
        }
        scan.afterCr = byte == '\r';
    }
}

// A piece as large as what is left of bytes in memory, so a short list in
// memory costs no megabyte; a file is read in whole pieces.
size_t pieceSizeFor(const ByteSource& source) {
    if (source.file != nullptr) return kPieceSize;
    return std::clamp<size_t>(source.bytes.size() - source.taken, 1, kPieceSize);
}

bool rewindSource(ByteSource& source) {
    source.taken = 0;
    if (source.file == nullptr) return true;
    std::clearerr(source.file);
    return std::fseek(source.file, 0, SEEK_SET) == 0;
}

// Some pairs of Windows-1250 letters are valid UTF-8 as well ("ÓŻ" is the
// bytes D3 AF, a Cyrillic letter in UTF-8), so a short list can pass for
// UTF-8; when only its Windows-1250 reading gives Polish letters, that wins.
TextEncoding encodingFound(const ByteScan& scan) {
    if (!scan.utf8Valid) return TextEncoding::Windows1250;
    if (scan.utf8OnlyListCharacters) return TextEncoding::Utf8;
    return scan.windows1250Fits && scan.windows1250OnlyListCharacters ? TextEncoding::Windows1250
                                                                      : TextEncoding::Utf8;
}

// Checks that the encoding reads every byte. Returns 0, or -1 with an error.
int checkEncoding(const ByteScan& scan, TextEncoding encoding, PrchkMessages& messages) {
    if (scan.zeroLine > 0) {
        addLineError(messages, scan.zeroLine,
                     "bajt zerowy – to nie jest plik tekstowy (może skoroszyt albo plik cen?); "
                     "zapisz cennik w arkuszu jako CSV");
        return -1;
    }
    if (encoding == TextEncoding::Utf8 && !scan.utf8Valid) {
        addLineError(messages, scan.utf8BadLine,
                     formatText("bajt 0x%02X nie jest poprawnym znakiem UTF-8; jeśli plik jest "
                                "w Windows-1250, podaj opcję --encoding windows-1250, albo "
                                "zapisz cennik jako „CSV UTF-8”",
                                scan.utf8BadByte));
        return -1;
    }
    if (encoding == TextEncoding::Windows1250 && !scan.windows1250Fits) {
        addLineError(messages, scan.windows1250BadLine,
                     formatText("bajt 0x%02X nie jest znakiem kodowania Windows-1250; zapisz "
                                "cennik ponownie jako CSV w UTF-8 albo w Windows-1250",
                                scan.windows1250BadByte));
        return -1;
    }
    return 0;
}

void appendCharacter(std::string& text, char32_t c) {
    appendUtf8(text, c == 0 ? U'\uFFFD' : c);
}

// One UTF-16 code unit; a half of a pair without its other half is kept
// as U+FFFD, which no name accepts, so the row it stands in is named.
void appendUtf16Unit(TextStream& stream, char32_t unit) {
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (stream.highSurrogate != 0) {
        const char32_t first = std::exchange(stream.highSurrogate, 0);
        if (low) {
            appendCharacter(stream.text, 0x10000 + ((first - 0xD800) << 10) + (unit - 0xDC00));
            return;
        }
        appendCharacter(stream.text, 0xFFFD);
    }
    if (high) {
        stream.highSurrogate = unit;
    } else {
        appendCharacter(stream.text, low ? 0xFFFD : unit);
    }
}

void appendUtf16(TextStream& stream, std::string_view bytes) {
    std::string& carry = stream.carry;
    carry.append(bytes);
    size_t i = 0;
    for (; i + 1 < carry.size(); i += 2) {
        const auto first = static_cast<unsigned char>(carry[i]);
        const auto second = static_cast<unsigned char>(carry[i + 1]);
        appendUtf16Unit(stream, stream.bigEndian ? (first << 8) | second : (second << 8) | first);
    }
    carry.erase(0, i);
}

void appendWindows1250(std::string& text, std::string_view bytes) {
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text += c;
        } else {
            appendCharacter(text, windows1250ByteToUnicode(byte));
        }
    }
}

// Drops a byte-order mark at the start of the first piece.
std::string_view withoutMark(const TextStream& stream, std::string_view bytes) {
    if (stream.encoding == TextEncoding::Utf8 && bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
    } else if (stream.encoding == TextEncoding::Utf16) {
        bytes.remove_prefix(std::min<size_t>(2, bytes.size()));
    }
    return bytes;
}

}  // namespace

size_t takeBytes(ByteSource& source, char* buffer, size_t size) {
    if (source.file == nullptr) {
        const size_t count = std::min(size, source.bytes.size() - source.taken);
        std::copy_n(source.bytes.data() + source.taken, count, buffer);
        source.taken += count;
        return count;
    }
    const size_t got = std::fread(buffer, 1, size, source.file);
    if (got == 0 && std::ferror(source.file)) source.failed = true;
    source.taken += got;
    return got;
}

int scanPriceListBytes(ByteSource& source, TextEncoding& encoding, int64_t& lineCount,
                       PrchkMessages& messages) {
    ByteScan scan;
    std::string piece(pieceSizeFor(source), '\0');
    bool utf8Mark = false;
    bool utf16 = false;
    for (size_t got = 0;
         scan.zeroLine == 0 && (got = takeBytes(source, piece.data(), piece.size())) > 0;) {
        const std::string_view bytes(piece.data(), got);
        if (source.taken == got) {
            utf8Mark = bytes.starts_with("\xEF\xBB\xBF");
            utf16 = bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF");
            if (utf16) break;
        }
        scanPiece(scan, bytes);
    }
    if (scan.pendingNeeded > 0 && scan.utf8Valid) {
        markUtf8Invalid(scan, static_cast<unsigned char>(scan.pending[0]));
    }
    if (source.failed || !rewindSource(source)) {
        messages.errors.push_back("błąd odczytu pliku");
        return -1;
    }
    lineCount = utf16 ? 0 : scan.lineBreaks + 1;
    if (utf16) {
        encoding = TextEncoding::Utf16;
        return 0;
    }
    if (encoding == TextEncoding::Detect) {
        encoding = utf8Mark ? TextEncoding::Utf8 : encodingFound(scan);
    }
    return checkEncoding(scan, encoding, messages);
}

bool readMoreText(TextStream& stream) {
    if (stream.ended) return false;
    std::string& piece = stream.piece;
    piece.resize(pieceSizeFor(*stream.source));
    const size_t got = takeBytes(*stream.source, piece.data(), piece.size());
    if (got == 0) {
        stream.ended = true;
        if (!stream.carry.empty() || stream.highSurrogate != 0) {
            appendCharacter(stream.text, 0xFFFD);
        }
        return false;
    }
    std::string_view bytes(piece.data(), got);
    if (!stream.started) {
        bytes = withoutMark(stream, bytes);
        stream.bigEndian = stream.encoding == TextEncoding::Utf16 && piece[0] == '\xFE';
        stream.started = true;
    }
    if (stream.encoding == TextEncoding::Utf16) {
        appendUtf16(stream, bytes);
    } else if (stream.encoding == TextEncoding::Windows1250) {
        appendWindows1250(stream.text, bytes);
    } else {
        stream.text.append(bytes);
    }
    return true;
}

void dropText(TextStream& stream, size_t count) {
    stream.text.erase(0, count);
}
