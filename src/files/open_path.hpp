// Opening a file at the path a caller gave, for the reads and writes that run without the
// interpreter lock (the errors are PendingErrors, which need no lock to be thrown).
#pragma once

#include <sys/types.h>

#include <string>

namespace brindle::files {

// Opens `path` (as given, relative to the working directory) with `flags` and close-on-exec,
// and `mode` for a file it creates; an open interrupted by a signal is retried. Returns the
// descriptor. Throws OSError "file name contained an unexpected NUL byte" for a path holding a
// NUL, which the system would take for a shorter path, or the OSError for the system's error.
int open_path(const std::string& path, int flags, mode_t mode = 0);

}  // namespace brindle::files
