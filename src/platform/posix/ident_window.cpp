#include "platform/ident_window.h"

namespace platform {

int FindIdentWindow() {
  return 0;
}

void NotifyIdentWindow(int /*window*/, std::string_view /*user_id*/, std::string_view /*system_name*/) {}

}  // namespace platform
