#include "app/shell_transfer.h"

#include <shlobj.h>

#include <cstring>
#include <memory>

namespace zw::app {

namespace {

class ClipboardSession {
 public:
  explicit ClipboardSession(HWND owner) {
    // Another program may hold it for a moment.
    for (int attempt = 0; attempt < 5 && !open_; ++attempt) {
      open_ = ::OpenClipboard(owner) != FALSE;
      if (!open_) ::Sleep(10);
    }
  }
  ClipboardSession(const ClipboardSession&) = delete;
  ClipboardSession& operator=(const ClipboardSession&) = delete;
  ~ClipboardSession() {
    if (open_) ::CloseClipboard();
  }
  bool Open() const { return open_; }

 private:
  bool open_ = false;
};

// OLE, which a drag needs beyond COM, for as long as the owner lives.
class OleSession {
 public:
  OleSession() : result_(::OleInitialize(nullptr)) {}
  OleSession(const OleSession&) = delete;
  OleSession& operator=(const OleSession&) = delete;
  ~OleSession() {
    if (SUCCEEDED(result_)) ::OleUninitialize();
  }
  bool Ready() const { return SUCCEEDED(result_); }

 private:
  HRESULT result_;
};

// Follows the left button and Escape; lives on the stack of the one drag
// that uses it, which holds no reference past its end.
class DropSource final : public IDropSource {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropSource)) {
      *out = static_cast<IDropSource*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }
  HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD keys) override {
    if (escape) return DRAGDROP_S_CANCEL;
    return (keys & MK_LBUTTON) != 0 ? S_OK : DRAGDROP_S_DROP;
  }
  HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

 private:
  ULONG references_ = 1;
};

}  // namespace

bool CopyToClipboard(HWND owner, const std::wstring& text) {
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  OwnedGlobal memory(::GlobalAlloc(GMEM_MOVEABLE, bytes));
  if (!memory) return false;
  void* target = ::GlobalLock(memory.Get());
  if (target == nullptr) return false;
  std::memcpy(target, text.c_str(), bytes);
  ::GlobalUnlock(memory.Get());
  const ClipboardSession clipboard(owner);
  if (!clipboard.Open() || !::EmptyClipboard()) return false;
  if (::SetClipboardData(CF_UNICODETEXT, memory.Get()) == nullptr) return false;
  memory.Release();  // the system's now
  return true;
}

ComPtr<IDataObject> FileDataObject(const std::wstring& path) {
  ITEMIDLIST_ABSOLUTE* item = nullptr;
  if (FAILED(::SHParseDisplayName(path.c_str(), nullptr, &item, 0, nullptr)) || item == nullptr)
    return {};
  const std::unique_ptr<ITEMIDLIST_ABSOLUTE, CoTaskMemFreer> owned(item);
  ComPtr<IShellFolder> folder;
  PCUITEMID_CHILD child = nullptr;
  if (FAILED(::SHBindToParent(item, __uuidof(IShellFolder), folder.PutVoid(), &child)) || !folder)
    return {};
  ComPtr<IDataObject> data;
  if (FAILED(folder->GetUIObjectOf(nullptr, 1, &child, __uuidof(IDataObject), nullptr,
                                   data.PutVoid())))
    return {};
  return data;
}

void DragWithMouse(IDataObject& data, DWORD effects) {
  const OleSession ole;
  if (!ole.Ready()) return;
  DropSource source;
  DWORD effect = DROPEFFECT_NONE;
  // Whatever the target did with the file is its own affair: never a move.
  static_cast<void>(::DoDragDrop(&data, &source, effects, &effect));
}

}  // namespace zw::app
