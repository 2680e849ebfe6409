// The Trends window's CSV on Windows: the file the user picks and the
// snapshot written to it (trends_csv).
#pragma once

#include <windows.h>

#include <string>

#include "console/core/trend_history.h"

namespace tavik::console {

// Writes the CSV of `snapshot` to `path`; returns why it failed, or an empty
// text. A failed write leaves no file.
std::string save_trends_csv(const TrendSnapshot& snapshot, const std::wstring& path);

// Asks the user where to save (the Documents folder, a dated name) and saves
// there; a failure is shown in a message box owned by `owner`.
void save_trends_csv_as(HWND owner, const TrendSnapshot& snapshot);

}  // namespace tavik::console
