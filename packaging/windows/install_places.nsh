; Where Tavik goes besides its folder: the entry under Apps & features and
; the Start-menu folder. For the installer and the uninstaller.
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavik"
!define MENU "$SMPROGRAMS\Tavik"
