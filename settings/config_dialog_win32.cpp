// The configuration dialog: every setting of setup.dat in one form. It always
// starts from the file, and OK stores, saves and reopens the scanner so a new
// port or speed works at once.
//
// The dialog runs on the window's thread, and so does the entry handler
// (scanner bytes are posted to the main window), so storing the fields here
// never runs beside a lookup; a lookup nested in the dialog's own loop makes
// OK wait until it has ended.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <string>

#include "base/windows1250.h"
#include "resources/resource.h"
#include "settings/config_dialog.h"
#include "settings/config_dialog_seam.h"
#include "settings/settings.h"

namespace {

constexpr std::array<int, kPrefixSlots> kValuePrefixIds = {IDC_VALUE_PREFIX_1, IDC_VALUE_PREFIX_2,
                                                           IDC_VALUE_PREFIX_3};
constexpr std::array<int, kPrefixSlots> kWeightPrefixIds = {
    IDC_WEIGHT_PREFIX_1, IDC_WEIGHT_PREFIX_2, IDC_WEIGHT_PREFIX_3};

// The fields hold Windows-1250 bytes; the dialog runs on the wide API and
// converts them, so an English or any other Windows shows and stores the
// Polish letters as a Polish one does. A field from setup.dat may fill its
// whole width without a zero byte: only the bytes inside it are shown.
void showField(HWND dialog, int id, const char* field, size_t width) {
    const std::u16string text = windows1250FieldToUtf16(field, width);
    SetDlgItemTextW(dialog, id, std::wstring(text.begin(), text.end()).c_str());
}

// Reads at most `limit` characters into the field and zeroes the rest of it,
// so no bytes of an older, longer text stay behind in setup.dat. A
// character Windows-1250 cannot hold is stored as "?".
void storeField(HWND dialog, int id, char* field, size_t width, int limit) {
    std::array<wchar_t, 200> text{};
    static_assert(kPriceFilePathLimit + 1 <= 200);
    const int length = GetDlgItemTextW(dialog, id, text.data(), limit + 1);
    storeUtf16InWindows1250Field(std::u16string(text.data(), text.data() + std::max(length, 0)),
                                 field, width);
}

void showCheck(HWND dialog, int id, int32_t field) {
    CheckDlgButton(dialog, id, field != 0 ? BST_CHECKED : BST_UNCHECKED);
}

int32_t isChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED ? 1 : 0;
}

void fillControls(HWND dialog) {
    showField(dialog, IDC_PORT_NAME, settings.portName, sizeof settings.portName);
    showField(dialog, IDC_PRICE_FILE, settings.priceFilePath, sizeof settings.priceFilePath);
    showField(dialog, IDC_SERVER_ADDRESS, settings.serverAddress, sizeof settings.serverAddress);
    showField(dialog, IDC_FONT_NAME, settings.fontName, sizeof settings.fontName);
    // The speed is shown as typed, unsigned: a negative number from the file
    // appears as its unsigned twin rather than being rejected by the field.
    SetDlgItemInt(dialog, IDC_BAUD_RATE, static_cast<UINT>(settings.baudRate), FALSE);

    CheckRadioButton(dialog, IDC_ITEM_CODE_7, IDC_ITEM_CODE_6,
                     settings.shortItemCode == 0 ? IDC_ITEM_CODE_7 : IDC_ITEM_CODE_6);
    CheckRadioButton(dialog, IDC_SERVER_MODE, IDC_STANDALONE_MODE,
                     settings.standaloneMode == 0 ? IDC_SERVER_MODE : IDC_STANDALONE_MODE);

    for (int slot = 0; slot < kPrefixSlots; ++slot) {
        showField(dialog, kValuePrefixIds[slot], settings.valuePrefixes[slot], kPrefixSlotSize);
        showField(dialog, kWeightPrefixIds[slot], settings.weightPrefixes[slot], kPrefixSlotSize);
    }

    showCheck(dialog, IDC_SHOW_NET_1, settings.showNet1);
    showCheck(dialog, IDC_SHOW_NET_2, settings.showNet2);
    showCheck(dialog, IDC_SHOW_GROSS_1, settings.showGross1);
    showCheck(dialog, IDC_SHOW_GROSS_2, settings.showGross2);
    showCheck(dialog, IDC_FULL_SCREEN, settings.fullScreen);
}

// Nothing is validated: a wrong port or path shows its own message where it
// is used. Texts longer than their fields are cut without a word.
void storeControls(HWND dialog) {
    storeField(dialog, IDC_PORT_NAME, settings.portName, sizeof settings.portName, kPortNameLimit);
    storeField(dialog, IDC_PRICE_FILE, settings.priceFilePath, sizeof settings.priceFilePath,
               kPriceFilePathLimit);
    storeField(dialog, IDC_FONT_NAME, settings.fontName, sizeof settings.fontName, kFontNameLimit);
    storeField(dialog, IDC_SERVER_ADDRESS, settings.serverAddress, sizeof settings.serverAddress,
               kServerAddressLimit);
    settings.baudRate = static_cast<int32_t>(GetDlgItemInt(dialog, IDC_BAUD_RATE, nullptr, FALSE));

    settings.shortItemCode = isChecked(dialog, IDC_ITEM_CODE_7) ? 0 : 1;
    settings.standaloneMode = isChecked(dialog, IDC_SERVER_MODE) ? 0 : 1;

    for (int slot = 0; slot < kPrefixSlots; ++slot) {
        storeField(dialog, kValuePrefixIds[slot], settings.valuePrefixes[slot], kPrefixSlotSize,
                   kPrefixSlotSize - 1);
        storeField(dialog, kWeightPrefixIds[slot], settings.weightPrefixes[slot], kPrefixSlotSize,
                   kPrefixSlotSize - 1);
    }

    settings.showNet1 = isChecked(dialog, IDC_SHOW_NET_1);
    settings.showNet2 = isChecked(dialog, IDC_SHOW_NET_2);
    settings.showGross1 = isChecked(dialog, IDC_SHOW_GROSS_1);
    settings.showGross2 = isChecked(dialog, IDC_SHOW_GROSS_2);
    settings.fullScreen = isChecked(dialog, IDC_FULL_SCREEN);
}

// OK reopens the scanner even when nothing changed; an emptied port name
// leaves it stopped without a message.
void onOk(HWND dialog) {
    storeControls(dialog);
    saveUserSettings();
    restartScanner();
    EndDialog(dialog, IDOK);
}

}  // namespace

// The template comes from the module that made the owner window, the
// instance WinMain stored, as the About box does.
INT_PTR showConfigDialog(HWND owner) {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(owner, GWLP_HINSTANCE));
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_CONFIG), owner, configDialogProc, 0);
}

INT_PTR CALLBACK configDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        loadSettingsForDialog();  // from what is on disk, when it can be read
        fillControls(dialog);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;

    // A code scanned while the dialog is open is looked up inside the
    // dialog's loop; while its box is up, neither OK nor "Zakończ" may store
    // the settings, restart the scanner or end the program under it.
    const WORD command = LOWORD(wParam);
    if ((command == IDOK || command == IDC_ZAKONCZ) && lookupInProgress()) return TRUE;
    switch (command) {
        case IDOK:
            onOk(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        case IDC_ZAKONCZ:
            EndDialog(dialog, IDC_ZAKONCZ);
            return TRUE;
        default:
            return FALSE;
    }
}
