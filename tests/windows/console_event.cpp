// Runs a program in a console of its own and sends it a console control
// event after a while, as a person pressing Ctrl-C or Ctrl-Break does:
//
//   console_event MS c|break PROGRAM [ARGUMENTS...]
//
// The program's standard streams are this program's (files, under Wine).
// Exits with the program's exit status, or 124 when it has not ended 10 s
// after the event.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

BOOL WINAPI keep_running(DWORD) { return TRUE; }  // the event is for the program

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: console_event MS c|break PROGRAM [ARGUMENTS...]\n");
    return 2;
  }
  const DWORD delay = static_cast<DWORD>(std::atoi(argv[1]));
  const bool ctrl_c = std::strcmp(argv[2], "c") == 0;
  std::string command;
  for (int i = 3; i < argc; ++i) command += std::string(i > 3 ? " " : "") + "\"" + argv[i] + "\"";

  const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
  ::FreeConsole();
  if (!::AllocConsole()) {
    std::fprintf(stderr, "console_event: no console (error %lu)\n", ::GetLastError());
    return 2;
  }
  ::SetConsoleCtrlHandler(keep_running, TRUE);
  STARTUPINFOA start = {};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = in;
  start.hStdOutput = out;
  start.hStdError = err;
  for (HANDLE h : {in, out, err}) ::SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                        &process)) {
    std::fprintf(stderr, "console_event: cannot start %s (error %lu)\n", argv[3], ::GetLastError());
    return 2;
  }
  if (::WaitForSingleObject(process.hProcess, delay) == WAIT_TIMEOUT) {
    // To every process of the console: this one lets it pass.
    ::GenerateConsoleCtrlEvent(ctrl_c ? CTRL_C_EVENT : CTRL_BREAK_EVENT, 0);
  }
  DWORD status = 124;
  if (::WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0) {
    ::GetExitCodeProcess(process.hProcess, &status);
  } else {
    ::TerminateProcess(process.hProcess, 124);
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return static_cast<int>(status);
}
