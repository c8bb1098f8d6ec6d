; The Tolvane installer: one file for x86 and x64 Windows, per user, without
; administrator rights. make_setup.sh builds it:
;   makensis -INPUTCHARSET UTF8 -DVERSION=<x.y.z> -DX86EXE=<exe> -DX64EXE=<exe>
;            -DX86KB=<KiB> -DX64KB=<KiB> -DTEXTS=<folder of LICENSE.txt, THIRD-PARTY-NOTICES.txt>
;            -DCOPYRIGHT=<line> -DHOMEPAGE=<url> -DOUTFILE=<setup.exe>
;            [-DSIGN_UNINSTALLER=<command with %1>] tolvane.nsi
; The program keeps config.ini beside itself, so it goes where its user may write:
; %LOCALAPPDATA%\Programs\Tolvane. Installing again over it and uninstalling keep
; config.ini; the uninstaller's one option removes it.
; Neither replaces nor removes a program that is running (it may be counting down to
; the user's shutdown): they ask the user to close it, and a silent run ends with exit
; code 2 having changed nothing. A file that cannot be written ends the install.
; The quiet uninstall command runs the uninstaller in place (_?=), not from the copy
; of itself it would otherwise start and leave, so its caller (winget, a script) gets
; that exit code; a copy in the temporary folder then removes uninstall.exe.

Unicode true
ManifestDPIAware true
ManifestDPIAwareness PerMonitorV2,System
RequestExecutionLevel user
SetCompressor /SOLID lzma
SetDateSave off
AllowSkipFiles off

!include MUI2.nsh
!include x64.nsh
!include FileFunc.nsh

!define PRODUCT "Tolvane"
!define DISPLAY_NAME "Tolvane 定时关机"
!define PUBLISHER "The Tolvane authors"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tolvane"
!define SHORTCUT "$SMPROGRAMS\${DISPLAY_NAME}.lnk"
; The class of the program's main window.
!define WINDOW_CLASS "TolvaneMainWindow"

Name "${DISPLAY_NAME}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
!ifdef SIGN_UNINSTALLER
  ; The uninstaller is signed as it is written, before it is packed into the installer.
  !uninstfinalize '${SIGN_UNINSTALLER}' = 0
!endif

!define MUI_ICON "..\..\src\resources\tolvane.ico"
!define MUI_UNICON "..\..\src\resources\tolvane.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\Tolvane.exe"
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "${DISPLAY_NAME} 安装程序"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "${COPYRIGHT}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${VERSION}"

; Waits while the program's window is there, asking the user to close it; never ends
; it. Cancel, or a silent run (IDCANCEL), stops with exit code 2 before anything changes.
!macro WAIT_FOR_CLOSE un
  Function ${un}WaitForClose
    Push $0
    retry:
      FindWindow $0 "${WINDOW_CLASS}"
      StrCmp $0 0 closed
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
        "${DISPLAY_NAME} 正在运行。请先关闭它（它可能正在为关机倒计时），再单击“重试”。" \
        /SD IDCANCEL IDRETRY retry
      SetErrorLevel 2
      Quit
    closed:
    Pop $0
  FunctionEnd
!macroend
!insertmacro WAIT_FOR_CLOSE ""
!insertmacro WAIT_FOR_CLOSE "un."

; The space the directory page asks for: one of the two programs, not both.
Function .onInit
  Call WaitForClose
  ${If} ${IsNativeAMD64}
    SectionSetSize ${SecProgram} ${X64KB}
  ${Else}
    SectionSetSize ${SecProgram} ${X86KB}
  ${EndIf}
FunctionEnd

Function un.onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVEUNINSTALLER" $1
  ${IfNot} ${Errors}
    Call un.RemoveUninstaller
    Quit
  ${EndIf}
  Call un.WaitForClose
FunctionEnd

; In place, the uninstaller could not delete itself. A copy of it started from the
; temporary folder waits for it to end (a running program cannot be deleted), then
; removes it and the folder if that is empty.
Function un.RemoveUninstallerLater
  GetTempFileName $0
  CopyFiles /SILENT "$EXEPATH" "$0"
  Exec '"$0" /S /REMOVEUNINSTALLER _?=$INSTDIR'
FunctionEnd

; The copy's task: up to a minute, as the uninstaller it waits for has only to end.
Function un.RemoveUninstaller
  StrCpy $1 0
  ${Do}
    Delete "$INSTDIR\uninstall.exe"
    ${IfNot} ${FileExists} "$INSTDIR\uninstall.exe"
      RMDir "$INSTDIR"
      ${Break}
    ${EndIf}
    Sleep 100
    IntOp $1 $1 + 1
  ${LoopUntil} $1 >= 600
FunctionEnd

Section "Tolvane" SecProgram
  ; Started while the pages were shown.
  Call WaitForClose
  SetOutPath "$INSTDIR"
  ; The 64-bit program where the processor is x64 itself, the 32-bit one elsewhere:
  ; Windows 10 on ARM says it is 64-bit (it emulates x86), but runs no x64 program.
  ${If} ${IsNativeAMD64}
    File "/oname=Tolvane.exe" "${X64EXE}"
  ${Else}
    File "/oname=Tolvane.exe" "${X86EXE}"
  ${EndIf}
  File "${TEXTS}\LICENSE.txt"
  File "${TEXTS}\THIRD-PARTY-NOTICES.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\Tolvane.exe"

  ${GetSize} "$INSTDIR" "/M=*.exe /S=0K /G=0" $0 $1 $2
  ${GetTime} "" "L" $3 $4 $5 $6 $7 $8 $9
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${DISPLAY_NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Tolvane.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallDate" "$5$4$3"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "URLInfoAbout" "${HOMEPAGE}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "HelpLink" "${HOMEPAGE}/issues"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "un.${PRODUCT}" UnProgram
  SectionIn RO
  Call un.WaitForClose
  ; The program first: while it cannot go, the uninstaller and its entry stay.
  ClearErrors
  Delete "$INSTDIR\Tolvane.exe"
  IfErrors 0 +4
    MessageBox MB_OK|MB_ICONSTOP "无法删除 $INSTDIR\Tolvane.exe。" /SD IDOK
    SetErrorLevel 2
    Quit
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  Delete "$INSTDIR\uninstall.exe"
  Delete "${SHORTCUT}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

; Not ticked unless the user ticks it, and never in a silent uninstall.
Section /o "un.删除设置 (config.ini)" UnSettings
  Delete "$INSTDIR\config.ini"
SectionEnd

Section "-un.Folder"
  ; Only when nothing of the user's is left in it.
  RMDir "$INSTDIR"
  ; Still there: this is uninstall.exe, run in place.
  ${If} ${FileExists} "$INSTDIR\uninstall.exe"
    Call un.RemoveUninstallerLater
  ${EndIf}
SectionEnd
