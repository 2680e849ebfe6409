// Resource IDs of the console program: dialog templates, strings, the icon
// and the system-menu command of the About entry.
#pragma once

namespace tavik::console {

inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDD_TAVIK_DIALOG = 102;
inline constexpr int IDR_MAINFRAME = 128;
// Command of the About entry; the low four bits are the window system's own.
inline constexpr int IDM_ABOUTBOX = 0x0010;

}  // namespace tavik::console
