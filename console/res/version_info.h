// The program's version record; the version is the project's.
#pragma once

#include <string_view>

#include "tavik_version.h"

namespace tavik::console::version {

inline constexpr std::string_view kFileVersion = TAVIK_VERSION;  // also the product version
inline constexpr int kLanguage = 0x0412;                         // Korean
inline constexpr int kCodePage = 1200;                           // Unicode
inline constexpr std::string_view kCompanyName = "";
inline constexpr std::string_view kFileDescription = "Tavik V1 Basic MFC 응용 프로그램";
inline constexpr std::string_view kFileVersionText = TAVIK_VERSION_TEXT;
inline constexpr std::string_view kInternalName = "Tavik V1 Basic";
inline constexpr std::string_view kLegalTrademarks = "";
inline constexpr std::string_view kProductName = "Tavik V1 Basic 응용 프로그램";
inline constexpr std::string_view kProductVersionText = TAVIK_VERSION_TEXT;

}  // namespace tavik::console::version
