#include "app/message_loop.h"

namespace zw::app {

void DispatchWithAccelerators(MSG& message, HACCEL accelerators) {
  // The command goes to the top-level window that had the keystroke: the
  // search box's own window procedure knows no menu command.
  HWND target = message.hwnd != nullptr ? ::GetAncestor(message.hwnd, GA_ROOT) : nullptr;
  if (accelerators != nullptr && target != nullptr &&
      ::TranslateAcceleratorW(target, accelerators, &message))
    return;
  ::TranslateMessage(&message);
  ::DispatchMessageW(&message);
}

int RunMessageLoop(HACCEL accelerators) {
  MSG message{};
  while (::GetMessageW(&message, nullptr, 0, 0) > 0)
    DispatchWithAccelerators(message, accelerators);
  return int(message.wParam);
}

}  // namespace zw::app
