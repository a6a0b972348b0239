#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include "app/main_window.h"
#include "app/wide_text.h"
#include "engine/file_index.h"
#include "settings/settings.h"

namespace zw::app {

int MainWindow::ShellIconIndex(const std::wstring& pseudoName, DWORD attributes) {
  // The shell answers from the name and attribute alone; no file is looked at.
  SHFILEINFOW info{};
  ::SHGetFileInfoW(pseudoName.c_str(), attributes, &info, sizeof info,
                   SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
  return info.iIcon;
}

void MainWindow::InitIcons() {
  SHFILEINFOW info{};
  const auto list = reinterpret_cast<HIMAGELIST>(
      ::SHGetFileInfoW(L"C:\\", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
  if (list != nullptr) ::SendMessageW(resultList, LVM_SETIMAGELIST, LVSIL_SMALL, LPARAM(list));
  folderIcon = ShellIconIndex(L"folder", FILE_ATTRIBUTE_DIRECTORY);
  fileIcon = ShellIconIndex(L"file", FILE_ATTRIBUTE_NORMAL);
  fastIcons = ReadFlag(kFastIcons, kDefaultFastIcons);
  if (fastIcons) {
    for (int k = 0; k < view::kIconClassCount; ++k)
      classIcons[size_t(k)] =
          ShellIconIndex(ToWide(view::IconClassSampleName(static_cast<view::IconClass>(k))),
                         FILE_ATTRIBUTE_NORMAL);
  } else {
    for (std::u16string_view extension : view::kPrefetchedIconExtensions)
      extensionIcons[std::u16string(extension)] =
          ShellIconIndex(L"*." + ToWide(extension), FILE_ATTRIBUTE_NORMAL);
  }
}

std::optional<int> MainWindow::IconOfChoice() {
  switch (iconChoice.kind) {
    case view::IconChoice::Kind::Folder:
      return folderIcon;
    case view::IconChoice::Kind::Class:
      return classIcons[size_t(iconChoice.iconClass)];
    case view::IconChoice::Kind::Extension: {
      const auto it = extensionIcons.find(iconChoice.extension);
      if (it != extensionIcons.end()) return it->second;
      // Asked once per extension for the life of the window.
      const int icon = ShellIconIndex(L"*." + ToWide(iconChoice.extension), FILE_ATTRIBUTE_NORMAL);
      extensionIcons.emplace(iconChoice.extension, icon);
      return icon;
    }
    case view::IconChoice::Kind::File:
    default:
      return fileIcon;
  }
}

}  // namespace zw::app
