; The installer's own texts, in Polish; the standard pages' texts come with
; NSIS's Polish language files. Included after MUI_LANGUAGE "Polish".
; In NSIS strings "$" is written "$$", and $\r$\n is a line break. A text
; may name a variable the script has set when it is shown.

LangString TextWelcome ${LANG_POLISH} "Ten kreator zainstaluje lumivo ${VERSION}, \
programową sprawdzarkę cen dla sklepu, wraz z narzędziami prchk i lumivo-setup, \
serwerem sprawdzarek, przykładowym cennikiem i podręcznikiem.$\r$\n$\r$\n\
Ustawienia sprawdzarki (plik setup.dat) leżą w folderze danych ${DATA_DIR}. \
Plik cen PRCHK.DAT leży tam, gdzie wskazują ustawienia (domyślnie \
C:\QXR\!!u$$unac\PRCHK.DAT). Aktualizacja nie zmienia żadnego z nich.$\r$\n$\r$\n\
Jeśli sprawdzarka była uruchomiona, została zamknięta przed otwarciem tego okna \
(z zapisaniem ustawień) i po instalacji zostanie uruchomiona ponownie.$\r$\n$\r$\n$_CLICK"

LangString TextNeedsWindows7 ${LANG_POLISH} "lumivo wymaga systemu Windows 7 lub nowszego. \
Instalacja zostanie przerwana."

LangString TextNeedsAdmin ${LANG_POLISH} "Instalacja lumivo wymaga uprawnień administratora. \
Uruchom instalator z konta administratora (albo prawym przyciskiem myszy: \
„Uruchom jako administrator”). Instalacja zostanie przerwana."

LangString TextLogStart ${LANG_POLISH} "lumivo ${VERSION}: początek instalacji \
(parametry: $R0)"

LangString TextUnknownSwitch ${LANG_POLISH} "Nieznany przełącznik instalatora: /$4. \
Instalacja zostanie przerwana; przełączniki opisuje podręcznik (rozdział o instalacji)."

LangString TextServerAndStandalone ${LANG_POLISH} "Przełączniki /SERVER i /STANDALONE \
wykluczają się: sprawdzarka pracuje albo z serwerem sprawdzarek, albo z plikiem cen. \
Instalacja zostanie przerwana."

LangString TextClosingOld ${LANG_POLISH} "Zamykanie sprawdzarki lumivo starszej wersji..."

LangString TextFileInUse ${LANG_POLISH} "Nie można zastąpić pliku $R0 (błąd $R3): \
używa go inny program, np. sprawdzarka uruchomiona z innego folderu. Zamknij ten \
program i kliknij Ponów próbę albo Anuluj, aby przerwać instalację."

LangString TextOldProgramKept ${LANG_POLISH} "Instalacja przerwana: nie zmieniono żadnego \
pliku programu, poprzednia wersja działa jak dotąd."

LangString TextSettingsWrong ${LANG_POLISH} "Błędna wartość przełącznika ustawień \
(szczegóły w pliku ${LOG_FILE}). Instalacja przerwana: nie zmieniono żadnego pliku."

LangString TextSettingsFailed ${LANG_POLISH} "Nie udało się zapisać ustawień w pliku \
${DATA_DIR}\setup.dat (szczegóły w pliku ${LOG_FILE}). Instalacja przerwana: nie \
zmieniono żadnego pliku programu."

LangString TextFilesInstalled ${LANG_POLISH} "Zainstalowano pliki programu w folderze $INSTDIR."

LangString TextGrantFailed ${LANG_POLISH} "Nie udało się nadać wszystkim użytkownikom prawa \
zapisu w folderze danych ${DATA_DIR} (icacls: $0). Sprawdzarka uruchomiona przez \
zwykłego użytkownika może nie zapisać ustawień."

LangString TaskDescription ${LANG_POLISH} "Uruchamia sprawdzarkę cen lumivo w folderze \
danych jako zalogowany użytkownik i uruchamia ją ponownie po awarii."

LangString TextTaskMade ${LANG_POLISH} "Zarejestrowano zadanie „${TASK_NAME}” \
Harmonogramu zadań dla użytkownika $taskUser."

LangString TextTaskFailed ${LANG_POLISH} "Nie udało się zarejestrować zadania \
„${TASK_NAME}” Harmonogramu zadań dla użytkownika $taskUser (schtasks: $0). \
Program jest zainstalowany, ale nie uruchomi się sam przy logowaniu."

LangString TextAutostartNoUser ${LANG_POLISH} "Nie wiadomo, po czyim zalogowaniu \
uruchamiać sprawdzarkę: na tym komputerze nikt nie jest zalogowany. Podaj użytkownika \
przełącznikiem /AUTOSTART=użytkownik. Program jest zainstalowany, ale nie uruchomi \
się sam przy logowaniu."

LangString TextNoTaskUser ${LANG_POLISH} "Nikt nie jest zalogowany: instalator nie \
uruchomi sprawdzarki."

LangString TextTaskRun ${LANG_POLISH} "Uruchomiono sprawdzarkę (zadanie „${TASK_NAME}”)."

LangString TextTaskNotRun ${LANG_POLISH} "Nie udało się uruchomić sprawdzarki zadaniem \
„${TASK_NAME}” (schtasks: $0); uruchom ją skrótem z menu Start."

LangString TextDone ${LANG_POLISH} "lumivo ${VERSION}: koniec instalacji."

LangString SecProgramName ${LANG_POLISH} "Program lumivo"
LangString SecProgramText ${LANG_POLISH} "Sprawdzarka cen lumivo.exe, narzędzia prchk.exe \
i lumivo-setup.exe, serwer sprawdzarek checker_server.exe, przykładowy cennik, podręcznik, \
skróty w menu Start i folder danych ze wspólnym prawem zapisu."

LangString SecAutostartName ${LANG_POLISH} "Uruchamiaj sprawdzarkę przy logowaniu (kiosk)"
LangString SecAutostartText ${LANG_POLISH} "Zadanie Harmonogramu zadań uruchamia \
sprawdzarkę po zalogowaniu użytkownika $autostartUser i uruchamia ją ponownie po \
awarii."

LangString ShortcutGuide ${LANG_POLISH} "Podręcznik lumivo"
LangString ShortcutDataFolder ${LANG_POLISH} "Folder danych lumivo"
LangString ShortcutUninstall ${LANG_POLISH} "Odinstaluj lumivo"
LangString FinishShowGuide ${LANG_POLISH} "Otwórz podręcznik"
LangString FinishRunChecker ${LANG_POLISH} "Uruchom sprawdzarkę"

LangString UnSecProgramName ${LANG_POLISH} "Program lumivo"
LangString UnSecProgramText ${LANG_POLISH} "Program, narzędzia, podręcznik, skróty \
i zadanie Harmonogramu zadań."
LangString UnSecSettingsName ${LANG_POLISH} "Ustawienia sprawdzarki (setup.dat)"
LangString UnSecSettingsText ${LANG_POLISH} "Usuwa także plik setup.dat i dzienniki \
z folderu danych. Jeśli ta opcja nie jest zaznaczona, ustawienia zostaną zachowane."
LangString UnTextDone ${LANG_POLISH} "lumivo: odinstalowano program z folderu $INSTDIR."
