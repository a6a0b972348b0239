#include "app/message_loop.h"

namespace zw::app {

void DispatchWithAccelerators(MSG& message, HACCEL accelerators) {
  if (accelerators != nullptr && ::TranslateAcceleratorW(message.hwnd, accelerators, &message))
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
