// The window of a separately running ident server, told which user a new IRC connection belongs
// to. Only Windows has such windows; elsewhere none is ever found.
#pragma once

#include <string_view>

namespace platform {

// The ident server's window handle, or 0 when none runs.
int FindIdentWindow();

// Tells the ident server's window that the next IRC connection is user_id's, on system_name.
// Does nothing for window 0.
void NotifyIdentWindow(int window, std::string_view user_id, std::string_view system_name);

}  // namespace platform
