; The Windows installer (NSIS 3, 64-bit): the folder that `cmake --install`
; makes of the windows preset, Start-menu entries for the console and for a
; command prompt with tavik on its PATH, an uninstaller that can be waited
; for (windows/tavik-uninstall.nsi), and the entry under Apps & features.
; Built by scripts/package-windows:
;
;   makensis -DVERSION=1.0.0.1 -DSTAGE=dir -DFILES=list.nsh -DOUTFILE=setup.exe \
;            -DRUNNING_MUTEX=Tavik.Running -DICON=tavik.ico \
;            -DCOMPANY="the Tavik project" -DCOPYRIGHT="2026 the Tavik project" tavik-windows.nsi
;
; COMPANY and COPYRIGHT are the programs' (cmake/tavik_version.cmake).
;
; FILES holds the uninstaller's Delete and RMDir lines for everything in
; STAGE, so that it removes what it installed and nothing else. Neither
; the installer nor the uninstaller goes on while a Tavik program runs (it
; holds the mutex RUNNING_MUTEX, packaging/windows/running_mutex.h): they ask
; to close it, and under /S fail (exit 2) with nothing changed. An install
; over an older version runs its uninstaller first; over a newer one it asks,
; and under /S fails (exit 3).
;
; Exit codes: 0 done, 1 cancelled, 2 a Tavik program runs, 3 a newer version
; is installed.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

ManifestDPIAware true
!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WordFunc.nsh"

!ifndef VERSION | STAGE | FILES | OUTFILE | RUNNING_MUTEX | ICON | COMPANY | COPYRIGHT
  !error "define VERSION, STAGE, FILES, OUTFILE, RUNNING_MUTEX, ICON, COMPANY and COPYRIGHT"
!endif

!include "windows/install_places.nsh"

Name "Tavik ${VERSION}"
BrandingText "Tavik ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Tavik"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"

; The installer's version record: the libraries' version.
VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "Tavik"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "Tavik ${VERSION} setup: lib_zarn_rs232, lib_velk_rs232_psb, Tavik V1 Basic"
VIAddVersionKey /LANG=1033 "CompanyName" "${COMPANY}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${COPYRIGHT}"

!define MUI_ICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "This installs Tavik ${VERSION}: the operator console Tavik V1 Basic, the bench tool tavik and the libraries lib_zarn_rs232 and lib_velk_rs232_psb.$\r$\n$\r$\nClose every Tavik program before you go on."
!define MUI_FINISHPAGE_RUN "$INSTDIR\tavik-v1-basic.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Run Tavik V1 Basic"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_LANGUAGE "English"

!include "windows/running_check.nsh"

; uninstall.exe (windows/tavik-uninstall.nsi), built here with the same
; defines and installed among the files.
!tempfile UNINSTALLER
!makensis '-V1 "-DVERSION=${VERSION}" "-DFILES=${FILES}" "-DOUTFILE=${UNINSTALLER}" \
  "-DRUNNING_MUTEX=${RUNNING_MUTEX}" "-DICON=${ICON}" "-DCOMPANY=${COMPANY}" "-DCOPYRIGHT=${COPYRIGHT}" \
  "windows/tavik-uninstall.nsi"' = 0

Var OldVersion
Var OldDir

Function .onInit
  SetRegView 64
  Call CheckRunning
  ReadRegStr $OldVersion HKLM "${UNINSTALL_KEY}" "DisplayVersion"
  ReadRegStr $OldDir HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $OldVersion != ""
    ${VersionCompare} $OldVersion "${VERSION}" $1
    ${If} $1 == 1  ; the installed one is newer
      IfSilent 0 +3
        SetErrorLevel 3
        Quit
      MessageBox MB_YESNO|MB_ICONQUESTION "Tavik $OldVersion is installed, newer than this ${VERSION}.$\r$\n$\r$\nReplace it with ${VERSION}?" IDYES +3
      SetErrorLevel 1
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Tavik"
  SetShellVarContext all
  ; The installed version goes first, with its own uninstaller, waiting
  ; for it (_?= runs it in place); then its uninstaller itself.
  ${If} $OldDir != ""
  ${AndIf} ${FileExists} "$OldDir\uninstall.exe"
    DetailPrint "Removing Tavik $OldVersion from $OldDir"
    ExecWait '"$OldDir\uninstall.exe" /S _?=$OldDir' $0
    ${If} $0 != 0
      DetailPrint "The uninstaller of Tavik $OldVersion failed (exit $0)"
      SetErrorLevel 2
      Abort "Tavik $OldVersion could not be removed (exit $0)."
    ${EndIf}
    Delete "$OldDir\uninstall.exe"
    RMDir "$OldDir"
  ${EndIf}
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*"
  File "/oname=uninstall.exe" "${UNINSTALLER}"

  CreateDirectory "${MENU}"
  CreateShortCut "${MENU}\Tavik V1 Basic.lnk" "$INSTDIR\tavik-v1-basic.exe"
  ; A command prompt in the user's folder, where tavik can write its files.
  CreateShortCut "${MENU}\Tavik command prompt.lnk" "$SYSDIR\cmd.exe" \
    '/k cd /d "%USERPROFILE%" && set "PATH=$INSTDIR;%PATH%"' "$SYSDIR\cmd.exe" 0
  CreateShortCut "${MENU}\Uninstall Tavik.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Tavik ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tavik-v1-basic.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "HelpLink" "$INSTDIR\README.txt"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "$INSTDIR\README.txt"
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

!delfile "${UNINSTALLER}"
