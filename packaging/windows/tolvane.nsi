; The Tolvane installer: one file for x86 and x64 Windows, per user, without
; administrator rights. make_setup.sh builds it:
;   makensis -INPUTCHARSET UTF8 -DVERSION=<x.y.z> -DX86EXE=<exe> -DX64EXE=<exe>
;            -DX86KB=<KiB> -DX64KB=<KiB> -DTEXTS=<folder of LICENSE.txt, THIRD-PARTY-NOTICES.txt>
;            -DCOPYRIGHT=<line> -DHOMEPAGE=<url> -DOUTFILE=<setup.exe>
;            [-DSIGN_UNINSTALLER=<command with %1>] [-DTARGET=amd64-unicode] tolvane.nsi
; (TARGET: a 64-bit installer of the same script, for tests where no 32-bit program runs.)
; The program keeps config.ini beside itself, so it goes where its user may write:
; %LOCALAPPDATA%\Programs\Tolvane. Installing again over it and uninstalling keep
; config.ini; the uninstaller's one option removes it.
; Neither replaces nor removes the installed program while it runs (it may be counting
; down to the user's shutdown): they ask the user to close it, and a silent run ends with
; exit code 3 (EXIT_RUNNING) having changed nothing. Exit codes 1 and 2 keep NSIS's
; meaning: cancelled by the user, and aborted (a file that cannot be written ends the
; install with 2).
; Both commands of the uninstall entry run the uninstaller in place (_?=), not from the
; copy of itself it would otherwise start and leave, so its caller (winget, a script,
; Programs and Features) gets that exit code.

Unicode true
!ifdef TARGET
  Target ${TARGET}
!endif
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
; The exit code of a run refused because the installed program is running.
!define EXIT_RUNNING 3

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

; Waits while the installed program's window is there, asking the user to close it;
; never ends it. Cancel, or a silent run (IDCANCEL), stops with EXIT_RUNNING before
; anything changes. A copy running from another folder (a portable one) is no reason to
; wait; where Windows cannot name a window's program (XP), every window counts.
!macro WAIT_FOR_CLOSE un
  Function ${un}WaitForClose
    Push $0
    Push $1
    Push $2
    Push $3
    retry:
      StrCpy $0 0
      next:
        FindWindow $0 "${WINDOW_CLASS}" "" 0 $0
        StrCmp $0 0 closed
        System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
        ; PROCESS_QUERY_LIMITED_INFORMATION, which XP does not know.
        System::Call 'kernel32::OpenProcess(i 0x1000, i 0, i r1) p.r1'
        StrCmp $1 0 running
        System::Call 'kernel32::QueryFullProcessImageNameW(p r1, i 0, w .r2, *i ${NSIS_MAX_STRLEN}) i.r3'
        System::Call 'kernel32::CloseHandle(p r1)'
        IntCmp $3 0 running
        ; Short names on both sides, so neither case nor an 8.3 spelling tells them apart.
        GetFullPathName /SHORT $1 $2
        StrCmp $1 "" 0 +2
        StrCpy $1 $2
        GetFullPathName /SHORT $3 "$INSTDIR\Tolvane.exe"
        StrCmp $3 "" 0 +2
        StrCpy $3 "$INSTDIR\Tolvane.exe"
        StrCmp $1 $3 running next
      running:
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
        "${DISPLAY_NAME} 正在运行。请先关闭它（它可能正在为关机倒计时），再单击“重试”。" \
        /SD IDCANCEL IDRETRY retry
      SetErrorLevel ${EXIT_RUNNING}
      Quit
    closed:
    Pop $3
    Pop $2
    Pop $1
    Pop $0
  FunctionEnd
!macroend
!insertmacro WAIT_FOR_CLOSE ""
!insertmacro WAIT_FOR_CLOSE "un."

Function un.onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVEUNINSTALLER=" $1
  ${IfNot} ${Errors}
    ${GetOptions} $0 "/WRITTEN=" $2
    Call un.RemoveUninstaller
    Quit
  ${EndIf}
  Call un.WaitForClose
FunctionEnd

; In place, the uninstaller cannot delete itself, nor rename itself: the running
; uninstaller keeps its own file open, shared for reading only. A copy of it in the
; temporary folder, started with this process's number and the last write time of
; uninstall.exe, waits for this process to end and then deletes uninstall.exe only if it
; is still that file: an install that follows at once writes uninstall.exe anew, and keeps
; it. Where the copy cannot be made or started, uninstall.exe and the uninstall entry stay,
; and it says so.
Function un.HandOverUninstaller
  ; Neither this process nor its copy keeps the folder as its working folder.
  SetOutPath $TEMP
  Delete "$INSTDIR\uninstall.exe"
  ${IfNot} ${FileExists} "$INSTDIR\uninstall.exe"
    Return
  ${EndIf}
  ; FILE_READ_ATTRIBUTES, shared with everyone, OPEN_EXISTING
  System::Call 'kernel32::CreateFileW(w "$INSTDIR\uninstall.exe", i 0x80, i 7, p 0, i 3, i 0, p 0) p.r1'
  System::Call 'kernel32::GetFileTime(p r1, p 0, p 0, *l .r2) i.r3'
  System::Call 'kernel32::CloseHandle(p r1)'
  System::Call 'kernel32::GetCurrentProcessId() i.r4'
  ClearErrors
  GetTempFileName $0
  CopyFiles /SILENT "$EXEPATH" $0
  ${IfNot} ${Errors}
  ${AndIf} $3 <> 0
    Exec '"$0" /S /REMOVEUNINSTALLER=$4 /WRITTEN=$2 _?=$INSTDIR'
    ${IfNot} ${Errors}
      Return
    ${EndIf}
  ${EndIf}
  Delete $0
  MessageBox MB_OK|MB_ICONSTOP "无法删除 $INSTDIR\uninstall.exe，卸载项仍然保留。请稍后再卸载一次。" /SD IDOK
  SetErrorLevel 2
  Quit
FunctionEnd

; The copy ($EXEPATH), with the uninstaller's process number ($1) and the last write time
; of its file ($2). Opened for itself alone, uninstall.exe cannot change between the check
; and its deletion. Then the copy leaves its own file to a hidden command prompt, which
; deletes it once the copy has ended (the copy ends at once).
Function un.RemoveUninstaller
  ; SYNCHRONIZE | PROCESS_QUERY_INFORMATION
  System::Call 'kernel32::OpenProcess(i 0x100400, i 0, i r1) p.r3'
  ${If} $3 != 0
    ; A process started after this one has only taken over the number of the one that ended.
    System::Call 'kernel32::GetProcessTimes(p r3, *l .r4, *l, *l, *l)'
    System::Call 'kernel32::GetCurrentProcess() p.r5'
    System::Call 'kernel32::GetProcessTimes(p r5, *l .r5, *l, *l, *l)'
    System::Int64Op $4 < $5
    Pop $5
    ${If} $5 = 1
      System::Call 'kernel32::WaitForSingleObject(p r3, i -1)'
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r3)'
  ${EndIf}
  ; A while, for a scanner or an installer that has the file open.
  ${For} $6 1 100
    ; GENERIC_READ | DELETE, shared with no one, OPEN_EXISTING
    System::Call 'kernel32::CreateFileW(w "$INSTDIR\uninstall.exe", i 0x80010000, i 0, p 0, i 3, i 0, p 0) p.r3'
    ${If} $3 != -1
      StrCpy $5 0
      System::Call 'kernel32::GetFileTime(p r3, p 0, p 0, *l .r4)'
      ${If} $4 == $2
        ; Deleted as the handle closes (Vista and later; XP deletes it by name below).
        System::Call 'kernel32::SetFileInformationByHandle(p r3, i 4, *i 1, i 4) i.r5'
      ${EndIf}
      System::Call 'kernel32::CloseHandle(p r3)'
      ${If} $4 == $2
      ${AndIf} $5 != 1
        Delete "$INSTDIR\uninstall.exe"
      ${EndIf}
      RMDir "$INSTDIR"
      ${Break}
    ${EndIf}
    ${IfNot} ${FileExists} "$INSTDIR\uninstall.exe"
      ${Break}
    ${EndIf}
    Sleep 100
  ${Next}
  ; Two tries, after 1 s and 4 s (ping waits 1 s between its echoes; XP has no timeout).
  ExecShell "" "$SYSDIR\cmd.exe" '/d /c ping -n 2 127.0.0.1 >nul & del /f /q "$EXEPATH" 2>nul & ping -n 4 127.0.0.1 >nul & del /f /q "$EXEPATH" 2>nul' SW_HIDE
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
  ClearErrors
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "无法写入 $INSTDIR\uninstall.exe。" /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
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
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" _?=$INSTDIR'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The space the directory page asks for: one of the two programs, not both. (After the
; section, whose index it names.)
Function .onInit
  Call WaitForClose
  ${If} ${IsNativeAMD64}
    SectionSetSize ${SecProgram} ${X64KB}
  ${Else}
    SectionSetSize ${SecProgram} ${X86KB}
  ${EndIf}
FunctionEnd

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
  Delete "${SHORTCUT}"
  ; The entry goes only with the uninstaller.
  Call un.HandOverUninstaller
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

; Not ticked unless the user ticks it, and never in a silent uninstall. With the settings
; goes what a save cut short leaves: its pending copy, and the temporary file it writes first.
Section /o "un.删除设置 (config.ini)" UnSettings
  Delete "$INSTDIR\config.ini"
  Delete "$INSTDIR\config.ini.saving"
  Delete "$INSTDIR\tlv*.tmp"
SectionEnd

Section "-un.Folder"
  ; Only when nothing of the user's is left in it. Run in place, the uninstaller's copy
  ; removes it after uninstall.exe.
  RMDir "$INSTDIR"
SectionEnd
