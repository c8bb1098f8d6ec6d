; The Tolvane installer: one file for x86 and x64 Windows, per user, without
; administrator rights. make_setup.sh builds it:
;   makensis -INPUTCHARSET UTF8 -DVERSION=<x.y.z> -DX86EXE=<exe> -DX64EXE=<exe>
;            -DX86KB=<KiB> -DX64KB=<KiB> -DLICENSEFILE=<text> -DNOTICESFILE=<text> -DCOPYRIGHT=<line>
;            -DOUTFILE=<setup.exe> tolvane.nsi
; The program keeps config.ini beside itself, so it goes where its user may write:
; %LOCALAPPDATA%\Programs\Tolvane. Installing again over it and uninstalling keep
; config.ini; the uninstaller's one option removes it.

Unicode true
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma
SetDateSave off

!include MUI2.nsh
!include x64.nsh
!include FileFunc.nsh

!define PRODUCT "Tolvane"
!define DISPLAY_NAME "Tolvane 定时关机"
!define PUBLISHER "The Tolvane authors"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tolvane"
!define SHORTCUT "$SMPROGRAMS\${DISPLAY_NAME}.lnk"

Name "${DISPLAY_NAME}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

!define MUI_ICON "..\..\src\resources\tolvane.ico"
!define MUI_UNICON "..\..\src\resources\tolvane.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\Tolvane.exe"
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_LICENSE "${LICENSEFILE}"
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

; The space the directory page asks for: one of the two programs, not both.
Function .onInit
  ${If} ${RunningX64}
    SectionSetSize ${SecProgram} ${X64KB}
  ${Else}
    SectionSetSize ${SecProgram} ${X86KB}
  ${EndIf}
FunctionEnd

Section "Tolvane" SecProgram
  SetOutPath "$INSTDIR"
  ; The 64-bit program on 64-bit Windows, the 32-bit one elsewhere.
  ${If} ${RunningX64}
    File "/oname=Tolvane.exe" "${X64EXE}"
  ${Else}
    File "/oname=Tolvane.exe" "${X86EXE}"
  ${EndIf}
  File "/oname=THIRD-PARTY-NOTICES.txt" "${NOTICESFILE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\Tolvane.exe"

  ${GetSize} "$INSTDIR" "/M=*.exe /S=0K /G=0" $0 $1 $2
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${DISPLAY_NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Tolvane.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "un.${PRODUCT}" UnProgram
  SectionIn RO
  Delete "$INSTDIR\Tolvane.exe"
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
SectionEnd
