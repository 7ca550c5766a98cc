; The Windows installer of fpdriver: both architectures, each in a folder of its own.
;
;   makensis -DVERSION=1.14 -DSTAGE=<folder> -DOUTFILE=<setup.exe> fpdriver.nsi
;
; STAGE holds the two release folders, fpdriver-VERSION-win-x64 and -win-x86, as the
; archives hold them; the installer puts them into $INSTDIR\x64 and $INSTDIR\x86 (x64 only
; on 64-bit Windows), each with its programs (fpctl.exe, fpemu.exe, the print service fpd.exe
; and its example configuration fpd.example.json). "fpctl on PATH" adds the folder of the system's own architecture to
; the system PATH.
;
; Silent:     fpdriver-VERSION-setup.exe /S [/PATH] [/D=C:\folder]   (/D last, unquoted)
; Uninstall:  <folder>\uninstall.exe [/S] removes the folder with everything in it (logs
;             that programs run from it wrote there too), the PATH entry and its registry key.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all

!ifndef VERSION | STAGE | OUTFILE
  !error "define VERSION, STAGE and OUTFILE"
!endif

!include "LogicLib.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"
!include "Sections.nsh"
!include "WinMessages.nsh"
!include "StrFunc.nsh"
${StrStr}
${UnStrRep}

!define NAME "fpdriver"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${NAME}"
!define ENVIRONMENT_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"

Name "${NAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${NAME}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "x64 (64-bit hosts)" SecX64
  SetOutPath "$INSTDIR\x64"
  File /r "${STAGE}\${NAME}-${VERSION}-win-x64\*"
SectionEnd

Section "x86 (32-bit hosts)" SecX86
  SetOutPath "$INSTDIR\x86"
  File /r "${STAGE}\${NAME}-${VERSION}-win-x86\*"
SectionEnd

Section /o "fpctl on PATH" SecPath
  ${If} ${RunningX64}
    StrCpy $0 "$INSTDIR\x64"
  ${Else}
    StrCpy $0 "$INSTDIR\x86"
  ${EndIf}
  ReadRegStr $1 HKLM "${ENVIRONMENT_KEY}" "Path"
  ${StrStr} $2 ";$1;" ";$0;"
  ${If} $2 != ""
    ; Already there (an earlier install into the same folder).
  ${ElseIf} $1 == ""
    WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$0"
  ${Else}
    WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$1;$0"
  ${EndIf}
  ; The uninstaller takes out exactly this entry.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "PathEntry" "$0"
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=500
SectionEnd

Section "-uninstaller"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${NAME} ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function .onInit
  ${If} ${RunningX64}
    SetRegView 64
    StrCpy $INSTDIR "$PROGRAMFILES64\${NAME}"
  ${Else}
    ; A 32-bit Windows runs no 64-bit host.
    !insertmacro UnselectSection ${SecX64}
    !insertmacro SetSectionFlag ${SecX64} ${SF_RO}
  ${EndIf}
  ; /PATH on the command line chooses "fpctl on PATH" (for silent installs).
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/PATH" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecPath}
  ${EndIf}
FunctionEnd

Function un.onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "PathEntry"
  ${If} $0 != ""
    ReadRegStr $1 HKLM "${ENVIRONMENT_KEY}" "Path"
    ; Between separators wherever it stands, then the outer separators off again.
    ${UnStrRep} $1 ";$1;" ";$0;" ";"
    StrCpy $1 $1 "" 1
    StrCpy $1 $1 -1
    WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$1"
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=500
  ${EndIf}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  SetOutPath "$TEMP"
  RMDir /r "$INSTDIR"
SectionEnd
