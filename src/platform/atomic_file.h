#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

namespace tarnex {

// The steps of an atomic replacement, in the order they run.
enum class AtomicFileStep { kCreateTemp, kWrite, kSync, kRename };

// Whether a symbolic link at the path is followed or replaced.
enum class AtomicLinks {
  kFollow,   // the file it names is replaced, its temporary is made beside it, the link stays
  kReplace,  // the link itself is replaced by the new file; nothing is written where it points
};

// Replaces the file at `path` with `content` so that a crash or an error at any point leaves
// either the old file or the new one, never a mixture: the bytes go to a temporary file
// ".<name>.tmp-XXXXXX" in the same folder, which is flushed to disk and then renamed over the
// old name. Temporaries that an earlier replacement of the same file left behind when it was
// killed are removed first; those of writers still running, in any process, are not (each
// holds a shared flock on the folder while its temporary exists), and no other name is
// touched. `mode` is the permission of the new file; kKeepMode keeps the mode of an existing
// file (new files get 0666 less the umask). An existing file keeps its owner and group, or is
// not replaced. Refused: an existing file without its owner's write bit, whoever runs this,
// and one the system would not let this user write. Returns false, with the old file
// untouched, on any error.
inline constexpr mode_t kKeepMode = static_cast<mode_t>(-1);
bool WriteFileAtomically(const std::string& path, std::string_view content, mode_t mode = kKeepMode,
                         AtomicLinks links = AtomicLinks::kFollow);

// Lets tests make a step fail as a full disk or a crash would: the hook returns true to fail
// that step. An empty hook restores normal operation. The hook is called without any lock
// held, so it may replace files itself.
using AtomicFileFaultHook = std::function<bool(AtomicFileStep step)>;
void SetAtomicFileFaultHook(AtomicFileFaultHook hook);

}  // namespace tarnex
