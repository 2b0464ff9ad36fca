; Vossel's setup program: installs Vossel.exe for every user of the machine into Program Files,
; with a Start-menu shortcut, an "Apps & features" entry and, when chosen, the start at log-on.
; scripts/package builds it; it passes VERSION, X86_EXE, X64_EXE, LICENCE (Vossel's), FONT_LICENCE,
; ICON and OUTFILE, and SIGN_COMMAND when the release is signed.
;
; For administrators:
;   Vossel-<version>-setup.exe /S [/AUTOSTART=1|0]   silent install (or upgrade); left out, 1 for
;                                                     a first install and as it was for an upgrade
;   "<install dir>\uninstall.exe" /S                  silent uninstall (QuietUninstallString)
; Exit code 0 on success; 1 when cancelled; 2 when it failed; 87 for a bad /AUTOSTART; 740 when
; not elevated.

Unicode true
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

; Signed as they are written: the uninstaller before it is packed, the setup program at the end.
!ifdef SIGN_COMMAND
    !uninstfinalize '${SIGN_COMMAND} "%1"' = 0
    !finalize '${SIGN_COMMAND} "%1"' = 0
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include WinMessages.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vossel"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define APPROVED_KEY "Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved"
; The start records' event source; the exe carries their texts.
!define EVENTLOG_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\Vossel"
; The program names its Run value after its exe and writes the quoted path as the data.
!define RUN_VALUE "Vossel"
!define RUN_DATA '"$INSTDIR\Vossel.exe"'

Name "Vossel"
OutFile "${OUTFILE}"
BrandingText "Vossel ${VERSION}"
ShowInstDetails hide
ShowUninstDetails hide

Var AutoStart
Var AutoStartBox

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_LANGDLL_ALLLANGUAGES
!define MUI_LANGDLL_WINDOWTITLE "Vossel"
!define MUI_LANGDLL_INFO "请选择安装程序的语言。$\r$\nPlease select the language of the installer."

!insertmacro MUI_PAGE_WELCOME
Page custom AutoStartPage AutoStartPageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the one used where no other is chosen.
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "TradChinese"
!insertmacro MUI_RESERVEFILE_LANGDLL

LangString AutoStartTitle ${LANG_SIMPCHINESE} "开机自启动"
LangString AutoStartTitle ${LANG_ENGLISH} "Start at log-on"
LangString AutoStartTitle ${LANG_TRADCHINESE} "開機自啟動"
LangString AutoStartSubtitle ${LANG_SIMPCHINESE} "选择登录 Windows 时是否自动运行 Vossel。"
LangString AutoStartSubtitle ${LANG_ENGLISH} "Choose whether Vossel runs when you log on to Windows."
LangString AutoStartSubtitle ${LANG_TRADCHINESE} "選擇登入 Windows 時是否自動執行 Vossel。"
LangString AutoStartText ${LANG_SIMPCHINESE} "Vossel 在登录时显示本次开机所用的时间。选中下面的选项后，本机的每位用户登录时都会运行 Vossel。$\r$\n$\r$\n以后可以在 Vossel 窗口的“设置”中更改。"
LangString AutoStartText ${LANG_ENGLISH} "Vossel shows at log-on how long the computer took to start. With the option below ticked, it runs whenever any user of this computer logs on.$\r$\n$\r$\nYou can change this later through the Settings link in Vossel's window."
LangString AutoStartText ${LANG_TRADCHINESE} "Vossel 在登入時顯示本次開機所用的時間。選取下面的選項後，本機的每位使用者登入時都會執行 Vossel。$\r$\n$\r$\n以後可以在 Vossel 視窗的「設定」中變更。"
LangString AutoStartBox ${LANG_SIMPCHINESE} "开机自启动"
LangString AutoStartBox ${LANG_ENGLISH} "Start Vossel at log-on"
LangString AutoStartBox ${LANG_TRADCHINESE} "開機自啟動"
; The Start-menu shortcut of the history window, named in the language chosen; the uninstaller
; removes it under every language's name.
LangString HistoryShortcut ${LANG_SIMPCHINESE} "Vossel 启动记录"
LangString HistoryShortcut ${LANG_ENGLISH} "Vossel start-up history"
LangString HistoryShortcut ${LANG_TRADCHINESE} "Vossel 啟動記錄"
LangString NeedAdmin ${LANG_SIMPCHINESE} "安装 Vossel 需要管理员权限。"
LangString NeedAdmin ${LANG_ENGLISH} "Installing Vossel needs administrator rights."
LangString NeedAdmin ${LANG_TRADCHINESE} "安裝 Vossel 需要系統管理員權限。"
LangString BadAutoStart ${LANG_SIMPCHINESE} "/AUTOSTART 只能是 0 或 1。"
LangString BadAutoStart ${LANG_ENGLISH} "/AUTOSTART takes 0 or 1."
LangString BadAutoStart ${LANG_TRADCHINESE} "/AUTOSTART 只能是 0 或 1。"
LangString StillRunning ${LANG_SIMPCHINESE} "Vossel 仍在运行，无法替换 $INSTDIR\Vossel.exe。请关闭 Vossel 后重试。"
LangString StillRunning ${LANG_ENGLISH} "Vossel is still running, so $INSTDIR\Vossel.exe cannot be replaced. Close Vossel and try again."
LangString StillRunning ${LANG_TRADCHINESE} "Vossel 仍在執行，無法取代 $INSTDIR\Vossel.exe。請關閉 Vossel 後再試一次。"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "Vossel"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "CompanyName" "Vossel"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "Vossel 安装程序"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "OriginalFilename" "Vossel-${VERSION}-setup.exe"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "Copyright (c) 2026 the Vossel authors. MIT License."

; A running Vossel holds its exe open until it ends; closing its main window ends it (after the
; fade-out). Only this session's instance can be asked; the file check also waits for the others.
!macro CloseRunningVossel UN
Function ${UN}CloseRunningVossel
    StrCpy $1 0
    ${DoWhile} ${FileExists} "$INSTDIR\Vossel.exe"
        ; Asked again each round: a window that has faded out while the start-up watch goes on
        ; ends the program at the next close.
        FindWindow $0 "VosselForm1"
        ${If} $0 <> 0
            SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=2000
        ${EndIf}
        ClearErrors
        FileOpen $2 "$INSTDIR\Vossel.exe" a
        ${IfNot} ${Errors}
            FileClose $2
            ${Break}
        ${EndIf}
        IntOp $1 $1 + 1
        ${If} $1 > 100
            MessageBox MB_ICONSTOP "$(StillRunning)" /SD IDOK
            SetErrorLevel 2
            Quit
        ${EndIf}
        Sleep 200
    ${Loop}
FunctionEnd
!macroend
!insertmacro CloseRunningVossel ""
!insertmacro CloseRunningVossel "un."

; Deletes the Run value named like the program when it starts this copy, with Explorer's record
; of it being switched off (Task Manager's Startup tab), which would otherwise outlive it. An
; entry of the same name for another copy stays, and so does its record.
; ROOT: HKLM or HKCU; VIEW: the registry view of the Run key; APPROVED: the StartupApproved
; subkey for that key, which Explorer keeps in the 64-bit view.
!macro RemoveOwnRunEntry ROOT VIEW APPROVED
    SetRegView ${VIEW}
    ClearErrors
    ReadRegStr $0 ${ROOT} "${RUN_KEY}" "${RUN_VALUE}"
    StrCpy $1 1
    ${IfNot} ${Errors}
        ${If} $0 == '${RUN_DATA}'
        ${OrIf} $0 == "$INSTDIR\Vossel.exe"
            DeleteRegValue ${ROOT} "${RUN_KEY}" "${RUN_VALUE}"
        ${Else}
            StrCpy $1 0
        ${EndIf}
    ${EndIf}
    ${If} $1 = 1
        ${If} ${RunningX64}
            SetRegView 64
        ${EndIf}
        DeleteRegValue ${ROOT} "${APPROVED_KEY}\${APPROVED}" "${RUN_VALUE}"
    ${EndIf}
!macroend

; The registry view of the exe that is installed: the program reads its Run entry there.
!macro UseInstalledView
    ${If} ${RunningX64}
        SetRegView 64
    ${Else}
        SetRegView 32
    ${EndIf}
!macroend

!macro RequireAdmin
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "admin"
        MessageBox MB_ICONSTOP "$(NeedAdmin)" /SD IDOK
        SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
        Quit
    ${EndIf}
!macroend

!macro DeleteHistoryShortcuts
    Delete "$SMPROGRAMS\Vossel 启动记录.lnk"
    Delete "$SMPROGRAMS\Vossel start-up history.lnk"
    Delete "$SMPROGRAMS\Vossel 啟動記錄.lnk"
!macroend

Function .onInit
    StrCpy $LANGUAGE ${LANG_SIMPCHINESE}
    !insertmacro MUI_LANGDLL_DISPLAY
    !insertmacro RequireAdmin

    ; A first install starts at log-on unless told otherwise; an upgrade keeps what the user
    ; chose since, in the program's settings or in the last setup.
    StrCpy $AutoStart 1
    !insertmacro UseInstalledView
    ClearErrors
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${IfNot} ${Errors}
        ClearErrors
        ReadRegStr $0 HKLM "${RUN_KEY}" "${RUN_VALUE}"
        ${If} ${Errors}
            StrCpy $AutoStart 0
        ${EndIf}
    ${EndIf}
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/AUTOSTART=" $1
    ${IfNot} ${Errors}
        ${If} $1 == "1"
            StrCpy $AutoStart 1
        ${ElseIf} $1 == "0"
            StrCpy $AutoStart 0
        ${Else}
            MessageBox MB_ICONSTOP "$(BadAutoStart)" /SD IDOK
            SetErrorLevel 87 ; ERROR_INVALID_PARAMETER
            Quit
        ${EndIf}
    ${EndIf}

    ; Always Program Files, whatever /D= asked for (the winget manifest says so): the program
    ; takes the machine-wide Run key only when it lives where only administrators can change it.
    ${If} ${RunningX64}
        StrCpy $INSTDIR "$PROGRAMFILES64\Vossel"
    ${Else}
        StrCpy $INSTDIR "$PROGRAMFILES\Vossel"
    ${EndIf}
FunctionEnd

Function AutoStartPage
    !insertmacro MUI_HEADER_TEXT "$(AutoStartTitle)" "$(AutoStartSubtitle)"
    nsDialogs::Create 1018
    Pop $0
    ${If} $0 == error
        Abort
    ${EndIf}
    ${NSD_CreateLabel} 0 0 100% 48u "$(AutoStartText)"
    Pop $0
    ${NSD_CreateCheckbox} 0 56u 100% 12u "$(AutoStartBox)"
    Pop $AutoStartBox
    ${If} $AutoStart = 1
        ${NSD_Check} $AutoStartBox
    ${EndIf}
    nsDialogs::Show
FunctionEnd

Function AutoStartPageLeave
    ${NSD_GetState} $AutoStartBox $0
    ${If} $0 = ${BST_CHECKED}
        StrCpy $AutoStart 1
    ${Else}
        StrCpy $AutoStart 0
    ${EndIf}
FunctionEnd

Section
    SetShellVarContext all
    Call CloseRunningVossel

    SetOutPath "$INSTDIR"
    ${If} ${RunningX64}
        File "/oname=Vossel.exe" "${X64_EXE}"
    ${Else}
        File "/oname=Vossel.exe" "${X86_EXE}"
    ${EndIf}
    File "/oname=LICENSE.txt" "${LICENCE}"
    ; The exe carries the DSEG face, whose licence travels with it.
    File "/oname=DSEG-LICENSE.txt" "${FONT_LICENCE}"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortcut "$SMPROGRAMS\Vossel.lnk" "$INSTDIR\Vossel.exe"
    ; An upgrade in another language leaves one history shortcut, under the new name.
    !insertmacro DeleteHistoryShortcuts
    CreateShortcut "$SMPROGRAMS\$(HistoryShortcut).lnk" "$INSTDIR\Vossel.exe" "/history"

    !insertmacro UseInstalledView
    ${If} $AutoStart = 1
        WriteRegStr HKLM "${RUN_KEY}" "${RUN_VALUE}" '${RUN_DATA}'
    ${ElseIf} ${RunningX64}
        !insertmacro RemoveOwnRunEntry HKLM 64 Run
    ${Else}
        !insertmacro RemoveOwnRunEntry HKLM 32 Run
    ${EndIf}

    !insertmacro UseInstalledView
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Vossel"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Vossel"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Vossel.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ; The uninstaller speaks the language the installation was made in.
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "Language" $LANGUAGE
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

    ; Not a redirected key: one entry serves the 32- and the 64-bit exe. An upgrade writes the
    ; same values again.
    WriteRegExpandStr HKLM "${EVENTLOG_KEY}" "EventMessageFile" "$INSTDIR\Vossel.exe"
    WriteRegDWORD HKLM "${EVENTLOG_KEY}" "TypesSupported" 7
SectionEnd

Function un.onInit
    !insertmacro UseInstalledView
    ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "Language"
    ${If} $0 == ${LANG_ENGLISH}
        StrCpy $LANGUAGE ${LANG_ENGLISH}
    ${ElseIf} $0 == ${LANG_TRADCHINESE}
        StrCpy $LANGUAGE ${LANG_TRADCHINESE}
    ${Else}
        StrCpy $LANGUAGE ${LANG_SIMPCHINESE}
    ${EndIf}
    !insertmacro RequireAdmin
FunctionEnd

Section Uninstall
    SetShellVarContext all
    Call un.CloseRunningVossel

    Delete "$SMPROGRAMS\Vossel.lnk"
    !insertmacro DeleteHistoryShortcuts
    Delete "$INSTDIR\Vossel.exe"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\DSEG-LICENSE.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"

    ; Both views: a 32-bit copy of the program in this folder writes to the 32-bit one. This
    ; user's own Run key too, where an older copy of the program may have put its entry.
    ${If} ${RunningX64}
        !insertmacro RemoveOwnRunEntry HKLM 64 Run
        !insertmacro RemoveOwnRunEntry HKLM 32 Run32
        !insertmacro RemoveOwnRunEntry HKCU 64 Run
    ${Else}
        !insertmacro RemoveOwnRunEntry HKLM 32 Run
        !insertmacro RemoveOwnRunEntry HKCU 32 Run
    ${EndIf}

    !insertmacro UseInstalledView
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegKey HKLM "${EVENTLOG_KEY}"
SectionEnd
