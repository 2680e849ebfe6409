; uninstall.exe, built by packaging/tavik-windows.nsi with its defines and
; put into the folder it installs. An NSIS uninstaller copies itself away
; and returns at once; this is a program of the installer's kind, which
; runs where it is, so that whoever starts it (Apps & features, a script's
; `uninstall.exe /S`, the installer's upgrade) can wait for it: when it
; returns, the files, the Start-menu entries and the uninstall entry are
; gone. Last it moves itself out of the folder (Windows lets a running
; program be renamed, not deleted), to be deleted at the next restart, and
; removes the folder; where the move is refused (Wine refuses it; $TEMP on
; another drive), it and the folder go at the next restart.
;
; Exit codes: 0 done, 1 cancelled, 2 a Tavik program runs.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true
!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

Name "Tavik ${VERSION}"
Caption "Remove Tavik ${VERSION}"
BrandingText "Tavik ${VERSION}"
OutFile "${OUTFILE}"
ShowInstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "Tavik"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "Removes Tavik ${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${COMPANY}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${COPYRIGHT}"

!define MUI_ICON "${ICON}"
!define MUI_INSTFILESPAGE_FINISHHEADER_TEXT "Tavik is removed"
!define MUI_INSTFILESPAGE_FINISHHEADER_SUBTEXT "Tavik ${VERSION} and its Start-menu entries are gone."
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

!include "install_places.nsh"
!include "running_check.nsh"

Function .onInit
  SetRegView 64
  StrCpy $INSTDIR $EXEDIR
  Call CheckRunning
  IfSilent +4
    MessageBox MB_YESNO|MB_ICONQUESTION "Remove Tavik ${VERSION} from $INSTDIR?" IDYES +3
    SetErrorLevel 1
    Quit
FunctionEnd

Section "Remove"
  SetShellVarContext all
  ; Out of the folder, so that it can go.
  SetOutPath "$TEMP"
  Delete "${MENU}\Tavik V1 Basic.lnk"
  Delete "${MENU}\Tavik command prompt.lnk"
  Delete "${MENU}\Uninstall Tavik.lnk"
  RMDir "${MENU}"
  !include "${FILES}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; Run in place by the installer's upgrade (_?=, as for an NSIS
  ; uninstaller), it leaves itself and the folder to the installer.
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "_?=" $2
  ${If} ${Errors}
    System::Call 'kernel32::GetCurrentProcessId() i .r0'
    ClearErrors
    Rename "$EXEPATH" "$TEMP\tavik-uninstall-$0.exe"
    ${If} ${Errors}  ; refused (Wine does, or $TEMP is on another drive): both go at the next restart
      Delete /REBOOTOK "$EXEPATH"
      RMDir /REBOOTOK "$INSTDIR"
    ${Else}
      Delete /REBOOTOK "$TEMP\tavik-uninstall-$0.exe"
      RMDir "$INSTDIR"
      ${If} ${FileExists} "$INSTDIR\*.*"
        DetailPrint "$INSTDIR is left: it holds files that Tavik did not install"
      ${EndIf}
    ${EndIf}
  ${EndIf}
SectionEnd
