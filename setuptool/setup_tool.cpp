// The settings tool's modes over the checker's own code: setup.dat through
// settings/, the price file through lookup/, the server through checker/.
// Texts of setup.dat are Windows-1250; the tool speaks UTF-8 and the
// platform shows it (setup_tool_seam.h).
#include "setuptool/setup_tool.h"

#include <algorithm>
#include <iterator>

#include "base/network.h"
#include "base/text.h"
#include "base/utf8.h"
#include "base/windows1250.h"
#include "checker/socket_seam.h"
#include "lookup/check_state.h"
#include "settings/settings.h"
#include "setuptool/setup_tool_seam.h"
#include "setuptool/tool_text.h"

namespace {

constexpr unsigned kShowBit = 1, kSetBit = 2, kCheckBit = 4, kStopBit = 8, kRunBit = 16;
constexpr unsigned kEveryMode = 31;

struct ModeName {
    std::u16string_view name;
    ToolMode mode;
    unsigned bit;
};

constexpr ModeName kModes[] = {{u"show", ToolMode::Show, kShowBit},
                               {u"set", ToolMode::Set, kSetBit},
                               {u"check", ToolMode::Check, kCheckBit},
                               {u"stop", ToolMode::Stop, kStopBit},
                               {u"run", ToolMode::Run, kRunBit}};

bool sameAsciiName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const char16_t x = a[i] >= u'a' && a[i] <= u'z' ? a[i] - 32 : a[i];
        const char16_t y = b[i] >= u'a' && b[i] <= u'z' ? b[i] - 32 : b[i];
        if (x != y) return false;
    }
    return true;
}

// A text of setup.dat: every character must have its Windows-1250 byte, as
// the dialog's fields would give it; control characters are refused.
bool toSettingsText(std::u16string_view text, std::string& out) {
    out.clear();
    for (const char16_t c : text) {
        const unsigned char byte = windows1250ByteOf(c);
        if (byte < 0x20 || byte == 0x7F) return false;
        out += static_cast<char>(byte);
    }
    return true;
}

bool takeSettingsText(std::u16string_view value, size_t limit, const char* what, std::string& out,
                      std::string& problem) {
    if (!toSettingsText(value, out)) {
        problem = toolLine(
            "%s: „%s” ma znak, którego nie ma w polskiej stronie kodowej "
            "Windows (1250).",
            what, utf16ToUtf8(value).c_str());
        return false;
    }
    if (out.size() > limit) {
        problem = toolLine("%s: najwyżej %d znaków.", what, static_cast<int>(limit));
        return false;
    }
    return true;
}

// A host name begins with a letter; anything else must be a dotted IPv4
// address, as the checker reads the field.
bool isServerAddress(const std::string& address) {
    if (isAsciiLetter(address[0])) {
        for (const char c : address) {
            if (!isAsciiDigitOrLetter(c) && c != '-' && c != '.') return false;
        }
        return true;
    }
    const NetworkUse network;
    uint32_t parsed = 0;
    return netParseDotted(address.c_str(), &parsed) == 0;
}

bool takeServer(std::u16string_view value, ToolRequest& request, std::string& problem) {
    std::string address;
    if (!takeSettingsText(value, kServerAddressLimit, "/SERVER", address, problem)) return false;
    if (address.empty() || !isServerAddress(address)) {
        problem = toolLine(
            "/SERVER: „%s” nie jest adresem IPv4 (np. 192.168.1.10) ani nazwą "
            "komputera zaczynającą się od litery.",
            utf16ToUtf8(value).c_str());
        return false;
    }
    request.server = address;
    return true;
}

bool takeStandalone(std::u16string_view value, ToolRequest& request, std::string& problem) {
    std::string path;
    if (!takeSettingsText(value, kPriceFilePathLimit, "/STANDALONE", path, problem)) return false;
    if (path.empty()) {
        problem = "/STANDALONE: podaj ścieżkę pliku cen, np. /STANDALONE=C:\\Ceny\\PRCHK.DAT.";
        return false;
    }
    request.priceFile = path;
    return true;
}

bool takePort(std::u16string_view value, ToolRequest& request, std::string& problem) {
    std::string port;
    if (!takeSettingsText(value, kPortNameLimit, "/PORT", port, problem)) return false;
    request.port = port;  // empty: no scanner
    return true;
}

// Digits only, at most what a 32-bit field holds.
bool takeNumber(std::u16string_view value, int32_t most, int32_t& number) {
    if (value.empty() || value.size() > 10) return false;
    int64_t read = 0;
    for (const char16_t c : value) {
        if (c < u'0' || c > u'9') return false;
        read = read * 10 + (c - u'0');
    }
    if (read > most) return false;
    number = static_cast<int32_t>(read);
    return true;
}

bool takeBaud(std::u16string_view value, ToolRequest& request, std::string& problem) {
    int32_t baud = 0;
    if (!takeNumber(value, INT32_MAX, baud)) {
        problem = "/BAUD: podaj szybkość samymi cyframi, np. /BAUD=9600.";
        return false;
    }
    request.baudRate = baud;
    return true;
}

bool takeFullScreen(std::u16string_view value, ToolRequest& request, std::string& problem) {
    int32_t on = 0;
    if (!takeNumber(value, 1, on)) {
        problem = "/FULLSCREEN: 1 (pełny ekran) albo 0 (zwykłe okno).";
        return false;
    }
    request.fullScreen = on;
    return true;
}

// "21,27": up to three prefixes of two digits, as the scales print them and
// the dialog's fields take them; an empty value clears the list.
bool takePrefixes(std::u16string_view value, const char* what,
                  std::optional<std::vector<std::string>>& out, std::string& problem) {
    std::vector<std::string> prefixes;
    for (size_t start = 0, comma = 0; comma < value.size(); start = comma + 1) {
        comma = std::min(value.find(u',', start), value.size());
        const std::u16string_view one = value.substr(start, comma - start);
        const bool digits =
            one.size() == 2 && one[0] >= u'0' && one[0] <= u'9' && one[1] >= u'0' && one[1] <= u'9';
        if (!digits || prefixes.size() == kPrefixSlots) {
            problem = toolLine(
                "%s: najwyżej %d przedrostki po dwie cyfry, rozdzielone "
                "przecinkiem, np. %s=21,27.",
                what, kPrefixSlots, what);
            return false;
        }
        prefixes.emplace_back(one.begin(), one.end());
    }
    out = prefixes;
    return true;
}

bool takeItemCode(std::u16string_view value, ToolRequest& request, std::string& problem) {
    if (value != u"7" && value != u"6") {
        problem = "/ITEMCODE: 7 albo 6 – tyle cyfr ma numer towaru w kodzie wagowym.";
        return false;
    }
    request.shortItemCode = value == u"6" ? 1 : 0;
    return true;
}

bool takeCode(std::u16string_view value, ToolRequest& request, std::string& problem) {
    std::string code;
    const bool ascii = toSettingsText(value, code);
    bool letters = ascii && !code.empty() && code.size() <= kLookedUpCodeLength;
    for (const char c : code) letters = letters && isAsciiDigitOrLetter(c);
    if (!letters) {
        problem = "/CODE: kod to od 1 do 13 liter i cyfr.";
        return false;
    }
    request.code = code;
    return true;
}

bool takePath(std::u16string_view value, std::u16string& path, const char* what,
              std::string& problem) {
    if (value.empty()) {
        problem = toolLine("%s: podaj ścieżkę.", what);
        return false;
    }
    path = value;
    return true;
}

using TakeValue = bool (*)(std::u16string_view value, ToolRequest& request, std::string& problem);

struct Switch {
    std::u16string_view name;
    unsigned modes;
    TakeValue take;
};

constexpr Switch kSwitches[] = {
    {u"FOLDER", kEveryMode,
     [](std::u16string_view v, ToolRequest& r, std::string& p) {
         return takePath(v, r.folder, "/FOLDER", p);
     }},
    {u"LOG", kEveryMode,
     [](std::u16string_view v, ToolRequest& r, std::string& p) {
         return takePath(v, r.log, "/LOG", p);
     }},
    {u"SERVER", kSetBit, takeServer},
    {u"STANDALONE", kSetBit, takeStandalone},
    {u"PORT", kSetBit, takePort},
    {u"BAUD", kSetBit, takeBaud},
    {u"FULLSCREEN", kSetBit, takeFullScreen},
    {u"SETUPDAT", kSetBit,
     [](std::u16string_view v, ToolRequest& r, std::string& p) {
         return takePath(v, r.setupDat, "/SETUPDAT", p);
     }},
    {u"WEIGHT", kSetBit,
     [](std::u16string_view v, ToolRequest& r, std::string& p) {
         return takePrefixes(v, "/WEIGHT", r.weightPrefixes, p);
     }},
    {u"VALUE", kSetBit,
     [](std::u16string_view v, ToolRequest& r, std::string& p) {
         return takePrefixes(v, "/VALUE", r.valuePrefixes, p);
     }},
    {u"ITEMCODE", kSetBit, takeItemCode},
    {u"CODE", kCheckBit, takeCode},
    {u"PROGRAM", kRunBit,
     [](std::u16string_view v, ToolRequest& r, std::string& p) {
         return takePath(v, r.program, "/PROGRAM", p);
     }},
};

// One "/NAME=value" (or "/NAME") of the mode `modeBit`; `seen` marks the
// switches already given.
bool takeSwitch(std::u16string_view arg, unsigned modeBit, unsigned& seen, ToolRequest& request,
                std::string& problem) {
    const size_t equals = arg.find(u'=');
    const std::u16string_view name = arg.substr(1, equals == arg.npos ? arg.npos : equals - 1);
    const std::u16string_view value = equals == arg.npos ? u"" : arg.substr(equals + 1);
    for (size_t i = 0; i < std::size(kSwitches); ++i) {
        if (!sameAsciiName(name, kSwitches[i].name)) continue;
        if ((kSwitches[i].modes & modeBit) == 0 || (seen & (1u << i)) != 0) break;
        seen |= 1u << i;
        return kSwitches[i].take(value, request, problem);
    }
    problem = toolLine(
        "Nieznany, powtórzony albo nienależący do tego polecenia "
        "przełącznik: %s",
        utf16ToUtf8(arg).c_str());
    return false;
}

// Settings to set, and not both modes at once.
bool setRequestIsWhole(const ToolRequest& request, std::string& problem) {
    if (request.server && request.priceFile) {
        problem =
            "/SERVER i /STANDALONE wykluczają się: sprawdzarka pracuje albo z "
            "serwerem, albo z plikiem cen.";
        return false;
    }
    if (!request.server && !request.priceFile && !request.port && !request.baudRate &&
        !request.fullScreen && request.setupDat.empty() && !request.weightPrefixes &&
        !request.valuePrefixes && !request.shortItemCode) {
        problem = "set: nie podano żadnego ustawienia do zmiany.";
        return false;
    }
    return true;
}

}  // namespace

int parseToolArguments(const std::vector<std::u16string>& args, ToolRequest& request,
                       std::string& problem) {
    request = ToolRequest{};
    if (args.empty()) {
        problem = "Podaj polecenie: show, set, check, stop albo run.";
        return kToolWrongUse;
    }
    if (sameAsciiName(args[0], u"help") || args[0] == u"/?") return kToolDone;
    unsigned modeBit = 0;
    for (const ModeName& mode : kModes) {
        if (sameAsciiName(args[0], mode.name)) request.mode = mode.mode, modeBit = mode.bit;
    }
    if (modeBit == 0) {
        problem = toolLine("Nieznane polecenie: %s", utf16ToUtf8(args[0]).c_str());
        return kToolWrongUse;
    }
    unsigned seen = 0;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i].empty() || args[i][0] != u'/') {
            problem = toolLine("Przełącznik zaczyna się od „/”: %s", utf16ToUtf8(args[i]).c_str());
            return kToolWrongUse;
        }
        if (!takeSwitch(args[i], modeBit, seen, request, problem)) return kToolWrongUse;
    }
    if (request.mode == ToolMode::Set && !setRequestIsWhole(request, problem)) return kToolWrongUse;
    return kToolDone;
}

int printToolHelp() {
    static const char* const kLines[] = {
        "lumivo-setup – ustawienia sprawdzarki lumivo (plik setup.dat) z wiersza poleceń",
        "",
        "  lumivo-setup show  [/FOLDER=folder]",
        "      pokazuje ustawienia z pliku setup.dat",
        "  lumivo-setup set   [/FOLDER=folder] [/SERVER=adres | /STANDALONE=plik_cen]",
        "                     [/PORT=COMn] [/BAUD=n] [/FULLSCREEN=0|1] [/SETUPDAT=plik]",
        "                     [/WEIGHT=21,27] [/VALUE=22] [/ITEMCODE=7|6]",
        "      zmienia tylko podane ustawienia (/PORT= bez nazwy: praca bez czytnika);",
        "      /SETUPDAT bierze wszystkie ustawienia z gotowego pliku setup.dat;",
        "      /WEIGHT i /VALUE: przedrostki kodów wagowych i z wartością (puste:",
        "      żadnych); /ITEMCODE: liczba cyfr numeru towaru w kodzie wagowym",
        "  lumivo-setup check [/FOLDER=folder] [/CODE=kod]",
        "      sprawdza, czy da się otworzyć plik cen albo czy serwer odpowiada",
        "      na pytanie o kod (domyślnie 0), jak sprawdzarka: najwyżej 3 s",
        "  lumivo-setup stop  [/FOLDER=folder]",
        "      zamyka sprawdzarkę z tego folderu i jej nadzór",
        "  lumivo-setup run   [/FOLDER=folder] [/PROGRAM=lumivo.exe]",
        "      uruchamia sprawdzarkę i uruchamia ją ponownie po awarii (kiosk)",
        "",
        "/FOLDER: folder z plikiem setup.dat (bez niego: bieżący folder).",
        "/LOG=plik: komunikaty trafiają także do tego pliku.",
        "Kody wyjścia: 0 gotowe; 1 check: plik cen lub serwer nie działa,",
        "  stop: żadna sprawdzarka nie działała; 2 błędne wywołanie;",
        "  3 nie można odczytać lub zapisać folderu albo pliku setup.dat;",
        "  4 set: sprawdzarka z tego folderu działa, stop: nie udało się jej zamknąć.",
    };
    for (const char* line : kLines) toolSay(line);
    return kToolDone;
}

int setupToolMain(const std::vector<std::u16string>& args) {
    ToolRequest request;
    std::string problem;
    if (parseToolArguments(args, request, problem) != kToolDone) {
        toolComplain(problem);
        toolComplain("Pomoc: lumivo-setup help");
        return kToolWrongUse;
    }
    return runSetupTool(request);
}
