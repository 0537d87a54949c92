// The system resolver's entry point, taken over for the test program: libcurl's resolver thread
// calls it through the dynamic linker, which finds the program's own definition first.
#include "support/stalled_resolver.h"

#include <dlfcn.h>
#include <netdb.h>

#include <chrono>
#include <cstring>
#include <thread>

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** result) {
  if (node != nullptr && std::strcmp(node, tarnex::testing::kStalledName) == 0) {
    std::this_thread::sleep_for(std::chrono::seconds(10));
    return EAI_AGAIN;
  }
  using Resolve = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
  static const auto next = reinterpret_cast<Resolve>(dlsym(RTLD_NEXT, "getaddrinfo"));
  return next(node, service, hints, result);
}
