; The Windows installer (NSIS 3, 64-bit): the folder that `cmake --install`
; makes of the windows preset, Start-menu entries for the console and for a
; command prompt with tavik on its PATH, an uninstaller, and the entry under
; Apps & features. Built by scripts/package-windows:
;
;   makensis -DVERSION=1.0.0.1 -DSTAGE=dir -DFILES=list.nsh -DOUTFILE=setup.exe tavik-windows.nsi
;
; FILES holds the uninstaller's Delete and RMDir lines for everything in
; STAGE, so that it removes what it installed and nothing else.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"

!ifndef VERSION | STAGE | FILES | OUTFILE
  !error "define VERSION, STAGE, FILES and OUTFILE"
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavik"
!define MENU "$SMPROGRAMS\Tavik"

Name "Tavik ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Tavik"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"

; The installer's version record: the libraries' version.
VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "Tavik"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "Tavik ${VERSION} setup: lib_zarn_rs232, lib_velk_rs232_psb, Tavik V1 Basic"
VIAddVersionKey /LANG=1033 "LegalCopyright" "2026 the Tavik project"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Tavik"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "${MENU}"
  CreateShortCut "${MENU}\Tavik V1 Basic.lnk" "$INSTDIR\tavik-v1-basic.exe"
  ; A command prompt in the user's folder, where tavik can write its files.
  CreateShortCut "${MENU}\Tavik command prompt.lnk" "$SYSDIR\cmd.exe" \
    '/k cd /d "%USERPROFILE%" && set "PATH=$INSTDIR;%PATH%"' "$SYSDIR\cmd.exe" 0
  CreateShortCut "${MENU}\Uninstall Tavik.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Tavik ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "the Tavik project"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tavik-v1-basic.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "${MENU}\Tavik V1 Basic.lnk"
  Delete "${MENU}\Tavik command prompt.lnk"
  Delete "${MENU}\Uninstall Tavik.lnk"
  RMDir "${MENU}"
  !include "${FILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
