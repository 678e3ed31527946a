; The installer's own texts, in Polish; the standard pages' texts come with
; NSIS's Polish language files. Included after MUI_LANGUAGE "Polish".
; In NSIS strings "$" is written "$$", and $\r$\n is a line break.

LangString TextWelcome ${LANG_POLISH} "Ten kreator zainstaluje lumivo ${VERSION}, \
programową sprawdzarkę cen dla sklepu, wraz z narzędziem prchk, serwerem \
sprawdzarek i podręcznikiem.$\r$\n$\r$\n\
Ustawienia sprawdzarki (plik setup.dat) i plik cen PRCHK.DAT leżą w folderze danych:$\r$\n\
${DATA_DIR}$\r$\n\
Aktualizacja ich nie zmienia.$\r$\n$\r$\n\
Uruchomiona sprawdzarka zostanie zamknięta (z zapisaniem ustawień) i po instalacji \
uruchomiona ponownie.$\r$\n$\r$\n$_CLICK"

LangString TextNeedsWindows7 ${LANG_POLISH} "lumivo wymaga systemu Windows 7 lub nowszego. \
Instalacja zostanie przerwana."

LangString TextCannotClose ${LANG_POLISH} "Nie udało się zamknąć uruchomionej sprawdzarki \
lumivo. Zamknij ją (Escape, potem Zakończ) i kliknij Ponów albo Anuluj, aby przerwać."

LangString TextClosing ${LANG_POLISH} "Zamykanie uruchomionej sprawdzarki lumivo..."

LangString TextRestarting ${LANG_POLISH} "Ponowne uruchamianie sprawdzarki lumivo..."

LangString TextGrantFailed ${LANG_POLISH} "Nie udało się nadać wszystkim użytkownikom prawa \
zapisu w folderze danych ${DATA_DIR} (icacls: $0). Sprawdzarka uruchomiona przez \
zwykłego użytkownika może nie zapisać ustawień."

LangString SecProgramName ${LANG_POLISH} "Program lumivo"
LangString SecProgramText ${LANG_POLISH} "Sprawdzarka cen lumivo.exe, narzędzia prchk.exe \
i checker_server.exe, podręcznik, skróty w menu Start i folder danych ze wspólnym prawem zapisu."

LangString SecAutostartName ${LANG_POLISH} "Uruchamiaj sprawdzarkę przy logowaniu"
LangString SecAutostartText ${LANG_POLISH} "Skrót w folderze Autostart: sprawdzarka \
uruchamia się po zalogowaniu każdego użytkownika (praca w trybie kiosku)."

LangString ShortcutGuide ${LANG_POLISH} "Podręcznik lumivo"
LangString ShortcutDataFolder ${LANG_POLISH} "Folder danych lumivo"
LangString ShortcutUninstall ${LANG_POLISH} "Odinstaluj lumivo"
LangString FinishShowGuide ${LANG_POLISH} "Otwórz podręcznik"

LangString UnSecProgramName ${LANG_POLISH} "Program lumivo"
LangString UnSecProgramText ${LANG_POLISH} "Program, narzędzia, podręcznik i skróty."
LangString UnSecSettingsName ${LANG_POLISH} "Ustawienia sprawdzarki (setup.dat)"
LangString UnSecSettingsText ${LANG_POLISH} "Usuwa także plik setup.dat z folderu danych. \
Bez zaznaczenia ustawienia zostają na wypadek ponownej instalacji."
