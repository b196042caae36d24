// The program's exit statuses.
#pragma once

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // a file could not be read or written, or was refused
inline constexpr int kExitUsage = 2;    // a malformed argument; nothing was run
