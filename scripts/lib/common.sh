# Shared by the scripts: package installation and the CMake configure step.
# shellcheck shell=bash

REPO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# Debian packages every build needs.
BUILD_PACKAGES=(g++ cmake ninja-build libgtest-dev libgmock-dev googletest libbenchmark-dev libcurl4-openssl-dev nlohmann-json3-dev libssl-dev libmosquitto-dev)
# The Qt console and its offscreen tests.
GUI_PACKAGES=(qt6-base-dev qt6-qpa-plugins)
# The demo's virtual screen, its typing at the login and its screenshot.
DEMO_PACKAGES=(xvfb xauth xdotool imagemagick python3-aiosmtpd)
# Packaging: the package's library dependencies (dpkg-shlibdeps), its checks, and the
# validators of the desktop entry and the AppStream metadata.
PACKAGE_PACKAGES=(dpkg-dev file lintian desktop-file-utils appstream man-db)
# The fuzz targets' compiler and libFuzzer with its sanitizer runtimes (scripts/fuzz only).
FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)
# Peers and tools only the tests use; clang-format for the format check of changed files;
# mosquitto is the MQTT broker the agent's tests start (with mosquitto_passwd for its users).
TEST_PACKAGES=(clang-format python3-aiosmtpd openssl python3-jsonschema faketime mosquitto)

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

# Checks the C++ files that the last commit and the uncommitted changes touch (new files too)
# against the repository's .clang-format; untouched files are not looked at, so older ones
# cannot fail a change. Without git, clang-format or a checkout it says so and checks nothing.
check_changed_format() {
  if ! command -v git >/dev/null 2>&1; then
    echo "Format check skipped: git not found"
    return 0
  fi
  if ! command -v clang-format >/dev/null 2>&1; then
    echo "Format check skipped: clang-format not found"
    return 0
  fi
  if ! git -C "$REPO_ROOT" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    echo "Format check skipped: not a git checkout"
    return 0
  fi
  # Against the first parent the working tree holds the last commit and what is uncommitted;
  # a checkout of one commit has no parent and checks the uncommitted files only.
  local base=HEAD~1
  git -C "$REPO_ROOT" rev-parse --verify --quiet "$base^{commit}" >/dev/null || base=HEAD
  local changed=() file
  while IFS= read -r -d '' file; do
    case "$file" in
      *.h | *.cpp) [ -f "$REPO_ROOT/$file" ] && changed+=("$REPO_ROOT/$file") ;;
    esac
  done < <(
    git -C "$REPO_ROOT" diff -z --name-only --diff-filter=d "$base" --
    git -C "$REPO_ROOT" ls-files -z --others --exclude-standard
  )
  if [ ${#changed[@]} -eq 0 ]; then
    echo "Format check: no changed C++ files"
    return 0
  fi
  echo "Format check of ${#changed[@]} changed C++ file(s)"
  clang-format --dry-run -Werror "${changed[@]}"
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
