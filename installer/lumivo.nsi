; The lumivo installer for shop PCs, in Polish. installer/package.py builds it:
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.1.0 -DFILE_VERSION=1.1.0.0 -DARCH=x86
;            -DSTAGE=folder -DOUTFILE=setup.exe [-DSIGN=command] installer/lumivo.nsi
; STAGE holds what is installed: the programs of package.py's PROGRAMS,
; podrecznik.html and przyklad.csv. ARCH is x86 for shops (32-bit programs)
; and amd64 around a 64-bit test build. SIGN, when given, signs the
; installer and its uninstaller (the command is run with the file's path);
; a signing that fails fails the build.
;
; Silent use (the guide's chapter on installing lists every switch and exit
; code):
;   setup.exe /S [/AUTOSTART[=user]] [/SERVER=address | /STANDALONE=path]
;             [/PORT=COMn] [/BAUD=n] [/FULLSCREEN=0|1] [/SETUPDAT=file] [/D=folder]
;             [/CHECKERSERVER=list [/CHECKERSERVERWEIGHT=21,27] [/CHECKERSERVERVALUE=22]
;              [/CHECKERSERVERITEMCODE=7|6]]
;   uninstall.exe /S [/REMOVESETTINGS]
; Every step goes to install.log in the data folder (Debian's NSIS has no
; logging of its own). In NSIS strings "$" is written "$$".

Unicode true
Target ${ARCH}-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
; The installed files get the time of the installation, not the build's:
; two builds of one commit give the same installer.
SetDateSave off
; A file that cannot be written stops the installation instead of being
; skipped; the check before the first copy makes that rare.
AllowSkipFiles off

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include WinVer.nsh
!include WinMessages.nsh
!include nsDialogs.nsh
!include Sections.nsh
!include StrFunc.nsh
${StrStr}

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\lumivo"
; The program keeps setup.dat in its working folder. Every shortcut and the
; task start it in this folder, which every user of the PC may change: the
; program folder under Program Files is read-only for them. ($APPDATA is
; ProgramData once the shell folders are those of all users.)
!define DATA_DIR "$APPDATA\lumivo"
!define LOG_FILE "${DATA_DIR}\install.log"
; The task of Task Scheduler that starts the checker as the logged-on user.
!define TASK_NAME "lumivo"
; The checker's window class: a checker older than the per-folder named
; objects is closed by its window, as the installer of 1.1.0 closed it.
!define CHECKER_CLASS "LUMIVO"
; The group "Users" by its well-known SID: its name differs by language
; ("Użytkownicy" on a Polish Windows).
!define USERS_SID "*S-1-5-32-545"

; Exit codes besides NSIS's own 0 (done) and 1 (cancelled by the user).
!define EXIT_WRONG_USE 2     ; a switch unknown or wrong, /SERVER with /STANDALONE
!define EXIT_NOT_ADMIN 3     ; the user is not an administrator
!define EXIT_OLD_WINDOWS 4   ; Windows older than 7
!define EXIT_IN_USE 5        ; a file stays held: the old program is as it was
!define EXIT_SETTINGS 6      ; setup.dat could not be written: the old program is as it was
!define EXIT_AUTOSTART 7     ; installed, but the logon task could not be registered

; The switches the installer knows; another component adds its own here.
!define KNOWN_SWITCHES "|S|NCRC|D|AUTOSTART|SERVER|STANDALONE|PORT|BAUD|FULLSCREEN|SETUPDAT|CHECKERSERVER|CHECKERSERVERWEIGHT|CHECKERSERVERVALUE|CHECKERSERVERITEMCODE|"

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
    !finalize '${SIGN} "%1"' = 0
    !uninstfinalize '${SIGN} "%1"' = 0
!endif

Var checkerWasRunning  ; 1: a checker was ended and runs again at the end
Var settingsSwitches   ; the settings switches, as lumivo-setup takes them
Var sessionUser        ; DOMAIN\name logged on in this session, or empty
Var autostartUser      ; whose logon starts the kiosk, when autostart is chosen
Var taskUser           ; the user the task runs as; empty: no task
Var installed          ; 1 once the files are in place

ReserveFile "${STAGE}/lumivo-setup.exe"

; --- pages ---------------------------------------------------------------------

!define MUI_ICON "../resources/lumivo.ico"
!define MUI_UNICON "../resources/lumivo.ico"
!define MUI_ABORTWARNING
!define MUI_CUSTOMFUNCTION_ABORT RestartAfterCancel
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_WELCOMEPAGE_TEXT "$(TextWelcome)"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
Page custom ServerPageShow ServerPageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; The checker starts through the task, as the logged-on user in the data
; folder: the installer itself runs elevated, maybe as another account.
; The details of the installation stay in sight until "Dalej".
!define MUI_FINISHPAGE_NOAUTOCLOSE
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "$(FinishRunChecker)"
!define MUI_FINISHPAGE_RUN_FUNCTION RunCheckerTask
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\podrecznik.html"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "$(FinishShowGuide)"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!define MUI_PAGE_CUSTOMFUNCTION_SHOW ShowFinishPage
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

; --- the log ---------------------------------------------------------------------

; One line with the local time, appended to install.log in UTF-16 with a
; byte-order mark (Notepad reads it on every Windows); lumivo-setup.exe
; writes its lines into the same file the same way.
!macro LOG_FUNCTION prefix
Function ${prefix}WriteLog
    Exch $R9
    Push $R8
    Push $0
    Push $1
    Push $2
    Push $3
    Push $4
    Push $5
    Push $6
    ${GetTime} "" "L" $0 $1 $2 $3 $4 $5 $6
    ClearErrors
    FileOpen $R8 "${LOG_FILE}" a
    ${IfNot} ${Errors}
        FileSeek $R8 0 END
        FileWriteUTF16LE /BOM $R8 "$2-$1-$0 $4:$5:$6  $R9$\r$\n"
        FileClose $R8
    ${EndIf}
    DetailPrint "$R9"
    Pop $6
    Pop $5
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Pop $0
    Pop $R8
    Pop $R9
FunctionEnd
!macroend
!insertmacro LOG_FUNCTION ""
!insertmacro LOG_FUNCTION "un."

!macro LOG text
    Push `${text}`
    !ifdef __UNINSTALL__
        Call un.WriteLog
    !else
        Call WriteLog
    !endif
!macroend

; Logs the failure, says it (a box above everything, none under /S), sets
; the exit code and stops the installation.
!macro FAIL code text
    !insertmacro LOG "BŁĄD (kod ${code}): ${text}"
    MessageBox MB_ICONSTOP|MB_TOPMOST|MB_SETFOREGROUND "${text}" /SD IDOK
    SetErrorLevel ${code}
    Abort
!macroend

; The same for a failure after which the installation goes on: the exit
; code says it at the end.
!macro WARN code text
    !insertmacro LOG "BŁĄD (kod ${code}): ${text}"
    MessageBox MB_ICONEXCLAMATION|MB_TOPMOST|MB_SETFOREGROUND "${text}" /SD IDOK
    SetErrorLevel ${code}
!macroend

; --- the running checker -----------------------------------------------------

; Ends the checker of the data folder and its kiosk watchdog with
; lumivo-setup (its end event; its process id when it does not end, as one
; still in its start-up box). Sets $checkerWasRunning to 1 when one ran.
; An installed version without lumivo-setup (1.1.0) has checkers without
; the named objects: those are closed by their windows.
!macro STOP_CHECKER prefix tool
Function ${prefix}StopChecker
    nsExec::Exec '"${tool}" stop /FOLDER="${DATA_DIR}" /LOG="${LOG_FILE}"'
    Pop $0
    ${If} $0 == 0
        StrCpy $checkerWasRunning 1
    ${ElseIfNot} ${FileExists} "$INSTDIR\lumivo-setup.exe"
        Call ${prefix}CloseOldCheckers
    ${EndIf}
FunctionEnd

; A checker of 1.1.0 gets WM_CLOSE, which saves its settings, if it runs
; this installation's lumivo.exe; the task starts the new one in the data
; folder, where that version's shortcuts started it.
Function ${prefix}CloseOldCheckers
    StrCpy $R0 0
    ${Do}
        FindWindow $R0 "${CHECKER_CLASS}" "" 0 $R0
        ${If} $R0 == 0
            Return
        ${EndIf}
        System::Call "user32::GetWindowThreadProcessId(p R0, *i .R2)"
        System::Call "kernel32::OpenProcess(i 0x00101000, i 0, i R2) p .R3"
        ${If} $R3 P<> 0
            StrCpy $R4 ${NSIS_MAX_STRLEN}
            System::Call "kernel32::QueryFullProcessImageNameW(p R3, i 0, w .R5, *i R4)"
            ${If} $R5 == "$INSTDIR\lumivo.exe"
                StrCpy $checkerWasRunning 1
                !insertmacro LOG "$(TextClosingOld)"
                SendMessage $R0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
                System::Call "kernel32::WaitForSingleObject(p R3, i 15000)"
            ${EndIf}
            System::Call "kernel32::CloseHandle(p R3)"
        ${EndIf}
    ${Loop}
FunctionEnd
!macroend
!insertmacro STOP_CHECKER "" "$PLUGINSDIR\lumivo-setup.exe"
!insertmacro STOP_CHECKER "un." "$INSTDIR\lumivo-setup.exe"

; Waits until the file $R0 can be written as File writes it, or is not
; there. Ten seconds of tries; then the box asks (under /S: fails).
Function WaitUntilReplaceable
    StrCpy $R1 0
    ${Do}
        System::Call "kernel32::CreateFileW(w R0, i 0x40000000, i 1, p 0, i 3, i 0x80, p 0) p .R2 ?e"
        Pop $R3
        ${If} $R2 != -1
            System::Call "kernel32::CloseHandle(p R2)"
            Return
        ${ElseIf} $R3 == 2
        ${OrIf} $R3 == 3
            Return
        ${EndIf}
        IntOp $R1 $R1 + 1
        ${If} $R1 < 10
            Sleep 1000
            ${Continue}
        ${EndIf}
        !insertmacro LOG "$(TextFileInUse)"
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION|MB_TOPMOST|MB_SETFOREGROUND \
            "$(TextFileInUse)" /SD IDCANCEL IDRETRY retry
        Call RestartChecker
        !insertmacro FAIL ${EXIT_IN_USE} "$(TextOldProgramKept)"
        retry:
        StrCpy $R1 0
    ${Loop}
FunctionEnd

!macro CHECK_REPLACEABLE name
    StrCpy $R0 "$INSTDIR\${name}"
    Call WaitUntilReplaceable
!macroend

; Every file to be replaced, before the first is touched: the old program
; stays whole when one of them cannot be replaced.
Function CheckFilesReplaceable
    !insertmacro CHECK_REPLACEABLE "lumivo.exe"
    !insertmacro CHECK_REPLACEABLE "prchk.exe"
    !insertmacro CHECK_REPLACEABLE "checker_server.exe"
    !insertmacro CHECK_REPLACEABLE "lumivo-setup.exe"
    !insertmacro CHECK_REPLACEABLE "lumivo-start.exe"
    !insertmacro CHECK_REPLACEABLE "podrecznik.html"
    !insertmacro CHECK_REPLACEABLE "przyklad.csv"
    !insertmacro CHECK_REPLACEABLE "uninstall.exe"
FunctionEnd

; The checker that was ended runs again through the task, as its user.
Function RestartChecker
    ${If} $checkerWasRunning == 1
        Call RunCheckerTask
    ${EndIf}
    Call RestartServer
FunctionEnd

Function RunCheckerTask
    nsExec::Exec '"$SYSDIR\schtasks.exe" /Run /TN "${TASK_NAME}"'
    Pop $0
    ${If} $0 == 0
        !insertmacro LOG "$(TextTaskRun)"
    ${Else}
        !insertmacro LOG "$(TextTaskNotRun)"
    ${EndIf}
FunctionEnd

; --- installing ----------------------------------------------------------------

Section "$(SecProgramName)" SecProgram
    SectionIn RO
    ; A checker started while the pages were open.
    ${IfNot} ${Silent}
        Call StopChecker
    ${EndIf}
    Call StopServer
    Call CheckFilesReplaceable
    Call MakeDataFolder
    Call WriteSettings
    Call WriteServerSettings

    SetOutPath "$INSTDIR"
    File "${STAGE}/lumivo.exe"
    File "${STAGE}/prchk.exe"
    File "${STAGE}/checker_server.exe"
    File "${STAGE}/lumivo-setup.exe"
    File "${STAGE}/lumivo-start.exe"
    File "${STAGE}/podrecznik.html"
    File "${STAGE}/przyklad.csv"
    ; 1.1.0's name of the checker server.
    Delete "$INSTDIR\checker_sim.exe"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    StrCpy $installed 1
    !insertmacro LOG "$(TextFilesInstalled)"

    Call MakeShortcuts
    Call RegisterUninstaller
SectionEnd

Section /o "$(SecAutostartName)" SecAutostart
SectionEnd

!include "checker_server.nsh"

; After the components: the task, made for the kiosk's user or for the
; user of this session, then the checker that was ended starts again.
Section "-Task"
    Call RegisterTask
    Call RestartChecker
    !insertmacro LOG "$(TextDone)"
SectionEnd

; The settings switches, written with lumivo-setup before any program file
; is replaced, so a refused value leaves the old program as it was.
Function WriteSettings
    ${If} $settingsSwitches == ""
        Return
    ${EndIf}
    nsExec::Exec '"$PLUGINSDIR\lumivo-setup.exe" set /FOLDER="${DATA_DIR}" /LOG="${LOG_FILE}"$settingsSwitches'
    Pop $0
    ${If} $0 == 0
        Return
    ${EndIf}
    Call RestartChecker
    ${If} $0 == 2
        !insertmacro FAIL ${EXIT_WRONG_USE} "$(TextSettingsWrong)"
    ${EndIf}
    !insertmacro FAIL ${EXIT_SETTINGS} "$(TextSettingsFailed)"
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
        !insertmacro LOG "$(TextGrantFailed)"
        MessageBox MB_ICONEXCLAMATION|MB_TOPMOST "$(TextGrantFailed)" /SD IDOK
    ${EndIf}
FunctionEnd

; Shortcuts take the current output folder as their working folder.
Function MakeShortcuts
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

; One line of the task's definition, its texts escaped for XML.
!macro TASK_LINE text
    FileWriteUTF16LE $R9 `${text}$\r$\n`
!macroend

Function XmlText
    Exch $R0
    ${WordReplace} $R0 "&" "&amp;" "+" $R0
    ${WordReplace} $R0 "<" "&lt;" "+" $R0
    ${WordReplace} $R0 ">" "&gt;" "+" $R0
    Exch $R0
FunctionEnd

; The task "lumivo": lumivo-start.exe (the watchdog) in the data folder,
; as $taskUser with that user's own rights and network drives, in that
; user's session; with autostart also at that user's logon. Never stopped
; for running long, on battery or when the PC is idle.
Function WriteTaskDefinition
    Push $taskUser
    Call XmlText
    Pop $R1
    Push "$INSTDIR\lumivo-start.exe"
    Call XmlText
    Pop $R2
    Push "${DATA_DIR}"
    Call XmlText
    Pop $R3
    FileOpen $R9 "$PLUGINSDIR\task.xml" w
    FileWriteUTF16LE /BOM $R9 '<?xml version="1.0" encoding="UTF-16"?>$\r$\n'
    !insertmacro TASK_LINE '<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">'
    !insertmacro TASK_LINE '  <RegistrationInfo><Description>$(TaskDescription)</Description></RegistrationInfo>'
    ${If} ${SectionIsSelected} ${SecAutostart}
        !insertmacro TASK_LINE '  <Triggers><LogonTrigger><Enabled>true</Enabled><UserId>$R1</UserId></LogonTrigger></Triggers>'
    ${EndIf}
    !insertmacro TASK_LINE '  <Principals><Principal id="Author"><UserId>$R1</UserId><LogonType>InteractiveToken</LogonType><RunLevel>LeastPrivilege</RunLevel></Principal></Principals>'
    !insertmacro TASK_LINE '  <Settings>'
    !insertmacro TASK_LINE '    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>'
    !insertmacro TASK_LINE '    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>'
    !insertmacro TASK_LINE '    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>'
    !insertmacro TASK_LINE '    <IdleSettings><StopOnIdleEnd>false</StopOnIdleEnd><RestartOnIdle>false</RestartOnIdle></IdleSettings>'
    !insertmacro TASK_LINE '    <AllowStartOnDemand>true</AllowStartOnDemand>'
    !insertmacro TASK_LINE '    <Enabled>true</Enabled>'
    !insertmacro TASK_LINE '    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>'
    !insertmacro TASK_LINE '    <Priority>4</Priority>'
    !insertmacro TASK_LINE '  </Settings>'
    !insertmacro TASK_LINE '  <Actions Context="Author"><Exec>'
    !insertmacro TASK_LINE '    <Command>"$R2"</Command>'
    !insertmacro TASK_LINE '    <Arguments>/FOLDER="$R3" /LOG="$R3\lumivo-start.log"</Arguments>'
    !insertmacro TASK_LINE '    <WorkingDirectory>$R3</WorkingDirectory>'
    !insertmacro TASK_LINE '  </Exec></Actions>'
    !insertmacro TASK_LINE '</Task>'
    FileClose $R9
FunctionEnd

Function RegisterTask
    ${If} ${SectionIsSelected} ${SecAutostart}
        StrCpy $taskUser $autostartUser
    ${Else}
        StrCpy $taskUser $sessionUser
    ${EndIf}
    ${If} $taskUser == ""
        ${If} ${SectionIsSelected} ${SecAutostart}
            !insertmacro WARN ${EXIT_AUTOSTART} "$(TextAutostartNoUser)"
        ${Else}
            !insertmacro LOG "$(TextNoTaskUser)"
        ${EndIf}
        Return
    ${EndIf}
    Call WriteTaskDefinition
    nsExec::Exec '"$SYSDIR\schtasks.exe" /Create /TN "${TASK_NAME}" /XML "$PLUGINSDIR\task.xml" /F'
    Pop $0
    ${If} $0 != 0
        StrCpy $taskUser ""
        ${If} ${SectionIsSelected} ${SecAutostart}
            !insertmacro WARN ${EXIT_AUTOSTART} "$(TextTaskFailed)"
        ${Else}
            !insertmacro LOG "$(TextTaskFailed)"
        ${EndIf}
        Return
    ${EndIf}
    !insertmacro LOG "$(TextTaskMade)"
    ; A copy for the technician (schtasks /Create /XML registers it again);
    ; the task itself was made from the installer's own folder, which no
    ; user can change in the meantime.
    CopyFiles /SILENT "$PLUGINSDIR\task.xml" "${DATA_DIR}\lumivo-task.xml"
    ; The task replaces the Startup shortcut of 1.1.0, which started the
    ; checker for every user, a technician's logon included.
    Delete "$SMSTARTUP\lumivo.lnk"
    ${If} ${SectionIsSelected} ${SecAutostart}
        WriteRegStr HKLM "${UNINSTALL_KEY}" "AutostartUser" $taskUser
    ${Else}
        DeleteRegValue HKLM "${UNINSTALL_KEY}" "AutostartUser"
    ${EndIf}
FunctionEnd

; A checker ended before the pages runs again when the installation is
; cancelled or fails before the files were replaced.
Function RestartAfterCancel
    ${If} $installed != 1
        Call RestartChecker
    ${EndIf}
FunctionEnd

; The checker already runs again after an upgrade; the task exists only
; once it is registered.
Function ShowFinishPage
    ${If} $checkerWasRunning == 1
    ${OrIf} $taskUser == ""
        SendMessage $mui.FinishPage.Run ${BM_SETCHECK} ${BST_UNCHECKED} 0
    ${EndIf}
    ${If} $taskUser == ""
        ShowWindow $mui.FinishPage.Run ${SW_HIDE}
    ${EndIf}
FunctionEnd

; --- switches ---------------------------------------------------------------------

; Every switch must be one the installer knows: a mistyped one under /S
; would otherwise be left out without a word. /D= ends the line (its path
; may hold blanks).
Function RefuseUnknownSwitches
    ${GetParameters} $R0
    StrCpy $1 0
    StrCpy $2 ""
    StrCpy $6 " "
    ${Do}
        StrCpy $3 $R0 1 $1
        ${If} $3 == ""
            Return
        ${ElseIf} $3 == '"'
            ${If} $2 == ""
                StrCpy $2 '"'
            ${Else}
                StrCpy $2 ""
            ${EndIf}
        ${ElseIf} $3 == "/"
        ${AndIf} $2 == ""
        ${AndIf} $6 == " "
            StrCpy $4 ""
            ${Do}
                IntOp $1 $1 + 1
                StrCpy $3 $R0 1 $1
                ${IfThen} $3 == "" ${|} ${ExitDo} ${|}
                ${IfThen} $3 == " " ${|} ${ExitDo} ${|}
                ${IfThen} $3 == "=" ${|} ${ExitDo} ${|}
                StrCpy $4 "$4$3"
            ${Loop}
            ${StrStr} $5 "${KNOWN_SWITCHES}" "|$4|"
            ${If} $5 == ""
                !insertmacro FAIL ${EXIT_WRONG_USE} "$(TextUnknownSwitch)"
            ${EndIf}
            ${IfThen} $4 == "D" ${|} Return ${|}
            StrCpy $6 $3
            ${Continue}
        ${EndIf}
        StrCpy $6 $3
        IntOp $1 $1 + 1
    ${Loop}
FunctionEnd

; A settings switch given on the command line goes on to lumivo-setup as it
; came (an empty /PORT= included).
!macro SETTING_SWITCH name
    ClearErrors
    ${GetOptions} $R0 "/${name}=" $R1
    ${IfNot} ${Errors}
        StrCpy $settingsSwitches '$settingsSwitches /${name}="$R1"'
    ${EndIf}
!macroend

Function ReadSwitches
    Call RefuseUnknownSwitches
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/SERVER=" $R1
    ${IfNot} ${Errors}
        ${GetOptions} $R0 "/STANDALONE=" $R1
        ${IfNot} ${Errors}
            !insertmacro FAIL ${EXIT_WRONG_USE} "$(TextServerAndStandalone)"
        ${EndIf}
    ${EndIf}
    StrCpy $settingsSwitches ""
    !insertmacro SETTING_SWITCH "SERVER"
    !insertmacro SETTING_SWITCH "STANDALONE"
    !insertmacro SETTING_SWITCH "PORT"
    !insertmacro SETTING_SWITCH "BAUD"
    !insertmacro SETTING_SWITCH "FULLSCREEN"
    ; A prepared record named relative to where the installer was started.
    ClearErrors
    ${GetOptions} $R0 "/SETUPDAT=" $R1
    ${IfNot} ${Errors}
        System::Call "kernel32::GetFullPathNameW(w R1, i ${NSIS_MAX_STRLEN}, w .R2, p 0)"
        StrCpy $settingsSwitches '$settingsSwitches /SETUPDAT="$R2"'
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/AUTOSTART" $R1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${SecAutostart}
        StrCpy $R2 $R1 1
        ${If} $R2 == "="
            StrCpy $autostartUser $R1 "" 1
        ${EndIf}
    ${EndIf}
FunctionEnd

; --- users --------------------------------------------------------------------------

; The user logged on in this session, even when the installer runs with an
; administrator's password typed at the UAC prompt; empty in a session
; without one (a deployment running as SYSTEM).
Function FindSessionUser
    StrCpy $sessionUser ""
    System::Call "wtsapi32::WTSQuerySessionInformationW(p 0, i -1, i 5, *p .R1, *i .R2) i .R3"
    ${If} $R3 == 0
        Return
    ${EndIf}
    System::Call "*$R1(&w${NSIS_MAX_STRLEN} .R4)"
    System::Call "wtsapi32::WTSFreeMemory(p R1)"
    System::Call "wtsapi32::WTSQuerySessionInformationW(p 0, i -1, i 7, *p .R1, *i .R2) i .R3"
    StrCpy $R5 ""
    ${If} $R3 != 0
        System::Call "*$R1(&w${NSIS_MAX_STRLEN} .R5)"
        System::Call "wtsapi32::WTSFreeMemory(p R1)"
    ${EndIf}
    ${If} $R4 == ""
    ${OrIf} $R4 == "SYSTEM"
        Return
    ${EndIf}
    ${If} $R5 == ""
        StrCpy $sessionUser $R4
    ${Else}
        StrCpy $sessionUser "$R5\$R4"
    ${EndIf}
FunctionEnd

; Autostart as it is now, so that an upgrade keeps it: the user recorded by
; an earlier installation, or the all-users Startup shortcut of 1.1.0
; (which the task replaces); a user given with /AUTOSTART=user wins.
Function ChooseAutostart
    ReadRegStr $R1 HKLM "${UNINSTALL_KEY}" "AutostartUser"
    ${If} $R1 != ""
    ${OrIf} ${FileExists} "$SMSTARTUP\lumivo.lnk"
        !insertmacro SelectSection ${SecAutostart}
    ${EndIf}
    ${If} $autostartUser == ""
        StrCpy $autostartUser $R1
    ${EndIf}
    ${If} $autostartUser == ""
        StrCpy $autostartUser $sessionUser
    ${EndIf}
FunctionEnd

; Before the first page, and under /S before anything: the refusals, then
; the checker ended, so that no page opens beneath a full-screen checker.
Function .onInit
    SetShellVarContext all
    ${IfNot} ${AtLeastWin7}
        MessageBox MB_ICONSTOP|MB_TOPMOST "$(TextNeedsWindows7)" /SD IDOK
        SetErrorLevel ${EXIT_OLD_WINDOWS}
        Abort
    ${EndIf}
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
        MessageBox MB_ICONSTOP|MB_TOPMOST "$(TextNeedsAdmin)" /SD IDOK
        SetErrorLevel ${EXIT_NOT_ADMIN}
        Abort
    ${EndIf}
    CreateDirectory "${DATA_DIR}"
    ${GetParameters} $R0
    !insertmacro LOG "$(TextLogStart)"
    Call ReadSwitches
    Call FindSessionUser
    Call ChooseAutostart
    Call ChooseServer
    InitPluginsDir
    File "/oname=$PLUGINSDIR\lumivo-setup.exe" "${STAGE}/lumivo-setup.exe"
    Call StopChecker
FunctionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "$(SecProgramText)"
    !insertmacro MUI_DESCRIPTION_TEXT ${SecAutostart} "$(SecAutostartText)"
    !insertmacro MUI_DESCRIPTION_TEXT ${SecServer} "$(SecServerText)"
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; --- uninstalling --------------------------------------------------------------

Section "un.$(UnSecProgramName)" UnSecProgram
    SectionIn RO
    Call un.StopChecker
    Call un.RemoveServer
    nsExec::Exec '"$SYSDIR\schtasks.exe" /Delete /TN "${TASK_NAME}" /F'
    Pop $0
    Delete "$INSTDIR\lumivo.exe"
    Delete "$INSTDIR\prchk.exe"
    Delete "$INSTDIR\checker_server.exe"
    Delete "$INSTDIR\lumivo-setup.exe"
    Delete "$INSTDIR\lumivo-start.exe"
    Delete "$INSTDIR\podrecznik.html"
    Delete "$INSTDIR\przyklad.csv"
    Delete "$INSTDIR\checker_sim.exe"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Delete "${DATA_DIR}\lumivo-task.xml"

    Delete "$SMSTARTUP\lumivo.lnk"
    Delete "$SMPROGRAMS\lumivo\lumivo.lnk"
    Delete "$SMPROGRAMS\lumivo\$(ShortcutDataFolder).lnk"
    Delete "$SMPROGRAMS\lumivo\$(ShortcutGuide).lnk"
    Delete "$SMPROGRAMS\lumivo\$(ShortcutUninstall).lnk"
    RMDir "$SMPROGRAMS\lumivo"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    !insertmacro LOG "$(UnTextDone)"
SectionEnd

; The shop's settings and the logs go only when asked; the data folder goes
; only when nothing else (a PRCHK.DAT, say) is left in it.
Section /o "un.$(UnSecSettingsName)" UnSecSettings
    Delete "${DATA_DIR}\setup.dat"
    Delete "${DATA_DIR}\install.log"
    Delete "${DATA_DIR}\install.log.old"
    Delete "${DATA_DIR}\lumivo-start.log"
    Delete "${DATA_DIR}\lumivo-start.log.old"
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
