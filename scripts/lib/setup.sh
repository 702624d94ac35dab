# Shared by the scripts: install what a fresh Debian 12 machine lacks, then
# configure and build. Source it; it defines functions only.

TQX5R_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# Debian packages the build, the tests and the demo need.
TQX5R_PACKAGES=(
  cmake make g++ pkg-config
  qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev
  libhamlib-dev libmosquitto-dev
  xvfb xauth fonts-liberation fonts-dejavu-core
  # Run by the tests: Hamlib's rigctld (dummy radio), a Mosquitto broker (its
  # password files made with mosquitto_passwd, TLS certificates with openssl)
  # and xdotool, which presses keys on a panel shown on Xvfb.
  libhamlib-utils mosquitto mosquitto-clients openssl xdotool
  # Screen reader tests: Qt's private headers to switch its accessibility on
  # in a test, and the AT-SPI bus, its Python bindings and the Orca screen
  # reader for the test that listens as a screen reader does.
  qtbase5-private-dev at-spi2-core dbus-daemon python3-pyatspi orca
)

tqx5r_missing_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  echo "${missing[@]:-}"
}

# Installs the given packages (or the default set) if any is missing. When not
# root, prints the one command that would do it and stops.
tqx5r_ensure_packages() {
  local wanted=("$@")
  [ ${#wanted[@]} -gt 0 ] || wanted=("${TQX5R_PACKAGES[@]}")
  local missing
  missing="$(tqx5r_missing_packages "${wanted[@]}")"
  [ -n "$missing" ] || return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Install them with:" >&2
    echo "  sudo apt-get install -y $missing" >&2
    exit 1
  fi
  echo "== Installing: $missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq --no-install-recommends $missing >/dev/null
}

# tqx5r_build BUILD_DIR [cmake options...]
tqx5r_build() {
  local dir="$1"; shift
  cmake -S "$TQX5R_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE="${TQX5R_BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
}
