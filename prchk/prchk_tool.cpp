// prchk: builds a PRCHK.DAT from a CSV price list (a back-office program's,
// or a spreadsheet's as a shop types it), dumps one back to CSV in either
// form, and verifies one before it is put on a price checker. It speaks
// Polish: it is run in shops.
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "base/text.h"
#include "lookup/check_state.h"
#include "prchk/tool_output.h"
#include "pricelist/pricelist.h"

namespace {

using prchk::countOf;
using prchk::formatText;

// Exit codes: 0 done, with or without warnings; 1 bad input or findings;
// 2 wrong use or an unreadable or unwritable file.
constexpr int kExitDone = 0;
constexpr int kExitFindings = 1;
constexpr int kExitTrouble = 2;

// More error lines than this are counted, not listed: like faults of many
// rows are one line already, so these are faults of many kinds.
constexpr size_t kErrorsListed = 50;

void say(const std::string& text) {
    writeToolText(ToolStream::Out, text + "\n");
}

void complain(const std::string& text) {
    writeToolText(ToolStream::Err, text + "\n");
}

constexpr const char* kUsage[] = {
    "Użycie:",
    "  prchk build [opcje] <cennik.csv> <PRCHK.DAT>",
    "                              tworzy plik cen z cennika CSV",
    "  prchk dump [--spreadsheet] <PRCHK.DAT> [cennik.csv]",
    "                              zapisuje plik cen jako CSV (na ekran, gdy nie",
    "                              podano pliku CSV)",
    "  prchk verify <PRCHK.DAT>    sprawdza plik cen",
    "",
    "Cennik CSV ma wiersz nagłówka z nazwami kolumn, szukany w pierwszych 20",
    "niepustych wierszach (wiersze nad nim, np. tytuł, są pomijane), a pod nim",
    "towary. Kolumny mogą stać w dowolnej kolejności; wielkość liter, odstępy,",
    "kropki i nawiasy w nazwach nie mają znaczenia; kolumny o innych nazwach są",
    "pomijane:",
    "  kod        kod, kod kreskowy, kod EAN, EAN, EAN13, EAN-13, kod towaru, code,",
    "             barcode: EAN-13, EAN-8 albo 7- lub 6-znakowy kod towaru z kodów",
    "             wagowych, najwyżej 16 znaków",
    "  nazwa      nazwa, nazwa towaru, nazwa produktu, towar, name: najwyżej 120",
    "             znaków, litery ASCII i polskie",
    "  cena       cena, cena brutto, brutto, brutto 1, cena sprzedaży, cena",
    "             detaliczna, cena zł, cena [zł], price: cena sprzedaży, dla",
    "             towaru na wagę cena 1 kg; obok kolumny „cena” cenę bierze się",
    "             z kolumny „cena brutto” albo „brutto”",
    "  netto1     netto, netto 1, cena netto, net1         (nieobowiązkowe;",
    "  brutto2    brutto 2, gross2                          puste pole to 0)",
    "  netto2     netto 2, net2",
    "  jednostka  jednostka, jednostka miary, j.m., jm, jedn., miara, unit:",
    "             najwyżej 17 znaków, sprawdzarka pokazuje pierwsze 5",
    "Pola rozdziela „;”, „,” albo tabulator: ten, z którym nagłówek nazywa",
    "kolumny. Pole z separatorem, cudzysłowem albo podziałem wiersza stoi",
    "w cudzysłowie, a cudzysłów w nim jest podwojony. Znak dziesiętny to „.”,",
    "gdy pola rozdziela „,” (cena z jednym przecinkiem w cudzysłowie, \"6,49\",",
    "też jest czytana), a w innym razie „,”; tysiące może oddzielać odstęp",
    "(1 299,00), a cena może mieć „zł” albo „PLN”. Ceny są zaokrąglane do groszy.",
    "Plik jest czytany jako UTF-16, gdy zaczyna się od jego znacznika (BOM);",
    "jako UTF-8, gdy jest poprawnym UTF-8; w innym razie jako Windows-1250.",
    "",
    "Opcje polecenia build:",
    "  --separator ';'|','|tab    --decimal ,|.    --encoding utf-8|windows-1250",
    "                             postać pliku, gdy odczytano ją inaczej",
    "  --column POLE=NAGŁÓWEK     kolumna o innej nazwie dla pola kod, nazwa, cena,",
    "                             brutto2, netto1, netto2 albo jednostka, np.",
    "                             --column cena=\"Cena promocyjna\"",
    "  --keep-decimals            ceny z trzecim i czwartym miejscem po przecinku",
    "                             bez zaokrąglania, jak w pliku cen z programu",
    "                             sklepu",
    "Cennik z choćby jednym błędem nie daje pliku; każdy błąd podaje wiersze",
    "i kolumnę. Kolumnę kodów sformatuj w arkuszu jako tekst: inaczej arkusz",
    "gubi zera na początku kodów i skraca długie kody (5,90123E+12).",
    "",
    "dump zapisuje UTF-8 z „,” i „.”; z --spreadsheet to, co polski arkusz",
    "otwiera od razu: Windows-1250, „;”, „,” i nagłówek",
    "  kod;nazwa;cena;brutto2;netto1;netto2;jednostka",
    "",
    "Kody wyjścia: 0 gotowe (także z ostrzeżeniami); 1 błędy w cenniku albo",
    "problemy znalezione przez verify; 2 błędne wywołanie albo plik, którego",
    "nie da się odczytać lub zapisać.",
};

void printUsage() {
    std::string text;
    for (const char* line : kUsage) text += std::string(line) + "\n";
    writeToolText(ToolStream::Err, text);
}

void printMessages(const PrchkMessages& messages) {
    for (const std::string& note : messages.notes) complain(note);
    for (const std::string& warning : messages.warnings) complain("uwaga: " + warning);
    for (size_t i = 0; i < messages.errors.size() && i < kErrorsListed; ++i) {
        complain(messages.errors[i]);
    }
    if (messages.errors.size() > kErrorsListed) {
        const size_t more = messages.errors.size() - kErrorsListed;
        complain(formatText("… i %s", countOf(static_cast<int64_t>(more), "inny błąd", "inne błędy",
                                              "innych błędów")
                                          .c_str()));
    }
}

int runBuild(const std::string& csvPath, const std::string& outPath, CsvForm form) {
    PrchkMessages messages;
    size_t count = 0;
    const int result = buildPriceFile(csvPath, outPath, form, count, messages);
    printMessages(messages);
    if (result > 0 && form.separator != 0) {
        complain(
            formatText("Plik %s odczytano jako: %s; opcje --encoding, --separator "
                       "i --decimal pozwalają to zmienić.",
                       csvPath.c_str(), describeCsvForm(form).c_str()));
    }
    if (result != 0) {
        complain(formatText("Nie zapisano pliku %s.", outPath.c_str()));
        return result > 0 ? kExitFindings : kExitTrouble;
    }
    say(formatText("%s: zapisano %s", outPath.c_str(),
                   countOf(static_cast<int64_t>(count), "towar", "towary", "towarów").c_str()));
    return kExitDone;
}

int runDumpToFile(const std::string& datPath, const std::string& csvPath, DumpForm form) {
    PrchkMessages messages;
    size_t count = 0;
    const int result = dumpPriceFile(datPath, csvPath, form, count, messages);
    printMessages(messages);
    if (result != 0) return kExitTrouble;
    say(formatText("%s: zapisano %s", csvPath.c_str(),
                   countOf(static_cast<int64_t>(count), "rekord", "rekordy", "rekordów").c_str()));
    return kExitDone;
}

int runDumpToScreen(const std::string& datPath, DumpForm form) {
    PrchkMessages messages;
    std::vector<PriceRecord> records;
    int64_t trailingBytes = 0;
    if (readPriceFile(datPath, records, trailingBytes, messages) != 0) {
        printMessages(messages);
        return kExitTrouble;
    }
    writeToolData(recordsToCsv(records, messages, form), form == DumpForm::Spreadsheet);
    if (trailingBytes > 0) {
        messages.warnings.push_back(countOf(trailingBytes, "bajt", "bajty", "bajtów") +
                                    " za ostatnim pełnym rekordem pominięto");
    }
    printMessages(messages);
    return std::fflush(stdout) == 0 ? kExitDone : kExitTrouble;
}

int runVerify(const std::string& datPath) {
    PrchkMessages messages;
    VerifyReport report;
    const int result = verifyPriceFile(datPath, report, messages);
    if (result < 0) {
        printMessages(messages);
        return kExitTrouble;
    }
    say(formatText("%s: %s", datPath.c_str(),
                   countOf(report.records, "rekord", "rekordy", "rekordów").c_str()));
    for (const std::string& finding : report.findings) say("  " + finding);
    const auto listed = static_cast<int64_t>(report.findings.size());
    if (report.findingCount > listed) {
        say("  … i " + countOf(report.findingCount - listed, "inny problem", "inne problemy",
                               "innych problemów"));
    }
    if (result == 0) {
        say("nie znaleziono problemów");
        return kExitDone;
    }
    say("znaleziono " + countOf(report.findingCount, "problem", "problemy", "problemów"));
    return kExitFindings;
}

// The words the build options take.
struct OptionValue {
    const char* option;
    const char* value;
    int meaning;  // a character, or a TextEncoding
};

constexpr std::array<OptionValue, 10> kOptionValues = {{
    {"--separator", ";", ';'},
    {"--separator", ",", ','},
    {"--separator", "tab", '\t'},
    {"--separator", "\t", '\t'},
    {"--decimal", ",", ','},
    {"--decimal", ".", '.'},
    {"--encoding", "utf-8", static_cast<int>(TextEncoding::Utf8)},
    {"--encoding", "utf8", static_cast<int>(TextEncoding::Utf8)},
    {"--encoding", "windows-1250", static_cast<int>(TextEncoding::Windows1250)},
    {"--encoding", "cp1250", static_cast<int>(TextEncoding::Windows1250)},
}};

// "cena=Cena promocyjna": a field and the header of the column that holds it.
int applyColumnOption(const std::string& value, CsvForm& form) {
    const size_t equals = value.find('=');
    if (equals == std::string::npos || equals + 1 == value.size()) return -1;
    const int column = columnOfFieldName(value.substr(0, equals));
    if (column < 0) return -1;
    form.namedColumns.push_back({static_cast<PriceColumn>(column), value.substr(equals + 1)});
    return 0;
}

// Sets what one build option says; the value's case does not matter.
// Returns 0, or -1 for an option or value it does not know.
int applyBuildOption(const std::string& option, std::string value, CsvForm& form) {
    if (option == "--column") return applyColumnOption(value, form);
    for (char& c : value) c = toAsciiLower(c);
    for (const OptionValue& known : kOptionValues) {
        if (option != known.option || value != known.value) continue;
        if (option == "--separator") form.separator = static_cast<char>(known.meaning);
        if (option == "--decimal") form.decimalMark = static_cast<char>(known.meaning);
        if (option == "--encoding") form.encoding = static_cast<TextEncoding>(known.meaning);
        return 0;
    }
    return -1;
}

// What the command line asks for.
struct Command {
    std::string name;
    std::vector<std::string> paths;
    CsvForm form;
    DumpForm dumpForm = DumpForm::Plain;
};

// Returns 0, or -1 with the argument that is wrong in `wrong`.
int readCommandLine(const std::vector<std::string>& args, Command& command, std::string& wrong) {
    command.name = args.empty() ? "" : args[0];
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (command.name == "dump" && arg == "--spreadsheet") {
            command.dumpForm = DumpForm::Spreadsheet;
        } else if (command.name == "build" && arg == "--keep-decimals") {
            command.form.keepFourDecimals = true;
        } else if (command.name == "build" && arg.starts_with("--")) {
            const std::string value = i + 1 < args.size() ? args[++i] : "";
            if (applyBuildOption(arg, value, command.form) != 0) {
                wrong = arg + " " + value;
                return -1;
            }
        } else if (arg.starts_with("--")) {
            wrong = arg;
            return -1;
        } else {
            command.paths.push_back(arg);
        }
    }
    return 0;
}

}  // namespace

int runPrchk(const std::vector<std::string>& args) {
    Command command;
    std::string wrong;
    if (readCommandLine(args, command, wrong) != 0) {
        complain(formatText("prchk: „%s” nie jest tu opcją\n", wrong.c_str()));
        printUsage();
        return kExitTrouble;
    }
    const std::string& name = command.name;
    const std::vector<std::string>& paths = command.paths;
    if (name == "build" && paths.size() == 2) return runBuild(paths[0], paths[1], command.form);
    if (name == "dump" && paths.size() == 1) return runDumpToScreen(paths[0], command.dumpForm);
    if (name == "dump" && paths.size() == 2) {
        return runDumpToFile(paths[0], paths[1], command.dumpForm);
    }
    if (name == "verify" && paths.size() == 1) return runVerify(paths[0]);
    printUsage();
    const bool askedForHelp = name == "help" || name == "--help" || name == "-h";
    return askedForHelp ? kExitDone : kExitTrouble;
}
