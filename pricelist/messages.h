// What the prchk tool has to tell the user, and the few helpers every part
// of it uses to say it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What a build, dump or verify has to tell the user: errors stop the work,
// warnings do not.
struct PrchkMessages {
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
};

namespace prchk {

// printf into a string, cut at 511 bytes: messages are short, and a cut one
// still names its line.
std::string formatText(const char* format, ...);

// "line N: text", the form every complaint about a CSV line takes.
void addLineError(PrchkMessages& messages, int line, const std::string& text);
void addLineWarning(PrchkMessages& messages, int line, const std::string& text);

// "line N, column C (label): text", for a problem of one field; `column`
// counts from 1 as a spreadsheet does, `label` is the column's header.
void addFieldError(PrchkMessages& messages, int line, int column, const std::string& label,
                   const std::string& text);
void addFieldWarning(PrchkMessages& messages, int line, int column, const std::string& label,
                     const std::string& text);

// Bytes for a message: printable ASCII as it is, anything else as \xNN, so a
// damaged file cannot garble the terminal.
std::string printableText(std::string_view bytes);

// "record N (offset M)": where a record of a price file stands, counted from 1
// for people and in bytes for a hex viewer.
std::string recordPlace(int64_t index);

}  // namespace prchk
