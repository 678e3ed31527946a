// The configuration dialog as the user meets it: template 129 as built into
// the program, and the real dialog procedure shown modally and driven through
// its controls from a timer inside the dialog's own message loop.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "resource.h"
#include "scanner/scanner.h"
#include "settings/config_dialog.h"
#include "settings/settings.h"

namespace {

// ---- the template as stored in the program ----

enum class Kind { Label, Edit, Frame, Radio, Check, DefaultButton, Button };

struct ExpectedControl {
    int id;
    Kind kind;
    const wchar_t* text;
    short x, y, width, height;
    bool startsGroup;  // frames only; every label starts a group
};

// Polish letters as \u escapes, so this file stays plain ASCII.
const ExpectedControl kControls[] = {
    {-1, Kind::Label, L"&Port komunikacji:", 20, 24, 56, 9, true},
    {1000, Kind::Edit, L"", 82, 23, 70, 12, false},
    {-1, Kind::Label, L"&Szybko\u015b\u0107:", 178, 25, 37, 8, true},
    {1001, Kind::Edit, L"", 221, 23, 74, 12, false},
    {-1, Kind::Label, L"Po\u0142o\u017cenie pliku P&RCHK.DAT:", 31, 104, 96, 10, true},
    {1002, Kind::Edit, L"", 131, 102, 161, 12, false},
    {-1, Kind::Frame, L"Szeroko\u015b\u0107 kodu wagowego:", 7, 139, 309, 26, true},
    {1003, Kind::Radio, L"&7 cyfr - 2xxxxxxxIiiiC", 31, 151, 84, 8, false},
    {1004, Kind::Radio, L"&6 cyfr - 2xxxxxxCIiiiC", 121, 151, 70, 8, false},
    {-1, Kind::Frame, L"Przedrostki", 7, 174, 309, 46, false},
    {-1, Kind::Label, L"Towary ze zdefiniowan\u0105 warto\u015bci\u0105 w kodzie:", 29, 185, 144,
     11, true},
    {-1, Kind::Label, L"Towary ze zdefiniowan\u0105 mas\u0105 w kodzie:", 29, 196, 144, 11, true},
    {1005, Kind::Edit, L"", 175, 183, 32, 13, false},
    {1006, Kind::Edit, L"", 209, 183, 32, 13, false},
    {1007, Kind::Edit, L"", 243, 183, 32, 13, false},
    {1008, Kind::Edit, L"", 175, 196, 32, 13, false},
    {1009, Kind::Edit, L"", 209, 196, 32, 13, false},
    {1010, Kind::Edit, L"", 243, 196, 32, 13, false},
    {1011, Kind::Check, L"Poka\u017c cen\u0119 netto 1", 15, 237, 83, 10, false},
    {1012, Kind::Check, L"Poka\u017c cen\u0119 netto 2", 15, 251, 83, 10, false},
    {1013, Kind::Check, L"Poka\u017c cen\u0119 brutto 1", 15, 265, 83, 10, false},
    {1014, Kind::Check, L"Poka\u017c cen\u0119 brutto 2", 15, 279, 83, 10, false},
    {-1, Kind::Frame, L"Skaner", 7, 7, 309, 35, false},
    {-1, Kind::Frame, L"Tryb pracy:", 7, 46, 309, 85, true},
    {1016, Kind::Radio, L"&Pracuj jako symulator sprawdzarki sieciowej &LAN (port UDP:1001)", 21,
     60, 279, 8, false},
    {1017, Kind::Radio, L"&Pracuj jako samodzielny program z wykorzystaniem pliku PRCHK.DAT", 21,
     94, 279, 8, false},
    {-1, Kind::Frame, L"Ceny", 7, 225, 309, 69, false},
    {-1, Kind::Label, L"Adres &IP serwera:", 32, 70, 96, 10, true},
    {1018, Kind::Edit, L"", 91, 68, 94, 12, false},
    {-1, Kind::Label,
     L"Inne ceny s\u0105 pokazywane wy\u0142\u0105cznie w trybie pracy samodzielnego programu z "
     L"wykorzystaniem pliku PRCHK.DAT",
     127, 243, 129, 35, true},
    {-1, Kind::Frame, L"", 7, 300, 309, 39, false},
    {-1, Kind::Label, L"Czcionka:", 31, 313, 36, 10, true},
    {1020, Kind::Edit, L"", 81, 313, 161, 12, false},
    {1019, Kind::Check,
     L"Poka\u017c ekran spra&wdzarki na pe\u0142nym ekranie (dzia\u0142a od nast\u0119pnego "
     L"uruchomienia)",
     15, 400, 300, 10, false},
    {1, Kind::DefaultButton, L"OK", 60, 420, 57, 22, false},
    {2, Kind::Button, L"Anuluj", 133, 420, 57, 22, false},
    {3, Kind::Button, L"&Zako\u0144cz", 206, 420, 57, 22, false},
};

// Reads the extended dialog template: header, then each item aligned to 4.
struct TemplateReader {
    const BYTE* at;

    WORD word() {
        WORD value;
        std::memcpy(&value, at, sizeof value);
        at += sizeof value;
        return value;
    }
    DWORD dword() {
        DWORD value;
        std::memcpy(&value, at, sizeof value);
        at += sizeof value;
        return value;
    }
    short coordinate() { return static_cast<short>(word()); }
    std::wstring text() {
        std::wstring value;
        for (WORD c = word(); c != 0; c = word()) value += static_cast<wchar_t>(c);
        return value;
    }
    // A name or an ordinal: 0xFFFF followed by the ordinal.
    std::wstring nameOrOrdinal() {
        WORD first;
        std::memcpy(&first, at, sizeof first);
        if (first == 0xFFFF) {
            word();
            return L"#" + std::to_wstring(word());
        }
        return text();
    }
    void alignTo4(const BYTE* base) {
        while ((at - base) % 4 != 0) ++at;
    }
};

struct TemplateItem {
    DWORD style;
    short x, y, width, height;
    int id;
    std::wstring windowClass;
    std::wstring text;
};

struct DialogTemplate {
    DWORD style;
    short x, y, width, height;
    std::wstring title;
    WORD pointSize;
    std::wstring face;
    std::vector<TemplateItem> items;
};

bool readTemplate(DialogTemplate* out) {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(IDD_CONFIG), MAKEINTRESOURCEA(5));
    if (found == nullptr) return false;
    const BYTE* base = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
    TemplateReader in{base};
    if (in.word() != 1 || in.word() != 0xFFFF) return false;  // DLGTEMPLATEEX
    in.dword();                                               // help id
    in.dword();                                               // extended style
    out->style = in.dword();
    const WORD count = in.word();
    out->x = in.coordinate();
    out->y = in.coordinate();
    out->width = in.coordinate();
    out->height = in.coordinate();
    in.nameOrOrdinal();  // menu
    in.nameOrOrdinal();  // class
    out->title = in.text();
    out->pointSize = in.word();
    in.word();  // weight
    in.word();  // italic, character set
    out->face = in.text();
    for (WORD i = 0; i < count; ++i) {
        in.alignTo4(base);
        TemplateItem item;
        in.dword();  // help id
        in.dword();  // extended style
        item.style = in.dword();
        item.x = in.coordinate();
        item.y = in.coordinate();
        item.width = in.coordinate();
        item.height = in.coordinate();
        item.id = static_cast<int>(in.dword());
        item.windowClass = in.nameOrOrdinal();
        item.text = in.nameOrOrdinal();
        in.at += in.word();  // creation data
        out->items.push_back(item);
    }
    return true;
}

// A class by its predefined atom, or by name as a CONTROL statement stores it.
std::wstring classOf(const std::wstring& stored) {
    if (stored == L"#128" || stored == L"BUTTON" || stored == L"Button") return L"Button";
    if (stored == L"#129" || stored == L"EDIT" || stored == L"Edit") return L"Edit";
    if (stored == L"#130" || stored == L"STATIC" || stored == L"Static") return L"Static";
    return stored;
}

std::wstring classOf(Kind kind) {
    switch (kind) {
        case Kind::Edit:
            return L"Edit";
        case Kind::Label:
            return L"Static";
        default:
            return L"Button";
    }
}

DWORD typeBitsOf(Kind kind) {
    switch (kind) {
        case Kind::Label:
            return SS_LEFT;
        case Kind::Edit:
            return 0;
        case Kind::Frame:
            return BS_GROUPBOX;
        case Kind::Radio:
            return BS_AUTORADIOBUTTON;
        case Kind::Check:
            return BS_AUTOCHECKBOX;
        case Kind::DefaultButton:
            return BS_DEFPUSHBUTTON;
        case Kind::Button:
            return BS_PUSHBUTTON;
    }
    return 0;
}

bool hasTabStop(Kind kind) {
    return kind == Kind::Edit || kind == Kind::Check || kind == Kind::DefaultButton ||
           kind == Kind::Button;
}

std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

TEST(ConfigTemplate, DialogFrameFontAndPlace) {
    DialogTemplate dialog;
    ASSERT_TRUE(readTemplate(&dialog));
    EXPECT_EQ(dialog.title, L"Konfiguracja");
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.face, L"MS Sans Serif");
    EXPECT_EQ(dialog.x, 0);
    EXPECT_EQ(dialog.y, 0);
    EXPECT_EQ(dialog.width, 323);
    EXPECT_EQ(dialog.height, 458);
    const DWORD frame = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    EXPECT_EQ(dialog.style & frame, frame);
    EXPECT_EQ(dialog.style & (WS_CHILD | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
}

TEST(ConfigTemplate, ControlsInOrderWithTheirKindsTextsPlacesAndStyles) {
    DialogTemplate dialog;
    ASSERT_TRUE(readTemplate(&dialog));
    ASSERT_EQ(dialog.items.size(), std::size(kControls));
    for (size_t i = 0; i < dialog.items.size(); ++i) {
        const TemplateItem& item = dialog.items[i];
        const ExpectedControl& want = kControls[i];
        SCOPED_TRACE("control #" + std::to_string(i + 1) + " " + narrow(want.text));
        EXPECT_EQ(item.id, want.id);
        EXPECT_EQ(classOf(item.windowClass), classOf(want.kind));
        EXPECT_EQ(item.text, want.text);
        EXPECT_EQ(item.x, want.x);
        EXPECT_EQ(item.y, want.y);
        EXPECT_EQ(item.width, want.width);
        EXPECT_EQ(item.height, want.height);

        EXPECT_EQ(item.style & (WS_CHILD | WS_VISIBLE), DWORD(WS_CHILD | WS_VISIBLE));
        const DWORD typeMask = want.kind == Kind::Label ? SS_TYPEMASK : BS_TYPEMASK;
        if (want.kind != Kind::Edit) {
            EXPECT_EQ(item.style & typeMask, typeBitsOf(want.kind));
        }
        EXPECT_EQ((item.style & WS_TABSTOP) != 0, hasTabStop(want.kind));
        EXPECT_EQ((item.style & WS_GROUP) != 0, want.startsGroup);
        if (want.kind == Kind::Edit) {
            EXPECT_EQ(item.style & (ES_AUTOHSCROLL | WS_BORDER), DWORD(ES_AUTOHSCROLL | WS_BORDER));
            EXPECT_EQ(item.style & (ES_MULTILINE | ES_PASSWORD | ES_READONLY), 0u);
            EXPECT_EQ((item.style & ES_NUMBER) != 0, want.id == IDC_BAUD_RATE);
        }
    }
}

// ---- the dialog itself ----

class ConfigDialog : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH] = {};
        ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
        char folder[MAX_PATH] = {};
        std::snprintf(folder, sizeof folder, "%slumivo-dialog-%lu-%lu", temp, GetCurrentProcessId(),
                      GetTickCount());
        ASSERT_TRUE(CreateDirectoryA(folder, nullptr));
        this->folder = folder;
        GetCurrentDirectoryA(sizeof previous, previous);
        ASSERT_TRUE(SetCurrentDirectoryA(folder));
        warningsSeen().clear();

        // A checker in server mode without a scanner: OK then opens no port
        // and shows nothing unless a test names one.
        std::memset(&onDisk, 0, sizeof onDisk);
        std::strcpy(onDisk.priceFilePath, "C:\\QXR\\PRCHK.DAT");
        std::strcpy(onDisk.serverAddress, "192.168.1.20");
        std::strcpy(onDisk.fontName, "Arial CE");
        onDisk.baudRate = 9600;
        std::strcpy(onDisk.valuePrefixes[0], "21");
        std::strcpy(onDisk.weightPrefixes[2], "29");
    }

    void TearDown() override {
        stopScanner();
        DeleteFileA(kSettingsFileName);
        SetCurrentDirectoryA(previous);
        RemoveDirectoryA(folder.c_str());
    }

    void writeSetupDat(const Settings& record) {
        FILE* file = std::fopen(kSettingsFileName, "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(&record, 1, sizeof record, file);
        std::fclose(file);
    }

    std::string readSetupDat() {
        std::string bytes;
        FILE* file = std::fopen(kSettingsFileName, "rb");
        if (file == nullptr) return bytes;
        char buffer[1024];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
        std::fclose(file);
        return bytes;
    }

    static std::string asBytes(const Settings& record) {
        return std::string(reinterpret_cast<const char*>(&record), sizeof record);
    }

    static std::vector<std::string>& warningsSeen() {
        static std::vector<std::string> seen;
        return seen;
    }

    // Shows the dialog modally and runs `drive` on it from inside its own
    // message loop; returns what the dialog returned. A drive that does not
    // end the dialog gets it ended with kNotEnded, so no test can hang.
    static constexpr INT_PTR kNotEnded = 99;
    INT_PTR runDialog(std::function<void(HWND)> drive) {
        pendingDrive() = std::move(drive);
        const UINT_PTR driver = SetTimer(nullptr, 0, 20, driveDialog);
        const UINT_PTR closer = SetTimer(nullptr, 0, 20, answerWarnings);
        const INT_PTR result = showConfigDialog(nullptr);
        KillTimer(nullptr, driver);
        KillTimer(nullptr, closer);
        return result;
    }

    static std::function<void(HWND)>& pendingDrive() {
        static std::function<void(HWND)> drive;
        return drive;
    }

    struct WindowSearch {
        const char* title;
        HWND found;
    };
    static BOOL CALLBACK matchTitle(HWND window, LPARAM context) {
        auto* search = reinterpret_cast<WindowSearch*>(context);
        char text[100] = {};
        GetWindowTextA(window, text, sizeof text);
        if (IsWindowVisible(window) && std::strcmp(text, search->title) == 0) {
            search->found = window;
            return FALSE;
        }
        return TRUE;
    }
    static HWND threadWindow(const char* title) {
        WindowSearch search{title, nullptr};
        EnumThreadWindows(GetCurrentThreadId(), matchTitle, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    static void CALLBACK driveDialog(HWND, UINT, UINT_PTR timer, DWORD) {
        HWND dialog = threadWindow("Konfiguracja");
        if (dialog == nullptr) return;
        KillTimer(nullptr, timer);
        auto drive = std::move(pendingDrive());
        drive(dialog);
        if (IsWindow(dialog) && IsWindowVisible(dialog)) EndDialog(dialog, kNotEnded);
    }

    // "Uwaga" boxes shown while the dialog works: note the text, press OK.
    static void CALLBACK answerWarnings(HWND, UINT, UINT_PTR, DWORD) {
        HWND box = threadWindow("Uwaga");
        if (box == nullptr) return;
        std::string text;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            char className[32] = {}, line[300] = {};
            GetClassNameA(child, className, sizeof className);
            GetWindowTextA(child, line, sizeof line);
            if (lstrcmpiA(className, "Static") == 0 && line[0] != '\0') text = line;
        }
        warningsSeen().push_back(text);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }

    static std::string textOf(HWND dialog, int id) {
        char text[300] = {};
        GetDlgItemTextA(dialog, id, text, sizeof text);
        return text;
    }
    static bool checked(HWND dialog, int id) {
        return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
    }
    static void click(HWND dialog, int id) { SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0); }
    static void press(HWND dialog, int id) { SendMessageA(dialog, WM_COMMAND, id, 0); }

    Settings onDisk;
    std::string folder;
    char previous[MAX_PATH] = {};
};

TEST_F(ConfigDialog, ShowsThePolishTextsOfItsControlsInTemplateOrder) {
    writeSetupDat(onDisk);
    std::vector<std::wstring> texts;
    std::vector<int> ids;
    HWND focus = nullptr, portField = nullptr;
    const INT_PTR result = runDialog([&](HWND dialog) {
        for (HWND child = GetWindow(dialog, GW_CHILD); child;
             child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t text[200] = {};
            GetWindowTextW(child, text, 200);
            texts.push_back(text);
            ids.push_back(static_cast<short>(GetDlgCtrlID(child)));
        }
        wchar_t label[100] = {};
        GetDlgItemTextW(dialog, IDC_ZAKONCZ, label, 100);
        EXPECT_STREQ(label, L"&Zako\u0144cz");
        focus = GetFocus();
        portField = GetDlgItem(dialog, IDC_PORT_NAME);
        press(dialog, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    ASSERT_EQ(texts.size(), std::size(kControls));
    for (size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(ids[i], kControls[i].id) << i;
        if (kControls[i].kind != Kind::Edit) {
            EXPECT_EQ(texts[i], kControls[i].text) << i;
        }
    }
    EXPECT_EQ(focus, portField);
}

TEST_F(ConfigDialog, OpeningShowsWhatIsOnDisk) {
    onDisk.standaloneMode = 2;
    onDisk.shortItemCode = 1;
    onDisk.showNet1 = 5;
    onDisk.showGross2 = 1;
    onDisk.fullScreen = -1;
    onDisk.baudRate = -1;
    std::memset(onDisk.portName, 'P', sizeof onDisk.portName);  // no zero in the field
    std::memcpy(onDisk.weightPrefixes[0], "ABC", 3);
    writeSetupDat(onDisk);
    settings.baudRate = 1234;  // memory is replaced by the file

    runDialog([&](HWND dialog) {
        EXPECT_EQ(textOf(dialog, IDC_PORT_NAME).find_first_not_of('P'), std::string::npos);
        EXPECT_LE(textOf(dialog, IDC_PORT_NAME).size(), sizeof onDisk.portName);
        EXPECT_EQ(textOf(dialog, IDC_BAUD_RATE), "4294967295");
        EXPECT_EQ(textOf(dialog, IDC_PRICE_FILE), "C:\\QXR\\PRCHK.DAT");
        EXPECT_EQ(textOf(dialog, IDC_SERVER_ADDRESS), "192.168.1.20");
        EXPECT_EQ(textOf(dialog, IDC_FONT_NAME), "Arial CE");
        EXPECT_EQ(textOf(dialog, IDC_VALUE_PREFIX_1), "21");
        EXPECT_EQ(textOf(dialog, IDC_VALUE_PREFIX_2), "");
        EXPECT_EQ(textOf(dialog, IDC_WEIGHT_PREFIX_3), "29");
        EXPECT_LE(textOf(dialog, IDC_WEIGHT_PREFIX_1).size(), 3u);
        EXPECT_EQ(textOf(dialog, IDC_WEIGHT_PREFIX_1).substr(0, 2), "AB");

        EXPECT_FALSE(checked(dialog, IDC_ITEM_CODE_7));
        EXPECT_TRUE(checked(dialog, IDC_ITEM_CODE_6));
        EXPECT_FALSE(checked(dialog, IDC_SERVER_MODE));
        EXPECT_TRUE(checked(dialog, IDC_STANDALONE_MODE));
        EXPECT_TRUE(checked(dialog, IDC_SHOW_NET_1));
        EXPECT_FALSE(checked(dialog, IDC_SHOW_NET_2));
        EXPECT_FALSE(checked(dialog, IDC_SHOW_GROSS_1));
        EXPECT_TRUE(checked(dialog, IDC_SHOW_GROSS_2));
        EXPECT_TRUE(checked(dialog, IDC_FULL_SCREEN));
        press(dialog, IDCANCEL);
    });
    EXPECT_EQ(settings.baudRate, -1);
    EXPECT_TRUE(warningsSeen().empty());
}

TEST_F(ConfigDialog, OkStoresEveryFieldWithinItsLimitAndSaves) {
    onDisk.standaloneMode = 2;
    onDisk.showNet1 = 5;
    writeSetupDat(onDisk);
    const std::string port45 = "COM" + std::string(42, '7');

    const INT_PTR result = runDialog([&](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_PORT_NAME, port45.c_str());
        SetDlgItemTextA(dialog, IDC_BAUD_RATE, "");
        SetDlgItemTextA(dialog, IDC_PRICE_FILE, std::string(250, 'f').c_str());
        SetDlgItemTextA(dialog, IDC_SERVER_ADDRESS, "serwer-sklep");
        SetDlgItemTextA(dialog, IDC_FONT_NAME, std::string(120, 'a').c_str());
        SetDlgItemTextA(dialog, IDC_VALUE_PREFIX_1, "");
        SetDlgItemTextA(dialog, IDC_VALUE_PREFIX_3, "234");
        SetDlgItemTextA(dialog, IDC_WEIGHT_PREFIX_2, "2");
        click(dialog, IDC_ITEM_CODE_6);
        click(dialog, IDC_SHOW_NET_2);
        click(dialog, IDC_FULL_SCREEN);
        press(dialog, IDOK);
    });
    EXPECT_EQ(result, IDOK);

    Settings want = onDisk;
    std::memset(want.portName, 0, sizeof want.portName);
    std::memcpy(want.portName, port45.data(), 39);
    want.baudRate = 0;
    std::memset(want.priceFilePath, 0, sizeof want.priceFilePath);
    std::memset(want.priceFilePath, 'f', 194);
    std::memset(want.serverAddress, 0, sizeof want.serverAddress);
    std::strcpy(want.serverAddress, "serwer-sklep");
    std::memset(want.fontName, 0, sizeof want.fontName);
    std::memset(want.fontName, 'a', 99);
    std::memset(want.valuePrefixes, 0, sizeof want.valuePrefixes);
    std::strcpy(want.valuePrefixes[2], "23");
    std::strcpy(want.weightPrefixes[1], "2");
    want.shortItemCode = 1;
    want.standaloneMode = 1;
    want.showNet1 = 1;
    want.showNet2 = 1;
    want.fullScreen = 1;
    EXPECT_EQ(readSetupDat(), asBytes(want));
    EXPECT_EQ(asBytes(settings), asBytes(want));

    // The new port does not exist: one box names it as stored.
    ASSERT_EQ(warningsSeen().size(), 1u);
    EXPECT_EQ(warningsSeen()[0], "Nie otwarto portu komunikacyjnego: " + port45.substr(0, 39));
    EXPECT_EQ(scannerPort.handle, kInvalidPort);
}

TEST_F(ConfigDialog, OkReadsTheSpeedAsAnUnsignedNumber) {
    writeSetupDat(onDisk);
    runDialog([&](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_BAUD_RATE, "19200");
        press(dialog, IDOK);
    });
    EXPECT_EQ(settings.baudRate, 19200);
    runDialog([&](HWND dialog) {
        EXPECT_EQ(textOf(dialog, IDC_BAUD_RATE), "19200");
        SetDlgItemTextA(dialog, IDC_BAUD_RATE, "3000000000");
        press(dialog, IDOK);
    });
    EXPECT_EQ(static_cast<uint32_t>(settings.baudRate), 3000000000u);
    EXPECT_TRUE(warningsSeen().empty());  // no port named: no scanner, no message
}

TEST_F(ConfigDialog, ChoosingARadioClearsOnlyItsPartner) {
    writeSetupDat(onDisk);
    runDialog([&](HWND dialog) {
        EXPECT_TRUE(checked(dialog, IDC_ITEM_CODE_7));
        EXPECT_TRUE(checked(dialog, IDC_SERVER_MODE));
        click(dialog, IDC_ITEM_CODE_6);
        EXPECT_FALSE(checked(dialog, IDC_ITEM_CODE_7));
        EXPECT_TRUE(checked(dialog, IDC_ITEM_CODE_6));
        EXPECT_TRUE(checked(dialog, IDC_SERVER_MODE));
        click(dialog, IDC_STANDALONE_MODE);
        EXPECT_FALSE(checked(dialog, IDC_SERVER_MODE));
        EXPECT_TRUE(checked(dialog, IDC_STANDALONE_MODE));
        EXPECT_TRUE(checked(dialog, IDC_ITEM_CODE_6));
        click(dialog, IDC_ITEM_CODE_7);
        EXPECT_TRUE(checked(dialog, IDC_ITEM_CODE_7));
        EXPECT_FALSE(checked(dialog, IDC_ITEM_CODE_6));
        EXPECT_TRUE(checked(dialog, IDC_STANDALONE_MODE));
        press(dialog, IDCANCEL);
    });
}

TEST_F(ConfigDialog, AnulujAndCloseChangeNothing) {
    onDisk.showNet1 = 5;
    writeSetupDat(onDisk);
    const std::string before = readSetupDat();
    const INT_PTR cancelled = runDialog([&](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_PORT_NAME, "COM3");
        click(dialog, IDC_STANDALONE_MODE);
        click(dialog, IDC_SHOW_NET_1);
        press(dialog, IDCANCEL);
    });
    EXPECT_EQ(cancelled, IDCANCEL);
    EXPECT_EQ(readSetupDat(), before);
    EXPECT_EQ(asBytes(settings), before);  // memory as read when the dialog opened

    const INT_PTR closed = runDialog([&](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_FONT_NAME, "Courier");
        SendMessageA(dialog, WM_CLOSE, 0, 0);
        // The close box's "Anuluj" comes as a posted command.
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    });
    EXPECT_EQ(closed, IDCANCEL);
    EXPECT_EQ(readSetupDat(), before);
    EXPECT_TRUE(warningsSeen().empty());
}

TEST_F(ConfigDialog, ZakonczEndsWithThreeAndStoresNothing) {
    writeSetupDat(onDisk);
    const std::string before = readSetupDat();
    const INT_PTR result = runDialog([&](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_SERVER_ADDRESS, "10.0.0.1");
        press(dialog, IDC_ZAKONCZ);
    });
    EXPECT_EQ(result, 3);
    EXPECT_EQ(readSetupDat(), before);
    EXPECT_STREQ(settings.serverAddress, "192.168.1.20");
}

TEST_F(ConfigDialog, MissingSetupDatShowsAndWritesTheDefaults) {
    DeleteFileA(kSettingsFileName);
    runDialog([&](HWND dialog) {
        EXPECT_EQ(textOf(dialog, IDC_PORT_NAME), "COM1");
        EXPECT_EQ(textOf(dialog, IDC_BAUD_RATE), "9600");
        EXPECT_EQ(textOf(dialog, IDC_FONT_NAME), "Arial CE");
        EXPECT_TRUE(checked(dialog, IDC_SERVER_MODE));
        EXPECT_TRUE(checked(dialog, IDC_ITEM_CODE_7));
        press(dialog, IDCANCEL);
    });
    EXPECT_EQ(readSetupDat().size(), sizeof(Settings));
}

TEST_F(ConfigDialog, DialogProcedureAnswersOnlyItsOwnCommands) {
    writeSetupDat(onDisk);
    runDialog([&](HWND dialog) {
        EXPECT_EQ(configDialogProc(dialog, WM_COMMAND, MAKEWPARAM(IDC_PORT_NAME, EN_CHANGE), 0),
                  FALSE);
        EXPECT_EQ(configDialogProc(dialog, WM_COMMAND, 4, 0), FALSE);
        EXPECT_EQ(configDialogProc(dialog, WM_SIZE, 0, 0), FALSE);
        EXPECT_EQ(configDialogProc(dialog, WM_COMMAND, IDC_ZAKONCZ, 0), TRUE);
    });
}

// ---- setup.dat held by another program ----

// A backup or a virus scanner that opens setup.dat denying all sharing, in
// the working folder the dialog's tests set up.
class HeldSetupDat : public ConfigDialog {
protected:
    void hold() {
        held = CreateFileA(kSettingsFileName, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
    }
    void release() {
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        held = INVALID_HANDLE_VALUE;
    }
    void TearDown() override {
        release();
        DeleteFileA("setup.dat.new");
        ConfigDialog::TearDown();
    }
    static bool exists(const char* path) {
        return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
    }
    HANDLE held = INVALID_HANDLE_VALUE;
};

// Held at start and let go later: the defaults ran in memory, and neither
// the load nor the save at exit put them over the shop's file.
TEST_F(HeldSetupDat, LoadWaitsASecondThenRunsOnDefaultsWithoutWritingThem) {
    writeSetupDat(onDisk);
    const std::string before = readSetupDat();
    hold();
    const DWORD start = GetTickCount();
    loadSettings();
    const DWORD waited = GetTickCount() - start;
    release();
    saveSettings();
    EXPECT_GE(waited, 900u);
    EXPECT_LT(waited, 3000u);
    EXPECT_STREQ(settings.portName, "COM1");
    EXPECT_NE(asBytes(settings), before);
    EXPECT_EQ(readSetupDat(), before);
    EXPECT_FALSE(exists("setup.dat.new"));
    loadSettings();  // the dialog opening later reads the shop's settings
    EXPECT_EQ(asBytes(settings), before);
}

// OK over a file another program refuses: tried for about a second, then
// the shop is told that its changes work only until the program ends; the
// file keeps its old bytes (Wine ignores write-through, so only the failed
// move is checked here).
TEST_F(HeldSetupDat, OkOverAHeldFileSaysTheChangesWorkUntilTheEnd) {
    writeSetupDat(onDisk);
    const std::string before = readSetupDat();
    warningsSeen().clear();
    runDialog([&](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_BAUD_RATE, "2400");
        hold();
        press(dialog, IDOK);
    });
    release();
    EXPECT_EQ(settings.baudRate, 2400);
    EXPECT_EQ(readSetupDat(), before);
    EXPECT_FALSE(exists("setup.dat.new"));
    ASSERT_EQ(warningsSeen().size(), 1u);
    EXPECT_EQ(warningsSeen()[0].rfind("Nie mo\xBFna zapisa\xE6 ustawie\xF1 w pliku setup.dat", 0),
              0u)
        << warningsSeen()[0];
}

// The dialog opened while setup.dat is held shows the settings the checker
// runs on, with a box that says why, and "Anuluj" keeps them.
TEST_F(HeldSetupDat, DialogOverAHeldFileShowsWhatTheCheckerRunsOn) {
    writeSetupDat(onDisk);
    settings = onDisk;
    settings.baudRate = 4800;
    warningsSeen().clear();
    hold();
    std::string shownSpeed;
    runDialog([&](HWND dialog) {
        shownSpeed = textOf(dialog, IDC_BAUD_RATE);
        press(dialog, IDCANCEL);
    });
    release();
    EXPECT_EQ(shownSpeed, "4800");
    EXPECT_EQ(settings.baudRate, 4800);
    ASSERT_EQ(warningsSeen().size(), 1u);
    EXPECT_EQ(warningsSeen()[0].rfind("Nie mo\xBFna odczyta\xE6 pliku setup.dat (b\xB3\xB9"
                                      "d ",
                                      0),
              0u)
        << warningsSeen()[0];
}

}  // namespace
