#include "platform/ident_window.h"

namespace platform {

int FindIdentWindow() {
  return 0;
}

}  // namespace platform
