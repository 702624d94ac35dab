# Shared by the scripts: install what a fresh Debian 12 machine lacks, then
# configure and build. Source it; it defines functions only.

TQX5R_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# Debian packages the build, the tests and the demo need.
TQX5R_PACKAGES=(
  cmake make g++ pkg-config
  qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev
  libhamlib-dev libmosquitto-dev
  # Readiness and the watchdog under systemd (sd_notify); systemd-analyze
  # checks the service unit in the tests.
  libsystemd-dev systemd
  # The broker password in the desktop's secret store (QtKeychain loads
  # libsecret when it runs).
  qt5keychain-dev libsecret-1-0
  xvfb xauth fonts-liberation fonts-dejavu-core
  # Run by the tests: Hamlib's rigctld (dummy radio), a Mosquitto broker (its
  # password files made with mosquitto_passwd, TLS certificates with openssl)
  # and xdotool, which presses keys on a panel shown on Xvfb; a private D-Bus
  # session with GNOME's keyring as the Secret Service for the password tests.
  libhamlib-utils mosquitto mosquitto-clients openssl xdotool
  dbus-daemon gnome-keyring
  # The web page's MQTT client comes from npm (pinned in package-lock.json);
  # its tests run Debian's headless Chromium through Selenium, and evaluate
  # Home Assistant's discovery templates with Jinja2.
  nodejs chromium chromium-driver python3-selenium python3-jinja2
  # The page over HTTPS as the README serves it: nginx in front of the broker
  # (run by the tests on a loopback port of their own, never as a service),
  # and NSS's certutil, which installs the tests' CA in Chromium's store.
  nginx libnss3-tools
  # Screen reader tests: Qt's private headers to switch its accessibility on
  # in a test, and the AT-SPI bus, its Python bindings and the Orca screen
  # reader for the test that listens as a screen reader does.
  qtbase5-private-dev at-spi2-core python3-pyatspi orca
)

# The station box under a booted systemd (scripts/test --system): a Debian 12
# root file system made by debootstrap, booted by systemd-nspawn.
TQX5R_SYSTEM_PACKAGES=(debootstrap systemd-container)

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
  # Debian's nodejs comes without npm; other builds of nodejs bring their own.
  if [ $# -eq 0 ] && ! command -v npm >/dev/null; then
    missing="${missing:+$missing }npm"
  fi
  if [ -z "$missing" ]; then
    [ $# -gt 0 ] || tqx5r_ensure_node_modules
    return 0
  fi
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
  [ $# -gt 0 ] || tqx5r_ensure_node_modules
}

# The npm packages of package-lock.json, installed when the lock file is newer
# than what node_modules holds.
tqx5r_ensure_node_modules() {
  local installed="$TQX5R_ROOT/node_modules/.package-lock.json"
  if [ -f "$installed" ] && [ ! "$TQX5R_ROOT/package-lock.json" -nt "$installed" ]; then
    return 0
  fi
  echo "== Installing npm packages (npm ci)"
  (cd "$TQX5R_ROOT" && npm ci --ignore-scripts --no-audit --no-fund >/dev/null)
}

# tqx5r_build BUILD_DIR [cmake options...]
tqx5r_build() {
  local dir="$1"; shift
  cmake -S "$TQX5R_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE="${TQX5R_BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
}
