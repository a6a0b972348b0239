// Handing an entry to other programs: its path as text on the clipboard,
// and the entry itself, as a file, to a drag and drop.
#pragma once

#include <windows.h>

#include <objidl.h>

#include <string>

#include "app/win32_owners.h"

namespace zw::app {

// Replaces the clipboard's contents with `text` as Unicode text; false when
// the clipboard could not be had or written.
bool CopyToClipboard(HWND owner, const std::wstring& text);

// The shell's data object for the file or folder at `path`, which offers it
// as a file (CF_HDROP) among its formats; nothing when the path does not
// name one (anymore).
ComPtr<IDataObject> FileDataObject(const std::wstring& path);

// Drags `data` with the mouse until it is dropped or cancelled; a drop
// target may only choose among `effects`.
void DragWithMouse(IDataObject& data, DWORD effects);

}  // namespace zw::app
