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

; The component "Serwer sprawdzarek" (checker_server.nsh).
LangString SecServerName ${LANG_POLISH} "Serwer sprawdzarek"
LangString SecServerText ${LANG_POLISH} "Usługa Windows lumivo-serwer: checker_server.exe \
odpowiada sprawdzarkom w trybie serwera z cennika $serverList, od uruchomienia Windows; \
reguła Zapory systemu Windows dla UDP 1001. Przedrostki kodów wagowych podaje się \
przełącznikami (rozdział o serwerze sprawdzarek w podręczniku)."
LangString TextExitCode ${LANG_POLISH} "kod wyjścia"
LangString TextServerStopState ${LANG_POLISH} "Usługa lumivo-serwer: stan $R5 \
(1 – zatrzymana) po $R4 próbach."
LangString TextServerNotRegistered ${LANG_POLISH} "Nie udało się zarejestrować usługi \
lumivo-serwer (sc: $0). Program jest zainstalowany, ale serwer sprawdzarek nie działa."
LangString TextServerNoFirewall ${LANG_POLISH} "Nie udało się dodać reguły Zapory systemu \
Windows „lumivo – serwer sprawdzarek” (netsh: $0). Sprawdzarki z innych komputerów mogą nie dostać \
odpowiedzi: dodaj regułę dla UDP 1001 ręcznie."
LangString TextServerNotStarted ${LANG_POLISH} "Nie udało się uruchomić usługi \
lumivo-serwer (sc: $0). Sprawdź dziennik checker_server.log obok cennika."
LangString TextServerSetupWritten ${LANG_POLISH} "Zapisano przedrostki serwera \
sprawdzarek w pliku ${DATA_DIR}\serwer-setup.dat."
LangString TextServerSetupWrong ${LANG_POLISH} "Błędny przełącznik przedrostków serwera \
sprawdzarek (/CHECKERSERVERWEIGHT, /CHECKERSERVERVALUE, /CHECKERSERVERITEMCODE): \
szczegóły w ${LOG_FILE}. Nic nie zmieniono."
LangString TextServerSetupFailed ${LANG_POLISH} "Nie można zapisać pliku ${DATA_DIR}\serwer-setup.dat \
(lumivo-setup: $0). Poprzednia wersja została bez zmian."
LangString TextServerNoList ${LANG_POLISH} "/CHECKERSERVER: podaj ścieżkę cennika, np. \
/CHECKERSERVER=C:\ProgramData\lumivo\cennik.csv."
LangString ServerPageTitle ${LANG_POLISH} "Serwer sprawdzarek"
LangString ServerPageSubtitle ${LANG_POLISH} "Cennik i przedrostki kodów wagowych, \
z których serwer odpowiada sprawdzarkom."
LangString ServerPageList ${LANG_POLISH} "Cennik (plik CSV albo PRCHK.DAT):"
LangString ServerPageWeight ${LANG_POLISH} "Przedrostki kodów wagowych (np. 21,27):"
LangString ServerPageValue ${LANG_POLISH} "Przedrostki kodów z wartością (np. 22):"
LangString ServerPageItemCode ${LANG_POLISH} "Cyfry numeru towaru w kodzie wagowym (7 lub 6):"
LangString ServerPageNote ${LANG_POLISH} "Przedrostki mają być takie jak w oknie Konfiguracja \
sprawdzarek samodzielnych: bez nich serwer odpowiada „Nieznany kod towaru” na każdą \
etykietę z wagi. Cennika jeszcze nie ma? Serwer odpowiada „Brak cennika”, dopóki plik \
się nie pojawi, i wczytuje go sam."
LangString ServerPageWrong ${LANG_POLISH} "Przedrostki to najwyżej trzy liczby po dwie \
cyfry, rozdzielone przecinkiem (np. 21,27), albo puste pole; numer towaru ma 7 albo 6 cyfr."
