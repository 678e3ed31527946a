// What the prchk tool has to tell the user, in Polish, and the few helpers
// every part of it uses to say it. A fault that stands in many rows of a
// price list is said once, with the rows it is on, so a list of a thousand
// rows with one mistake made a thousand times still fits on a screen.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A fault or a remark found in rows of a price list, with the rows it stands
// on. Like ones (the same text in the same column) are one entry.
struct RowFault {
    bool error = false;
    int column = 0;     // counted from 1 as a spreadsheet does; 0 for the whole row
    std::string label;  // the column's header, as the shop wrote it
    std::string text;   // what is wrong and what to change; "{}" stands for `value`
    std::string value;  // what the first of its rows holds
    int64_t count = 0;
    std::array<int, 4> lines{};  // the first rows it stands on
};

// What a build, dump or verify has to tell the user: errors stop the work,
// warnings do not, notes say what the tool did on its own.
struct PrchkMessages {
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
    std::vector<std::string> notes;
    std::vector<RowFault> rowFaults;  // not yet among errors and warnings
};

// What is wrong with one field: a text with "{}" where the field's value
// goes, and that value, so the same fault in many rows groups as one.
struct FieldProblem {
    std::string text;
    std::string value;
};

namespace prchk {

// printf into a string, cut at 511 bytes: messages are short, and a cut one
// still names its line.
std::string formatText(const char* format, ...);

// The Polish form of a noun after the number `count`: "1 wiersz",
// "3 wiersze", "5 wierszy", "22 wiersze", "12 wierszy".
const char* pluralForm(int64_t count, const char* one, const char* few, const char* many);

// "5 wierszy": the number and its noun.
std::string countOf(int64_t count, const char* one, const char* few, const char* many);

// "wiersz N: text", the form every complaint about a CSV line takes.
void addLineError(PrchkMessages& messages, int line, const std::string& text);

// A fault of the row on `line`, in `column` (0: the whole row) headed
// `label`; like faults of other rows join it.
void addRowError(PrchkMessages& messages, int line, int column, std::string_view label,
                 const FieldProblem& problem);
void addRowWarning(PrchkMessages& messages, int line, int column, std::string_view label,
                   const FieldProblem& problem);

// Writes the row faults gathered so far into errors and warnings, in the
// order of their first rows: "wiersze 17, 33, 49 i 44 innych, kolumna 3
// (Cena): ...".
void finishRowFaults(PrchkMessages& messages);

// Bytes for a message: printable ASCII as it is, anything else as \xNN, so a
// damaged file cannot garble the terminal.
std::string printableText(std::string_view bytes);

// Valid UTF-8 text for a message, in Polish quotes: control characters as
// \xNN, and cut with "…" after 40 characters.
std::string quotedText(std::string_view utf8);

// "rekord N (przesunięcie M)": where a record of a price file stands,
// counted from 1 for people and in bytes for a hex viewer.
std::string recordPlace(int64_t index);

}  // namespace prchk
