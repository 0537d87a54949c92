# Shared by the scripts: package installation and the CMake configure step.
# shellcheck shell=bash

REPO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# Debian packages every build needs.
BUILD_PACKAGES=(g++ cmake ninja-build libgtest-dev libgmock-dev googletest libbenchmark-dev)
# The Qt console and its offscreen tests.
GUI_PACKAGES=(qt6-base-dev qt6-qpa-plugins)
# The demo's virtual screen, its typing at the login and its screenshot.
DEMO_PACKAGES=(xvfb xauth xdotool imagemagick)
# Peers and tools only the tests use.
TEST_PACKAGES=()

# Installs the named Debian packages that are not installed yet; does nothing when all are.
ensure_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    [ -n "$pkg" ] || continue
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
  fi
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# configure_build <build dir> <build type> <sanitizers> [extra cmake args...]
configure_build() {
  local dir="$1" type="$2" sanitize="$3"
  shift 3
  cmake -S "$REPO_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" \
    -DTARNEX_SANITIZE="$sanitize" "$@" >/dev/null
}

# Parallel jobs: every core, but at least one.
build_jobs() {
  local n
  n="$(nproc 2>/dev/null || echo 2)"
  echo "$n"
}
