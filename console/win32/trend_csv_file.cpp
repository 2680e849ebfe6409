#include "console/win32/trend_csv_file.h"

#include <commdlg.h>
#include <shlobj.h>

#include <chrono>

#include "console/core/trend_csv.h"
#include "console/win32/utf16_text.h"

namespace tavik::console {
namespace {

std::string system_text(DWORD error) {
  wchar_t buffer[256] = {};
  const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                   0, buffer, 256, nullptr);
  std::string text = narrow(std::wstring_view(buffer, n));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) text.pop_back();
  return text.empty() ? "error " + std::to_string(error) : text;
}

}  // namespace

std::string save_trends_csv(const TrendSnapshot& snapshot, const std::wstring& path) {
  const std::string csv = trends_csv(snapshot);
  const HANDLE file =
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  const std::string failed = "The trends could not be saved to " + narrow(path) + ": ";
  if (file == INVALID_HANDLE_VALUE) return failed + system_text(::GetLastError());
  DWORD written = 0;
  DWORD error =
      ::WriteFile(file, csv.data(), static_cast<DWORD>(csv.size()), &written, nullptr) ? 0 : ::GetLastError();
  if (!::CloseHandle(file) && error == 0) error = ::GetLastError();
  if (error == 0 && written != csv.size()) error = ERROR_HANDLE_DISK_FULL;
  if (error == 0) return {};
  ::DeleteFileW(path.c_str());  // not half a file
  return failed + system_text(error);
}

void save_trends_csv_as(HWND owner, const TrendSnapshot& snapshot) {
  wchar_t path[MAX_PATH] = {};
  const std::wstring name = widen(trends_csv_file_name(std::chrono::system_clock::now()));
  name.copy(path, MAX_PATH - 1);
  wchar_t documents[MAX_PATH] = {};
  OPENFILENAMEW dialog{};
  if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents))) {
    dialog.lpstrInitialDir = documents;
  }
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = L"CSV files (*.csv)\0*.csv\0All files (*.*)\0*.*\0";
  dialog.lpstrFile = path;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrDefExt = L"csv";
  dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  std::string why;
  if (::GetSaveFileNameW(&dialog)) {
    why = save_trends_csv(snapshot, path);
  } else if (const DWORD error = ::CommDlgExtendedError(); error != 0) {
    why = "The file dialog failed (error " + std::to_string(error) + ").";
  }
  if (!why.empty()) ::MessageBoxW(owner, widen(why).c_str(), L"Trends", MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace tavik::console
