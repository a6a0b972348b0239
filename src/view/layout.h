// Where the main window's controls go for a client size and a DPI. Pixel
// sizes are given at 96 DPI and scaled as MulDiv(size, dpi, 96) does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/columns.h"

namespace zw::view {

// MulDiv(value, dpi, 96): rounded to the nearest pixel, halves away from zero.
int ScaleForDpi(int value, uint32_t dpi);

struct Box {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Box&) const = default;
};

struct MainLayout {
  Box searchEdit;
  Box typeCombo;
  std::vector<Box> driveChecks;
  Box driveButton;  // meaningful only when asked for
  Box resultList;
};

// `statusBarHeight` is the status bar's own height once it has sized itself;
// `driveButtonWidth` is 0 when there is no drive button.
MainLayout ComputeMainLayout(int clientWidth, int clientHeight, uint32_t dpi, int statusBarHeight,
                             size_t driveCheckCount, int driveButtonWidth);

// The drive button is 100 pixels wide at 96 DPI, or as wide as its text
// needs (measured in pixels at the window's DPI) with room on both sides.
int DriveButtonWidth(int textWidth, uint32_t dpi);

// The result list's column widths at 96 DPI: name, folder, size, date.
inline constexpr int kColumnWidths[kColumnCount] = {250, 400, 100, 150};

}  // namespace zw::view
