// Standard output and error on Windows: a write to a pipe runs on a thread
// of its own and is cancelled at the bound.
#include <windows.h>

#include <string>

#include "bounded_output.h"

namespace tavik::cli {
namespace {

HANDLE stream_handle(Stream stream) {
  return ::GetStdHandle(stream == Stream::kOut ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool pipe_gone(DWORD error) { return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA; }

struct WriteJob {
  HANDLE handle;
  std::string text;
  DWORD error = 0;
  bool whole = false;
};

DWORD WINAPI write_all(void* argument) {
  auto* job = static_cast<WriteJob*>(argument);
  std::size_t sent = 0;
  while (sent < job->text.size()) {
    DWORD n = 0;
    if (!::WriteFile(job->handle, job->text.data() + sent, static_cast<DWORD>(job->text.size() - sent), &n,
                     nullptr)) {
      job->error = ::GetLastError();
      return 0;
    }
    sent += n;
  }
  job->whole = true;
  return 0;
}

std::string system_text(DWORD error) {
  char buffer[256] = {};
  const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                   0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, n);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) text.pop_back();
  return text.empty() ? "error " + std::to_string(error) : text;
}

}  // namespace

WriteResult write_bounded(Stream stream, const std::string& text, std::chrono::milliseconds bound) {
  const HANDLE handle = stream_handle(stream);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return {Written::kClosed, ""};
  if (text.empty()) return {Written::kWhole, ""};
  WriteJob job{handle, text};
  if (::GetFileType(handle) != FILE_TYPE_PIPE) {
    write_all(&job);
  } else {
    // A pipe's reader may stop reading: the write runs on a thread of its
    // own and is cancelled at the bound.
    const HANDLE writer = ::CreateThread(nullptr, 0, write_all, &job, 0, nullptr);
    if (writer == nullptr) return {Written::kTimedOut, ""};
    if (::WaitForSingleObject(writer, static_cast<DWORD>(bound.count())) == WAIT_TIMEOUT) {
      ::CancelSynchronousIo(writer);
      // The write uses job: it must have ended before this returns.
      ::WaitForSingleObject(writer, INFINITE);
    }
    ::CloseHandle(writer);
  }
  if (job.whole) return {Written::kWhole, ""};
  if (pipe_gone(job.error)) return {Written::kClosed, ""};
  // A write cancelled at the bound, or one that the system refused.
  if (job.error == 0 || job.error == ERROR_OPERATION_ABORTED) return {Written::kTimedOut, ""};
  return {Written::kFailed, system_text(job.error)};
}

bool output_hung_up() {
  // The write end of a pipe cannot be asked without writing: a reader that
  // went away shows at the next write.
  return false;
}

bool is_terminal(Stream stream) {
  const HANDLE handle = stream_handle(stream);
  DWORD mode = 0;
  if (!::GetConsoleMode(handle, &mode)) return false;
  // The in-place table uses the terminal's control sequences.
  return ::SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

}  // namespace tavik::cli
