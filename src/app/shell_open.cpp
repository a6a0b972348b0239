// Opening an entry as the signed-in user. This process runs elevated, and
// whatever it starts itself inherits that token; the desktop's shell runs
// with the user's own, so it is asked to start the entry instead.
#include <windows.h>

#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <memory>

#include "app/main_window.h"
#include "app/win32_owners.h"

namespace zw::app {

namespace {

// The desktop shell's automation object (the shell window behind the
// desktop, then its view's background, then its application), with the
// desktop window's process allowed to come to the front. Nothing when no
// shell runs.
ComPtr<IShellDispatch2> DesktopShell() {
  // From the shell's process only: an in-process server would answer from
  // this elevated one.
  ComPtr<IShellWindows> windows;
  if (FAILED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER,
                                __uuidof(IShellWindows), windows.PutVoid())))
    return {};
  VARIANT desktop;
  ::VariantInit(&desktop);
  desktop.vt = VT_I4;
  desktop.lVal = CSIDL_DESKTOP;
  VARIANT empty;
  ::VariantInit(&empty);
  long window = 0;  // NOLINT(google-runtime-int): the interface's own type
  ComPtr<IDispatch> found;
  if (windows->FindWindowSW(&desktop, &empty, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                            found.Put()) != S_OK ||
      !found)
    return {};
  const auto provider = found.As<IServiceProvider>();
  ComPtr<IShellBrowser> browser;
  if (!provider || FAILED(provider->QueryService(SID_STopLevelBrowser, __uuidof(IShellBrowser),
                                                 browser.PutVoid())))
    return {};
  ComPtr<IShellView> view;
  if (FAILED(browser->QueryActiveShellView(view.Put())) || !view) return {};
  ComPtr<IDispatch> background;
  if (FAILED(view->GetItemObject(SVGIO_BACKGROUND, __uuidof(IDispatch), background.PutVoid())))
    return {};
  const auto folderView = background.As<IShellFolderViewDual>();
  ComPtr<IDispatch> application;
  if (!folderView || FAILED(folderView->get_Application(application.Put()))) return {};
  auto shell = application.As<IShellDispatch2>();
  DWORD process = 0;
  if (shell && ::GetWindowThreadProcessId(HWND(LongToHandle(window)), &process) != 0)
    ::AllowSetForegroundWindow(process);
  return shell;
}

}  // namespace

ShellResult OpenWithShell(view::OpenAction action, const std::wstring& path) {
  // Gone since it was indexed (the journal has not told yet): said as a
  // failure, not left to whatever the shell would show.
  if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return ShellResult::kFailed;
  }
  // Without the user's shell, whatever opened the entry would run elevated:
  // the folder window too, where the next double click would start anything.
  const ComPtr<IShellDispatch2> shell = DesktopShell();
  if (!shell) return ShellResult::kNoUserShell;
  if (action == view::OpenAction::kShowInFolder) {
    ITEMIDLIST_ABSOLUTE* item = nullptr;
    if (FAILED(::SHParseDisplayName(path.c_str(), nullptr, &item, 0, nullptr)) || item == nullptr)
      return ShellResult::kFailed;
    const std::unique_ptr<ITEMIDLIST_ABSOLUTE, CoTaskMemFreer> owned(item);
    return SUCCEEDED(::SHOpenFolderAndSelectItems(item, 0, nullptr, 0)) ? ShellResult::kDone
                                                                        : ShellResult::kFailed;
  }
  const OwnedBstr file(path);
  const OwnedBstr verb(L"open");
  if (file.Get() == nullptr || verb.Get() == nullptr) return ShellResult::kFailed;
  VARIANT none;
  ::VariantInit(&none);
  VARIANT operation;
  ::VariantInit(&operation);
  operation.vt = VT_BSTR;
  operation.bstrVal = verb.Get();
  VARIANT show;
  ::VariantInit(&show);
  show.vt = VT_I4;
  show.lVal = SW_SHOWNORMAL;
  return SUCCEEDED(shell->ShellExecute(file.Get(), none, none, operation, show))
             ? ShellResult::kDone
             : ShellResult::kFailed;
}

}  // namespace zw::app
