; The lumivo installer for shop PCs, in Polish. installer/package.py builds it:
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.1.0 -DFILE_VERSION=1.1.0.0 -DARCH=x86
;            -DSTAGE=folder -DOUTFILE=setup.exe [-DSIGN=command] installer/lumivo.nsi
; STAGE holds what is installed: lumivo.exe, prchk.exe, checker_server.exe and
; podrecznik.html. ARCH is x86 for shops (32-bit programs) and amd64 around a
; 64-bit test build. SIGN, when given, signs the installer and its
; uninstaller: the command is run with the file's path.
;
; Silent use: setup.exe /S [/AUTOSTART] [/D=folder]
;             uninstall.exe /S [/REMOVESETTINGS]
; In NSIS strings "$" is written "$$".

Unicode true
Target ${ARCH}-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinVer.nsh
!include WinMessages.nsh
!include Sections.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\lumivo"
; The program keeps setup.dat in its working folder. Every shortcut starts it
; in this folder, which every user of the PC may change: the program folder
; under Program Files is read-only for them. ($APPDATA is ProgramData once
; the shell folders are those of all users.)
!define DATA_DIR "$APPDATA\lumivo"
; The checker's window class; WM_CLOSE ends it in order and saves setup.dat.
!define CHECKER_CLASS "LUMIVO"
; The group "Users" by its well-known SID: its name differs by language
; ("Użytkownicy" on a Polish Windows).
!define USERS_SID "*S-1-5-32-545"

Name "lumivo ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "lumivo ${VERSION}"
!if ${ARCH} == amd64
    InstallDir "$PROGRAMFILES64\lumivo"
!else
    InstallDir "$PROGRAMFILES\lumivo"
!endif
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

!ifdef SIGN
    !finalize '${SIGN} "%1"'
    !uninstfinalize '${SIGN} "%1"'
!endif

Var checkerWasRunning

; --- pages ---------------------------------------------------------------------

!define MUI_ICON "../resources/lumivo.ico"
!define MUI_UNICON "../resources/lumivo.ico"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_WELCOMEPAGE_TEXT "$(TextWelcome)"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\podrecznik.html"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "$(FinishShowGuide)"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Polish"
!include "texts_pl.nsh"

; Windows' file properties of setup.exe show the version too.
VIProductVersion ${FILE_VERSION}
VIFileVersion ${FILE_VERSION}
VIAddVersionKey /LANG=${LANG_POLISH} "ProductName" "lumivo"
VIAddVersionKey /LANG=${LANG_POLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_POLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_POLISH} "FileDescription" "Instalator sprawdzarki cen lumivo"
VIAddVersionKey /LANG=${LANG_POLISH} "CompanyName" "zespół lumivo"
VIAddVersionKey /LANG=${LANG_POLISH} "LegalCopyright" "© zespół lumivo"

; --- the running checker -----------------------------------------------------

; Closes every running checker the way its menu does, so that it saves
; setup.dat, and waits until its process has ended and its files are free.
; Sets $checkerWasRunning to 1 when one ran. A checker that does not end
; (one waiting in a message box drops the close) is left to the user:
; "Ponów" tries again, "Anuluj" stops the installer. Silent: stops.
!macro CLOSE_CHECKER prefix
Function ${prefix}CloseChecker
    StrCpy $checkerWasRunning 0
    StrCpy $R1 0
    ${Do}
        FindWindow $R0 "${CHECKER_CLASS}"
        ${If} $R0 == 0
            Return
        ${EndIf}
        StrCpy $checkerWasRunning 1
        DetailPrint "$(TextClosing)"
        System::Call "user32::GetWindowThreadProcessId(p R0, *i .R2)"
        System::Call "kernel32::OpenProcess(i 0x00100000, i 0, i R2) p .R3"
        SendMessage $R0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
        ${If} $R3 P<> 0
            System::Call "kernel32::WaitForSingleObject(p R3, i 15000) i .R4"
            System::Call "kernel32::CloseHandle(p R3)"
        ${EndIf}
        IntOp $R1 $R1 + 1
        ${If} $R1 >= 3
            MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(TextCannotClose)" /SD IDCANCEL \
                IDRETRY retry
            Abort
            retry:
            StrCpy $R1 0
        ${EndIf}
    ${Loop}
FunctionEnd
!macroend
!insertmacro CLOSE_CHECKER ""
!insertmacro CLOSE_CHECKER "un."

; --- installing ----------------------------------------------------------------

Section "$(SecProgramName)" SecProgram
    SectionIn RO
    Call CloseChecker

    SetOutPath "$INSTDIR"
    File "${STAGE}/lumivo.exe"
    File "${STAGE}/prchk.exe"
    File "${STAGE}/checker_server.exe"
    File "${STAGE}/podrecznik.html"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    Call MakeDataFolder
    Call MakeShortcuts
    Call RegisterUninstaller
SectionEnd

Section /o "$(SecAutostartName)" SecAutostart
    SetOutPath "${DATA_DIR}"
    CreateShortcut "$SMSTARTUP\lumivo.lnk" "$INSTDIR\lumivo.exe"
SectionEnd

; Last: the checker that was closed runs again, in its data folder.
Section "-Restart"
    ${If} $checkerWasRunning == 1
        DetailPrint "$(TextRestarting)"
        SetOutPath "${DATA_DIR}"
        Exec '"$INSTDIR\lumivo.exe"'
    ${EndIf}
SectionEnd

; After the sections: it selects one of them.
Function .onInit
    ${IfNot} ${AtLeastWin7}
        MessageBox MB_ICONSTOP "$(TextNeedsWindows7)" /SD IDOK
        Abort
    ${EndIf}
    SetShellVarContext all
    ; The logon option as it is now, so that an upgrade keeps it; /AUTOSTART
    ; turns it on in a silent installation.
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/AUTOSTART" $1
    ${IfNot} ${Errors}
    ${OrIf} ${FileExists} "$SMSTARTUP\lumivo.lnk"
        !insertmacro SelectSection ${SecAutostart}
    ${EndIf}
FunctionEnd

; Every user of the PC may create and change files in the data folder, the
; ones already there included: the checker often runs as another user than
; the one who installed it. Files in it (setup.dat, PRCHK.DAT) are never
; touched here.
Function MakeDataFolder
    CreateDirectory "${DATA_DIR}"
    nsExec::ExecToLog '"$SYSDIR\icacls.exe" "${DATA_DIR}" /grant ${USERS_SID}:(OI)(CI)M /T'
    Pop $0
    ${If} $0 != 0
        DetailPrint "$(TextGrantFailed)"
        MessageBox MB_ICONEXCLAMATION "$(TextGrantFailed)" /SD IDOK
    ${EndIf}
FunctionEnd

; Shortcuts take the current output folder as their working folder.
; The logon shortcut is made again only when its option is chosen.
Function MakeShortcuts
    Delete "$SMSTARTUP\lumivo.lnk"
    CreateDirectory "$SMPROGRAMS\lumivo"
    SetOutPath "${DATA_DIR}"
    CreateShortcut "$SMPROGRAMS\lumivo\lumivo.lnk" "$INSTDIR\lumivo.exe"
    CreateShortcut "$SMPROGRAMS\lumivo\$(ShortcutDataFolder).lnk" "${DATA_DIR}"
    SetOutPath "$INSTDIR"
    CreateShortcut "$SMPROGRAMS\lumivo\$(ShortcutGuide).lnk" "$INSTDIR\podrecznik.html"
    CreateShortcut "$SMPROGRAMS\lumivo\$(ShortcutUninstall).lnk" "$INSTDIR\uninstall.exe"
FunctionEnd

Function RegisterUninstaller
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "lumivo"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "zespół lumivo"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\lumivo.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
FunctionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "$(SecProgramText)"
    !insertmacro MUI_DESCRIPTION_TEXT ${SecAutostart} "$(SecAutostartText)"
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; --- uninstalling --------------------------------------------------------------

Section "un.$(UnSecProgramName)" UnSecProgram
    SectionIn RO
    Call un.CloseChecker
    Delete "$INSTDIR\lumivo.exe"
    Delete "$INSTDIR\prchk.exe"
    Delete "$INSTDIR\checker_server.exe"
    Delete "$INSTDIR\podrecznik.html"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"

    Delete "$SMSTARTUP\lumivo.lnk"
    Delete "$SMPROGRAMS\lumivo\lumivo.lnk"
    Delete "$SMPROGRAMS\lumivo\$(ShortcutDataFolder).lnk"
    Delete "$SMPROGRAMS\lumivo\$(ShortcutGuide).lnk"
    Delete "$SMPROGRAMS\lumivo\$(ShortcutUninstall).lnk"
    RMDir "$SMPROGRAMS\lumivo"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

; The shop's settings go only when asked; the data folder goes only when
; nothing else (a PRCHK.DAT, say) is left in it.
Section /o "un.$(UnSecSettingsName)" UnSecSettings
    Delete "${DATA_DIR}\setup.dat"
    RMDir "${DATA_DIR}"
SectionEnd

Function un.onInit
    SetShellVarContext all
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/REMOVESETTINGS" $1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${UnSecSettings}
    ${EndIf}
FunctionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${UnSecProgram} "$(UnSecProgramText)"
    !insertmacro MUI_DESCRIPTION_TEXT ${UnSecSettings} "$(UnSecSettingsText)"
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END
