// The window of a separately running ident server, told which user a new IRC connection belongs
// to. Only Windows has such windows; elsewhere none is ever found.
#pragma once

namespace platform {

// The ident server's window handle, or 0 when none runs.
int FindIdentWindow();

}  // namespace platform
