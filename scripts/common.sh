# Shared by scripts/run and scripts/test: the packages the project needs and
# their installation on a Debian 12 machine that has never seen the project.

VERTOLIN_PACKAGES=(cmake ninja-build g++ pkg-config libgtest-dev libbenchmark-dev qt6-base-dev libturbojpeg0-dev clang-format)
# What only the tests need: LinuxCNC's stand-alone G-code interpreter rs274,
# which reads the G-code programs back (kept out of scripts/run: it is large).
VERTOLIN_TEST_PACKAGES=(linuxcnc-uspace)
# The Windows cross build and wine to run it (GoogleTest from libgtest-dev's sources).
VERTOLIN_WINDOWS_PACKAGES=(cmake ninja-build libgtest-dev g++-mingw-w64-x86-64-posix wine64 wine)

# Runs a command and prints how long it took, for the CI log.
timed() {
  local label=$1 start=$SECONDS
  shift
  "$@"
  echo "== $label: $((SECONDS - start)) s"
}

ensure_packages() {
  local missing=()
  local package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
  "${sudo[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# The core must build and run without any toolkit: no file of it may include
# a Qt header. Only the windows (files named *_window.*, *_widget.*,
# *_dialog.*) and the program's main may.
check_core_has_no_qt() {
  local offenders
  offenders=$(grep -rlE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]Q' src \
      --include='*.h' --include='*.cpp' |
    grep -vE '(_window|_widget|_dialog)\.(h|cpp)$' |
    grep -vE '^src/app/main\.cpp$' || true)
  if [ -n "$offenders" ]; then
    echo "These core files include Qt headers:" >&2
    echo "$offenders" >&2
    return 1
  fi
}
