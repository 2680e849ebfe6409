// Resource IDs of the console program: dialog templates, strings, the icon
// and the menu commands of the About and Trends entries.
#pragma once

namespace tavik::console {

inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDD_TAVIK_DIALOG = 102;
inline constexpr int IDR_MAINFRAME = 128;
// Command of the About entry; the low four bits are the window system's own.
inline constexpr int IDM_ABOUTBOX = 0x0010;
// Command of the Trends entry (system and context menu).
inline constexpr int IDM_TRENDS = 0x0020;

}  // namespace tavik::console
