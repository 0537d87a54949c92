#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

namespace tarnex {

// The steps of an atomic replacement, in the order they run.
enum class AtomicFileStep { kCreateTemp, kWrite, kSync, kRename };

// Replaces the file at `path` with `content` so that a crash or an error at any point leaves
// either the old file or the new one, never a mixture: the bytes go to a temporary file
// ".<name>.tmp-XXXXXX" in the same folder, which is flushed to disk and then renamed over the
// old name. A symbolic link at `path` is followed: the file it names is replaced, its
// temporary is made beside it, and the link stays. Temporaries that an earlier replacement of
// the same file left behind when it was killed are removed first; no other name is touched.
// `mode` is the permission of the new file; kKeepMode keeps the mode of an existing file (new
// files get 0666 less the umask). An existing file without its owner's write bit is refused,
// whoever runs this. Returns false, with the old file untouched, on any error.
inline constexpr mode_t kKeepMode = static_cast<mode_t>(-1);
bool WriteFileAtomically(const std::string& path, std::string_view content,
                         mode_t mode = kKeepMode);

// Lets tests make a step fail as a full disk or a crash would: the hook returns true to fail
// that step. An empty hook restores normal operation. The hook is called without any lock
// held, so it may replace files itself.
using AtomicFileFaultHook = std::function<bool(AtomicFileStep step)>;
void SetAtomicFileFaultHook(AtomicFileFaultHook hook);

}  // namespace tarnex
