#pragma once

namespace tarnex::testing {

// A host name whose resolving never answers, as a name server that has gone quiet leaves the
// system resolver: linked into a test program, the resolver waits on this name (for at most
// ten seconds, so no thread outlives the program's end by much) and asks no name server at
// all. Every other name is resolved as usual.
inline constexpr const char* kStalledName = "stalled-resolver.test";

}  // namespace tarnex::testing
