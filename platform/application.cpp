// The message loop over the main thread's queue.
#include "platform/application.h"

#include "platform/messages.h"

namespace xkit {

TApplication Application;

bool TApplication::ProcessMessage() {
  TMsg message;
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return false;
  if (message.message == WM_QUIT) {
    terminated_ = true;
  } else {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return true;
}

void TApplication::ProcessMessages() {
  while (ProcessMessage()) {
  }
}

void TApplication::HandleMessage() {
  if (!ProcessMessage()) WaitMessage();
}

void TApplication::Run() {
  terminated_ = false;
  while (!terminated_)
    HandleMessage();
}

void TApplication::Terminate() {
  PostQuitMessage(0);
}

}  // namespace xkit
