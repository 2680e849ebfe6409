; CheckRunning: waits while a Tavik program runs (it holds the mutex
; RUNNING_MUTEX, running_mutex.h), asking to close it; quits with exit 2
; under /S or when the user cancels. For the installer and the uninstaller.
Function CheckRunning
  retry:
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${RUNNING_MUTEX}") p .r0'
    ${If} $0 P<> 0
      System::Call 'kernel32::CloseHandle(p r0)'
      IfSilent 0 +3
        SetErrorLevel 2
        Quit
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "A Tavik program (Tavik V1 Basic, tavik or tavik-psb-demo) is running and has files open that this would change.$\r$\n$\r$\nClose it, then choose Retry." IDRETRY retry
      SetErrorLevel 2
      Quit
    ${EndIf}
FunctionEnd
