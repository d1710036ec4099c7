// How long an Esc waits for the bytes that would make it part of a cursor or function key (or an
// Alt combination). The sysop's keyboard and the caller's line wait the same: a slow link splits a
// key's bytes the same way on both.
#pragma once

namespace platform {

inline constexpr int kEscWaitMs = 200;

}  // namespace platform
