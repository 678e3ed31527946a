; The component "Serwer sprawdzarek": checker_server.exe as the Windows
; service lumivo-serwer, started with Windows before anyone logs on, for a
; shop whose back-office program answers no checkers. Included by
; lumivo.nsi between its sections, after the log and the checker's
; functions it uses.
;
; Silent use: /CHECKERSERVER=list selects it; /CHECKERSERVERWEIGHT=21,27,
; /CHECKERSERVERVALUE=22 and /CHECKERSERVERITEMCODE=7|6 give the in-store
; prefixes, written with lumivo-setup into serwer-setup.dat in the data
; folder (the layout of setup.dat; the server only reads it). An upgrade
; keeps the service and its list, and changes only the prefixes given.

!define SERVER_SERVICE "lumivo-serwer"
!define SERVER_TITLE "lumivo – serwer sprawdzarek"
!define SERVER_SETUP "${DATA_DIR}\serwer-setup.dat"
!define SERVER_DEFAULT_LIST "${DATA_DIR}\cennik.csv"
!define SERVER_KEY "SYSTEM\CurrentControlSet\Services\${SERVER_SERVICE}"
!define EXIT_SERVER 8  ; installed, but the checker server's service is not running

Var serverList         ; the absolute path of the list the service serves
Var serverWeight       ; the in-store prefixes as lumivo-setup takes them:
Var serverValue        ;   "21,27", "22" (empty: none)
Var serverItemCode     ;   and 7 or 6 digits of the item in a weighed label
Var serverStopped      ; 1: the service was stopped for the upgrade

Section /o "$(SecServerName)" SecServer
    Call RegisterServer
    Call AllowServerThroughFirewall
    Call StartServer
SectionEnd

; A service left by an earlier installation goes with the component's box
; cleared, so that no service runs a program the shop asked to remove.
Section "-ServerOff"
    ${IfNot} ${SectionIsSelected} ${SecServer}
        ReadRegStr $0 HKLM "${SERVER_KEY}" "ImagePath"
        ${If} $0 != ""
            StrCpy $serverStopped 0
            Call RemoveServer
        ${EndIf}
    ${EndIf}
SectionEnd

; Runs a command for the component and logs its exit code in $0.
!macro SERVER_STEP command
    nsExec::Exec `${command}`
    Pop $0
    !insertmacro LOG `${command}: $(TextExitCode) $0`
!macroend

; Waits until the service has stopped: at most 30 s, the time the server
; needs to write its unknown-code file and end. Logs what it saw.
!macro WAIT_SERVER_STOPPED prefix
Function ${prefix}WaitServerStopped
    System::Call "advapi32::OpenSCManagerW(p 0, p 0, i 1) p .R1"
    System::Call "advapi32::OpenServiceW(p R1, w '${SERVER_SERVICE}', i 4) p .R2"
    System::Call "*(i, i, i, i, i, i, i) p .R3"
    StrCpy $R4 0
    StrCpy $R5 0
    ${If} $R2 P<> 0
        ${Do}
            System::Call "advapi32::QueryServiceStatus(p R2, p R3) i .R6"
            System::Call "*$R3(i, i .R5)"
            ${If} $R6 == 0
            ${OrIf} $R5 == 1
            ${OrIf} $R4 >= 60
                ${ExitDo}
            ${EndIf}
            Sleep 500
            IntOp $R4 $R4 + 1
        ${Loop}
        System::Call "advapi32::CloseServiceHandle(p R2)"
    ${EndIf}
    System::Free $R3
    System::Call "advapi32::CloseServiceHandle(p R1)"
    !insertmacro LOG "$(TextServerStopState)"
FunctionEnd
!macroend
!insertmacro WAIT_SERVER_STOPPED ""
!insertmacro WAIT_SERVER_STOPPED "un."

; Before the replaceable-files check: a running server holds its exe.
Function StopServer
    ReadRegStr $0 HKLM "${SERVER_KEY}" "ImagePath"
    ${If} $0 == ""
        Return
    ${EndIf}
    !insertmacro SERVER_STEP '"$SYSDIR\sc.exe" stop ${SERVER_SERVICE}'
    ; 1062: it was not running, so it is not started again after a failure.
    ${If} $0 != 1062
        StrCpy $serverStopped 1
    ${EndIf}
    Call WaitServerStopped
FunctionEnd

; After a failed upgrade the old server answers again.
Function RestartServer
    ${If} $serverStopped == 1
        StrCpy $serverStopped 0
        !insertmacro SERVER_STEP '"$SYSDIR\sc.exe" start ${SERVER_SERVICE}'
    ${EndIf}
FunctionEnd

; The service with absolute paths: it runs as LocalSystem in the system
; folder, where a relative path would find nothing.
Function RegisterServer
    StrCpy $R1 "--csv"
    StrCpy $R2 $serverList 4 -4
    ${If} $R2 == ".dat"
        StrCpy $R1 "--dat"
    ${EndIf}
    StrCpy $R4 '"$INSTDIR\checker_server.exe" --service $R1 "$serverList" --setup "${SERVER_SETUP}"'
    ReadRegStr $0 HKLM "${SERVER_KEY}" "ImagePath"
    ${If} $0 == ""
        ${WordReplace} $R4 '"' '\"' "+" $R3
        !insertmacro SERVER_STEP '"$SYSDIR\sc.exe" create ${SERVER_SERVICE} binPath= "$R3" start= auto DisplayName= "${SERVER_TITLE}"'
    ${Else}
        Call ReconfigureServer
    ${EndIf}
    ${If} $0 != 0
        !insertmacro WARN ${EXIT_SERVER} "$(TextServerNotRegistered)"
        Return
    ${EndIf}
    ; Restarted 5 s after a failure, again after 5 s, then after a minute;
    ; the count starts again after a day without one.
    !insertmacro SERVER_STEP '"$SYSDIR\sc.exe" failure ${SERVER_SERVICE} reset= 86400 actions= restart/5000/restart/5000/restart/60000'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "CheckerServerList" $serverList
FunctionEnd

; An upgrade's service gets this installation's command line, as
; "sc config" would give it (Wine's sc has no config): $R4 the command
; line; $0 0 or the system's error number.
Function ReconfigureServer
    System::Call "advapi32::OpenSCManagerW(p 0, p 0, i 1) p .R5"
    System::Call "advapi32::OpenServiceW(p R5, w '${SERVER_SERVICE}', i 2) p .R6 ?e"
    Pop $0
    ${If} $R6 P<> 0
        System::Call "advapi32::ChangeServiceConfigW(p R6, i -1, i 2, i -1, w R4, p 0, p 0, p 0, p 0, p 0, w '${SERVER_TITLE}') i .R7 ?e"
        Pop $0
        ${If} $R7 != 0
            StrCpy $0 0
        ${EndIf}
        System::Call "advapi32::CloseServiceHandle(p R6)"
    ${EndIf}
    System::Call "advapi32::CloseServiceHandle(p R5)"
    !insertmacro LOG `ChangeServiceConfig ${SERVER_SERVICE} $R4: $(TextExitCode) $0`
FunctionEnd

; One inbound rule for UDP 1001 to this program; the old one goes first,
; so that upgrades do not stack rules.
Function AllowServerThroughFirewall
    !insertmacro SERVER_STEP '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${SERVER_TITLE}"'
    !insertmacro SERVER_STEP '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="${SERVER_TITLE}" dir=in action=allow protocol=UDP localport=1001 program="$INSTDIR\checker_server.exe"'
    ${If} $0 != 0
        !insertmacro WARN ${EXIT_SERVER} "$(TextServerNoFirewall)"
    ${EndIf}
FunctionEnd

Function StartServer
    StrCpy $serverStopped 0
    ReadRegStr $0 HKLM "${SERVER_KEY}" "ImagePath"
    ${If} $0 == ""
        Return
    ${EndIf}
    !insertmacro SERVER_STEP '"$SYSDIR\sc.exe" start ${SERVER_SERVICE}'
    ${If} $0 != 0
        !insertmacro WARN ${EXIT_SERVER} "$(TextServerNotStarted)"
    ${EndIf}
FunctionEnd

; The prefixes go into serwer-setup.dat before any program file is
; replaced: a wrong value leaves the old installation as it was. The tool
; writes setup.dat in a folder of the installer's own, starting from the
; server's present record; that record then takes the place of the old one
; in one step.
Function WriteServerSettings
    ${IfNot} ${SectionIsSelected} ${SecServer}
        Return
    ${EndIf}
    CreateDirectory "$PLUGINSDIR\serwer"
    Delete "$PLUGINSDIR\serwer\setup.dat"
    CopyFiles /SILENT "${SERVER_SETUP}" "$PLUGINSDIR\serwer\setup.dat"
    nsExec::Exec '"$PLUGINSDIR\lumivo-setup.exe" set /FOLDER="$PLUGINSDIR\serwer" /LOG="${LOG_FILE}" /WEIGHT="$serverWeight" /VALUE="$serverValue" /ITEMCODE="$serverItemCode"'
    Pop $0
    ${If} $0 == 0
        CopyFiles /SILENT "$PLUGINSDIR\serwer\setup.dat" "${SERVER_SETUP}.new"
        System::Call "kernel32::MoveFileExW(w '${SERVER_SETUP}.new', w '${SERVER_SETUP}', i 1) i .r1"
        ${If} $1 != 0
            !insertmacro LOG "$(TextServerSetupWritten)"
            Return
        ${EndIf}
        Delete "${SERVER_SETUP}.new"
    ${EndIf}
    Call RestartChecker
    ${If} $0 == 2
        !insertmacro FAIL ${EXIT_WRONG_USE} "$(TextServerSetupWrong)"
    ${EndIf}
    !insertmacro FAIL ${EXIT_SETTINGS} "$(TextServerSetupFailed)"
FunctionEnd

; Three prefix slots of the record from the file $R0's position into $R5,
; as "21,27".
Function ReadPrefixSlots
    StrCpy $R5 ""
    ${For} $R6 1 3
        FileReadByte $R0 $R7
        FileReadByte $R0 $R8
        FileReadByte $R0 $R9
        ${If} $R7 != 0
        ${AndIf} $R8 != 0
            IntFmt $R7 "%c" $R7
            IntFmt $R8 "%c" $R8
            ${If} $R5 != ""
                StrCpy $R5 "$R5,"
            ${EndIf}
            StrCpy $R5 "$R5$R7$R8"
        ${EndIf}
    ${Next}
FunctionEnd

; The prefixes of an earlier installation's record, so that an upgrade
; and the page start from what the server has.
Function ReadServerRecord
    StrCpy $serverWeight ""
    StrCpy $serverValue ""
    StrCpy $serverItemCode 7
    ClearErrors
    FileOpen $R0 "${SERVER_SETUP}" r
    ${If} ${Errors}
        Return
    ${EndIf}
    FileSeek $R0 0 END $R1
    ${If} $R1 >= 500
        FileSeek $R0 244
        FileReadByte $R0 $R1
        ${If} $R1 == 1
            StrCpy $serverItemCode 6
        ${EndIf}
        FileSeek $R0 248
        Call ReadPrefixSlots
        StrCpy $serverValue $R5
        Call ReadPrefixSlots
        StrCpy $serverWeight $R5
    ${EndIf}
    FileClose $R0
FunctionEnd

!macro SERVER_SWITCH name variable
    ClearErrors
    ${GetOptions} $R0 "/${name}=" $R1
    ${IfNot} ${Errors}
        StrCpy ${variable} $R1
    ${EndIf}
!macroend

; The component as the command line and an earlier installation have it:
; /CHECKERSERVER selects it with that list; an installed service keeps its
; list and its prefixes, and a switch changes only its own.
Function ChooseServer
    Call ReadServerRecord
    ${GetParameters} $R0
    !insertmacro SERVER_SWITCH "CHECKERSERVERWEIGHT" $serverWeight
    !insertmacro SERVER_SWITCH "CHECKERSERVERVALUE" $serverValue
    !insertmacro SERVER_SWITCH "CHECKERSERVERITEMCODE" $serverItemCode
    ReadRegStr $serverList HKLM "${UNINSTALL_KEY}" "CheckerServerList"
    ReadRegStr $R2 HKLM "${SERVER_KEY}" "ImagePath"
    ${If} $R2 != ""
        !insertmacro SelectSection ${SecServer}
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/CHECKERSERVER=" $R1
    ${IfNot} ${Errors}
        ${If} $R1 == ""
            !insertmacro FAIL ${EXIT_WRONG_USE} "$(TextServerNoList)"
        ${EndIf}
        System::Call "kernel32::GetFullPathNameW(w R1, i ${NSIS_MAX_STRLEN}, w .R2, p 0)"
        StrCpy $serverList $R2
        !insertmacro SelectSection ${SecServer}
    ${EndIf}
    ${If} $serverList == ""
        StrCpy $serverList "${SERVER_DEFAULT_LIST}"
    ${EndIf}
FunctionEnd

; --- the page ------------------------------------------------------------------------

Var serverListField
Var serverWeightField
Var serverValueField
Var serverItemCodeField

; The list and the prefixes, when the component is chosen.
Function ServerPageShow
    ${IfNot} ${SectionIsSelected} ${SecServer}
        Abort
    ${EndIf}
    !insertmacro MUI_HEADER_TEXT "$(ServerPageTitle)" "$(ServerPageSubtitle)"
    nsDialogs::Create 1018
    Pop $R0
    ${NSD_CreateLabel} 0 0 100% 10u "$(ServerPageList)"
    Pop $R0
    ${NSD_CreateText} 0 11u 100% 12u "$serverList"
    Pop $serverListField
    ${NSD_CreateLabel} 0 30u 60% 10u "$(ServerPageWeight)"
    Pop $R0
    ${NSD_CreateText} 62% 29u 38% 12u "$serverWeight"
    Pop $serverWeightField
    ${NSD_CreateLabel} 0 46u 60% 10u "$(ServerPageValue)"
    Pop $R0
    ${NSD_CreateText} 62% 45u 38% 12u "$serverValue"
    Pop $serverValueField
    ${NSD_CreateLabel} 0 62u 60% 10u "$(ServerPageItemCode)"
    Pop $R0
    ${NSD_CreateText} 62% 61u 38% 12u "$serverItemCode"
    Pop $serverItemCodeField
    ${NSD_CreateLabel} 0 82u 100% 50u "$(ServerPageNote)"
    Pop $R0
    nsDialogs::Show
FunctionEnd

; The values are tried on a record of the installer's own, with the tool
; that writes them: a wrong one keeps the page open.
Function ServerPageLeave
    ${NSD_GetText} $serverListField $R1
    ${NSD_GetText} $serverWeightField $serverWeight
    ${NSD_GetText} $serverValueField $serverValue
    ${NSD_GetText} $serverItemCodeField $serverItemCode
    ${If} $R1 == ""
        MessageBox MB_ICONEXCLAMATION "$(TextServerNoList)"
        Abort
    ${EndIf}
    System::Call "kernel32::GetFullPathNameW(w R1, i ${NSIS_MAX_STRLEN}, w .R2, p 0)"
    StrCpy $serverList $R2
    CreateDirectory "$PLUGINSDIR\proba"
    nsExec::Exec '"$PLUGINSDIR\lumivo-setup.exe" set /FOLDER="$PLUGINSDIR\proba" /WEIGHT="$serverWeight" /VALUE="$serverValue" /ITEMCODE="$serverItemCode"'
    Pop $0
    ${If} $0 != 0
        MessageBox MB_ICONEXCLAMATION "$(ServerPageWrong)"
        Abort
    ${EndIf}
FunctionEnd

; --- uninstalling ----------------------------------------------------------------

; Stops and deletes the service and its firewall rule; the list, the
; prefixes, the log and the unknown-code file stay in their folder.
!macro REMOVE_SERVER prefix
Function ${prefix}RemoveServer
    ReadRegStr $0 HKLM "${SERVER_KEY}" "ImagePath"
    ${If} $0 == ""
        Return
    ${EndIf}
    !insertmacro SERVER_STEP '"$SYSDIR\sc.exe" stop ${SERVER_SERVICE}'
    Call ${prefix}WaitServerStopped
    !insertmacro SERVER_STEP '"$SYSDIR\sc.exe" delete ${SERVER_SERVICE}'
    !insertmacro SERVER_STEP '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${SERVER_TITLE}"'
    DeleteRegValue HKLM "${UNINSTALL_KEY}" "CheckerServerList"
FunctionEnd
!macroend
!insertmacro REMOVE_SERVER ""
!insertmacro REMOVE_SERVER "un."
