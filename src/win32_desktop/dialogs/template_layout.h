#pragma once
// The dialog templates hold pixels at 96 dpi (see dialogs.rc): read them
// back and place the window and its controls for a monitor's DPI.

#include <windows.h>

#include <vector>

namespace pellandor {

struct TemplateItem {
    int id = 0;
    RECT rect{};  // pixels at 96 dpi
};

struct TemplateLayout {
    SIZE client{};  // pixels at 96 dpi
    std::vector<TemplateItem> items;
};

// Parses the DIALOGEX resource `id` of `instance`; empty when it cannot.
TemplateLayout readTemplateLayout(HINSTANCE instance, int id);

// Sizes the window's client area and places every control by id for `dpi`.
// Combo boxes keep their template height as their list's.
void applyTemplateLayout(HWND dialog, const TemplateLayout& layout, UINT dpi);

}  // namespace pellandor
