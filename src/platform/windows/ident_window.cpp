// The ident server's window: found once by its class, told of each new IRC connection with a
// window message that carries two global atoms.
#include "platform/ident_window.h"

#include <windows.h>

#include <string>

namespace platform {
namespace {

constexpr char kIdentWindowClass[] = "TfrmZelkIdentD";
constexpr UINT kIdentMessage = WM_USER + 101;  // 0x465
// The ident server handles the message at once; one that hangs must not freeze the door.
constexpr UINT kIdentReplyMs = 5000;

}  // namespace

int FindIdentWindow() {
  const HWND window = FindWindowA(kIdentWindowClass, nullptr);
  // Window handles keep their meaning in 32 bits, which is how 32- and 64-bit programs share them.
  return static_cast<int>(reinterpret_cast<intptr_t>(window));
}

void NotifyIdentWindow(int window, std::string_view user_id, std::string_view system_name) {
  if (window == 0) return;
  const std::string user(user_id), system(system_name);
  const ATOM user_atom = GlobalAddAtomA(user.c_str());
  const ATOM system_atom = GlobalAddAtomA(system.c_str());
  // The atoms stay: the ident server reads and deletes them.
  DWORD_PTR result = 0;
  SendMessageTimeoutA(reinterpret_cast<HWND>(static_cast<intptr_t>(window)), kIdentMessage, system_atom,
                      user_atom, SMTO_BLOCK | SMTO_ABORTIFHUNG, kIdentReplyMs, &result);
}

}  // namespace platform
