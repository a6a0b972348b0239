#include "view/layout.h"

namespace zw::view {

int ScaleForDpi(int value, uint32_t dpi) {
  const int64_t product = int64_t(value) * int64_t(dpi);
  const int64_t half = product >= 0 ? 48 : -48;
  return int((product + half) / 96);
}

MainLayout ComputeMainLayout(int clientWidth, int clientHeight, uint32_t dpi, int statusBarHeight,
                             size_t driveCheckCount, int driveButtonWidth) {
  const int m = ScaleForDpi(10, dpi);
  const int h = ScaleForDpi(36, dpi);
  const int c = ScaleForDpi(200, dpi);
  const int g = ScaleForDpi(4, dpi);
  const int k = ScaleForDpi(20, dpi);
  const int b = ScaleForDpi(50, dpi);

  MainLayout out;
  out.searchEdit = {m, m, clientWidth - 3 * m - c, h};
  out.typeCombo = {clientWidth - c - m, m, c, h};
  const int rowY = m + h + g;
  int x = m;
  for (size_t i = 0; i < driveCheckCount; ++i) {
    out.driveChecks.push_back({x, rowY, b, k});
    x += b + g;
  }
  if (driveButtonWidth > 0) out.driveButton = {x, rowY, driveButtonWidth, k};
  const bool secondRow = driveCheckCount > 0 || driveButtonWidth > 0;
  const int listTop = secondRow ? rowY + k + g : h + 2 * m;
  const int statusTop = clientHeight - statusBarHeight;
  out.resultList = {m, listTop, clientWidth - 2 * m, statusTop - listTop - m};
  return out;
}

int DriveButtonWidth(int textWidth, uint32_t dpi) {
  const int wanted = textWidth + 2 * ScaleForDpi(8, dpi);
  const int least = ScaleForDpi(100, dpi);
  return wanted > least ? wanted : least;
}

}  // namespace zw::view
