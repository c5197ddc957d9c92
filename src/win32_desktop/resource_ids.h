#pragma once
// Resource numbers of pellandor-desktop.exe, shared by the .rc and the code.

#define PELLANDOR_ICON_ID 162

#ifndef RC_INVOKED
namespace pellandor {
inline constexpr int kIconId = PELLANDOR_ICON_ID;
inline constexpr const wchar_t* kProductWindowTitle = L"Ulvex Pellandor";
}  // namespace pellandor
#endif
