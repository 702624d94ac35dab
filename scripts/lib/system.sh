#!/usr/bin/env bash
# The station box under a real systemd, as a service engineer would try it:
# the .deb installed in a minimal Debian 12 booted with systemd-nspawn, the
# panel run there as its service against virtual switches, a Mosquitto
# broker, a logger's UDP packets and a radio's serial port, and checked
# through systemctl, journalctl and the broker.
#   scripts/lib/system.sh BUILD_DIR
# Run by `scripts/test --system` once the build is done. The root file
# system is made once with debootstrap and kept in BUILD_DIR/system/; each
# run boots it with its changes in memory, and stops and removes what it
# started, whatever happens.
set -euo pipefail
source "$(dirname "$0")/setup.sh"

if [ "$(id -u)" -ne 0 ]; then
  echo "The station box test boots a container: run it as root (sudo scripts/test --system)." >&2
  exit 1
fi

build="$(cd "$1" && pwd)"
work="$build/system"
suite=bookworm
machine="tqx5r-box-$$"
mkdir -p "$work"
run="$(mktemp -d "$work/run.XXXXXX")"
logs="$work/last-run"
rm -rf "$logs"
mkdir -p "$logs"

nspawn_pid=""
cleanup() {
  local status=$?
  trap - EXIT INT TERM
  if [ -n "$nspawn_pid" ] && kill -0 "$nspawn_pid" 2>/dev/null; then
    [ -z "${init_pid:-}" ] || inside journalctl -b --no-pager >"$logs/journal.txt" 2>&1 || true
    # systemd-nspawn powers the machine off on SIGTERM.
    kill -TERM "$nspawn_pid" 2>/dev/null || true
    for _ in $(seq 100); do
      kill -0 "$nspawn_pid" 2>/dev/null || break
      sleep 0.2
    done
    kill -KILL "$nspawn_pid" 2>/dev/null || true
    wait "$nspawn_pid" 2>/dev/null || true
  fi
  rm -rf "/run/systemd/nspawn/propagate/$machine"
  [ ! -f "$run/boot.log" ] || cp "$run/boot.log" "$logs/"
  rm -rf "$run"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

passed=0
failed=0
ok() { passed=$((passed + 1)); echo "ok - $1"; }
bad() {
  failed=$((failed + 1))
  echo "FAILED - $1"
  [ -z "${2:-}" ] || printf '%s\n' "$2" | sed 's/^/    /'
}
# check NAME COMMAND...: passes when the command succeeds.
check() {
  local name="$1"; shift
  local output
  if output="$("$@" 2>&1)"; then ok "$name"; else bad "$name" "$output"; fi
}
# within SECONDS COMMAND...: succeeds once the command does.
within() {
  local seconds="$1"; shift
  local end=$((SECONDS + seconds))
  until "$@" >/dev/null 2>&1; do
    [ "$SECONDS" -lt "$end" ] || { "$@"; return 1; }
    sleep 0.5
  done
}

# --- The package, and one rebuilt from it for the upgrade --------------------------------

echo "== Packing"
(cd "$build" && cpack -G DEB -B "$run/pack" >/dev/null)
deb="$(ls "$run"/pack/*.deb)"
mkdir -p "$run/share"
cp "$deb" "$run/share/tqx5r-panel.deb"
version="$(dpkg-deb -f "$deb" Version)"
dpkg-deb -R "$deb" "$run/rebuilt"
sed -i "s/^Version: .*/Version: $version+rebuilt1/" "$run/rebuilt/DEBIAN/control"
# A unit that changed, as an upgrade brings: systemd must be told.
sed -i 's/^Description=.*/& (rebuilt)/' "$run/rebuilt/lib/systemd/system/tqx5r-panel@.service"
dpkg-deb --root-owner-group -b "$run/rebuilt" "$run/share/tqx5r-panel-rebuilt.deb" >/dev/null

# --- The root file system, made once for this set of packages ----------------------------

# What the package needs, and what the checks use inside: systemd as PID 1,
# a broker and its clients, socat for a radio's serial port.
depends="$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/(.*)//; s/[[:space:]]//g' | grep -v '^$')"
packages="$(printf '%s\n' systemd systemd-sysv dbus mosquitto mosquitto-clients socat $depends | sort -u | paste -sd, -)"
key="$(printf '%s %s\n' "$suite" "$packages" | sha1sum | cut -c1-12)"
root="$work/root-$key"
if [ ! -d "$root" ]; then
  # Debian's mirror, as apt uses it here.
  mirror="$(sed -n 's/^URIs:[[:space:]]*//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -1)"
  [ -n "$mirror" ] || mirror="$(awk '$1 == "deb" && $2 ~ /debian\/?$/ {print $2; exit}' /etc/apt/sources.list 2>/dev/null)"
  [ -n "$mirror" ] || mirror=http://deb.debian.org/debian
  echo "== Making a Debian 12 root file system in $root (once; a few minutes)"
  # An interrupted debootstrap may leave /proc or /sys mounted in its tree.
  rm -rf --one-file-system "$work"/root-* \
    || { echo "cannot clear the old trees in $work: unmount what is mounted there" >&2; exit 1; }
  debootstrap --variant=minbase --include="$packages" "$suite" "$root.partial" "$mirror" >"$logs/debootstrap.log" 2>&1 \
    || { echo "debootstrap failed; see $logs/debootstrap.log" >&2; exit 1; }
  echo tqx5r-box >"$root.partial/etc/hostname"
  # The broker is started by the checks, with their configuration.
  rm -f "$root.partial/etc/systemd/system/multi-user.target.wants/mosquitto.service"
  rm -rf "$root.partial/var/cache/apt/archives/"*.deb
  mv "$root.partial" "$root"
fi

# --- Certificates for the broker's TLS listener -------------------------------------------

tls="$run/share/tls"
mkdir -p "$tls"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=tqx5r test CA" \
  -keyout "$tls/ca.key" -out "$tls/ca.crt" >/dev/null 2>&1
openssl req -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" -keyout "$tls/server.key" -out "$tls/server.csr" >/dev/null 2>&1
printf 'subjectAltName=IP:127.0.0.1\n' >"$tls/san.cnf"
openssl x509 -req -in "$tls/server.csr" -CA "$tls/ca.crt" -CAkey "$tls/ca.key" -CAcreateserial -days 2 \
  -extfile "$tls/san.cnf" -out "$tls/server.crt" >/dev/null 2>&1
head -c 18 /dev/urandom | base64 | tr -d '/+=' >"$run/share/password"

# --- Boot ---------------------------------------------------------------------------------

echo "== Booting $machine"
# --volatile=overlay: the run's changes stay in memory, the cached tree as
# it was. --system-call-filter=bpf: without it, device and IP address rules
# of units are ignored. Not registered: no machined is needed on the host.
systemd-nspawn -D "$root" --machine="$machine" --volatile=overlay --boot --private-network \
  --system-call-filter=bpf --register=no --keep-unit --bind-ro="$run/share:/mnt/tqx5r" \
  --console=read-only >"$run/boot.log" 2>&1 &
nspawn_pid=$!

init_pid=""
for _ in $(seq 100); do
  init_pid="$(cat /proc/"$nspawn_pid"/task/*/children 2>/dev/null | awk '{print $1; exit}')"
  [ -z "$init_pid" ] || break
  kill -0 "$nspawn_pid" 2>/dev/null || break
  sleep 0.2
done
[ -n "$init_pid" ] || { cat "$run/boot.log" >&2; echo "the container did not start" >&2; exit 1; }

# A command inside the machine, with its own environment.
inside() {
  nsenter --target "$init_pid" --all --root --wd -- /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    LANG=C.UTF-8 SYSTEMD_PAGER= SYSTEMD_COLORS=0 "$@"
}
in_sh() { inside /bin/sh -c "$1"; }

booted() { inside systemctl is-system-running 2>/dev/null | grep -Eq '^(running|degraded)$'; }
within 60 booted || { cat "$run/boot.log" >&2; echo "systemd did not finish booting" >&2; exit 1; }
booted_at=$SECONDS
echo "== Booted (systemd $(inside systemctl --version | awk 'NR == 1 {print $2}'))"

# --- The helpers inside -------------------------------------------------------------------

prop() { inside systemctl show -P "$2" "tqx5r-panel@$1.service"; }
journal_of() { inside journalctl -q -b -u "tqx5r-panel@$1.service" -o cat --no-pager "${@:2}"; }
# The last retained message on a topic (the broker's plain listener).
retained() { inside mosquitto_sub -h 127.0.0.1 -p 1883 -t "$1" -C 1 -W 3 2>/dev/null; }
retained_has() { retained "$1" | grep -qF -- "$2"; }
journal_has() { journal_of "$1" | grep -qF -- "$2"; }
# The lines of the unit's running process only.
now_says() {
  inside journalctl -q -b -o cat --no-pager "_SYSTEMD_INVOCATION_ID=$(prop "$1" InvocationID)" | grep -qF -- "$2"
}
active_running() { [ "$(prop "$1" ActiveState)/$(prop "$1" SubState)" = active/running ]; }

# A virtual switch behind a /dev/serial/by-id/ name, its port the dialout
# group's as a USB adapter's is.
start_switch() {
  local name="$1" link="/dev/serial/by-id/usb-Veltrix_TQX-5R_$1-if00-port0"
  inside mkdir -p /dev/serial/by-id
  inside systemd-run --quiet --collect --unit="switch-$name" /usr/bin/tqx5r-sim --link "$link" >/dev/null
  within 10 inside test -L "$link"
  in_sh "chgrp dialout \$(readlink -f $link) && chmod 0660 \$(readlink -f $link)"
  echo "$link"
}

# --- Install ------------------------------------------------------------------------------

echo "== Installing the package"
check "the package installs" inside dpkg -i /mnt/tqx5r/tqx5r-panel.deb
check "systemd knows the unit" test "$(prop shack LoadState)/$(prop shack NeedDaemonReload)" = loaded/no

# The broker: plain TCP on 1883 for anyone, TLS on 8883 with passwords.
inside install -d -o mosquitto /etc/mosquitto/certs
inside install -o mosquitto -m 600 /mnt/tqx5r/tls/server.key /mnt/tqx5r/tls/server.crt /etc/mosquitto/certs/
inside install -m 644 /mnt/tqx5r/tls/ca.crt /etc/tqx5r-panel/broker-ca.crt
# The password goes in on standard input, as it never goes on a command line.
in_sh 'p="$(cat /mnt/tqx5r/password)"; printf "%s\n%s\n" "$p" "$p" | mosquitto_passwd -c /etc/mosquitto/passwd shack >/dev/null'
inside chown mosquitto /etc/mosquitto/passwd
in_sh 'cat >/etc/mosquitto/conf.d/tqx5r.conf' <<'EOF'
per_listener_settings true
listener 1883 127.0.0.1
allow_anonymous true
listener 8883 127.0.0.1
certfile /etc/mosquitto/certs/server.crt
keyfile /etc/mosquitto/certs/server.key
password_file /etc/mosquitto/passwd
allow_anonymous false
EOF
inside systemctl start mosquitto.service
# A minimal tree has no /etc/hosts; the broker gets a name, as on a LAN.
in_sh 'printf "127.0.0.1 localhost broker.station\n" >/etc/hosts'

# --- shack: the whole box -----------------------------------------------------------------

echo "== The station box"
shack_port="$(start_switch shack)"
in_sh "install -m 600 /mnt/tqx5r/password /etc/tqx5r-panel/shack.mqtt-password"
in_sh 'cat >/etc/tqx5r-panel/shack.conf' <<EOF
TQX5R_PANEL_OPTIONS=--port $shack_port --reconnect --mqtt 127.0.0.1:8883 --mqtt-cafile /etc/tqx5r-panel/broker-ca.crt --mqtt-user shack --mqtt-password-file /run/credentials/tqx5r-panel@shack.service/mqtt-password --mqtt-topic shack --logger-udp 127.0.0.1:12060
EOF
check "systemctl start returns" inside systemctl start tqx5r-panel@shack
# Type=notify: start returns once the panel said READY, after the port opened.
check "ready only once connected" journal_has shack "Connected to $shack_port : 9600"
ready_before_started() {
  journal_of shack | grep -e '^Connected to' -e '^Started ' | head -1 | grep -q '^Connected to'
}
check "the panel's line comes before systemd's Started" ready_before_started
check "running" active_running shack
status_text_shown() { [ -n "$(prop shack StatusText)" ]; }
check "its status text in systemctl status" status_text_shown
shack_pid="$(prop shack MainPID)"
# Dynamic users are 61184-65519; dialout is group 20.
check "a dynamic user in the dialout group" inside awk \
  '/^Uid:/ { u = $2 } /^Groups:/ { for (i = 2; i <= NF; ++i) if ($i == 20) g = 1 } END { exit !(u >= 61184 && u <= 65519 && g) }' \
  "/proc/$shack_pid/status"
check "the switch answers it" within 10 journal_has shack "Connected! Firmware Revision: 1 . 12"

device="$(inside readlink -f "$shack_port")"
lock="/run/lock/LCK..$(echo "${device#/dev/}" | tr / _)"
check "the port locked under the device's own name ($lock)" in_sh "[ \"\$(head -1 $lock)\" = $shack_pid ]"
check "no lock under the by-id name" in_sh "! ls /run/lock | grep -q by-id"

check "on the broker over TLS with the password from LoadCredential" within 10 retained_has shack/state '"connected":true'
check "online" within 5 retained_has shack/online true

# A logger's packet on its UDP port, then an antenna from the broker: the
# band's antenna goes into the state folder.
radio_info='<RadioInfo><RadioNr>1</RadioNr><ActiveRadioNr>1</ActiveRadioNr><Freq>1420000</Freq><IsTransmitting>False</IsTransmitting></RadioInfo>'
inside bash -c "printf '%s' '$radio_info' >/dev/udp/127.0.0.1/12060"
check "a logger's band over UDP" within 10 retained_has shack/state '"band":"20m"'
inside mosquitto_pub -h 127.0.0.1 -p 1883 -t shack/set -m '{"antenna":3}'
check "a command from the broker reaches the switch" within 10 retained_has shack/state '"antenna":3'
bands=/var/lib/tqx5r-panel/shack/tqx5r-panel/bands.ini
check "band memory written in the state folder" within 10 in_sh "grep -q '20m' $bands"

# The whole table, directive by directive, stays beside the run's journal.
inside systemd-analyze security --no-pager tqx5r-panel@shack.service >"$logs/security.txt" 2>&1 || true
exposure="$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p' "$logs/security.txt")"
echo "   systemd-analyze security: exposure $exposure (each directive in $logs/security.txt)"
check "exposure 1.5 or less" awk -v e="$exposure" 'BEGIN { exit !(e != "" && e <= 1.5) }'

# --- radio: a Hamlib radio on a serial port, a missing password file ----------------------

echo "== A radio on a serial port"
radio_port="$(start_switch radio)"
# The radio's port: what the panel sends it is kept in a file.
inside systemd-run --quiet --collect --unit=radio-line \
  socat -u pty,raw,echo=0,link=/dev/ttyRIG0,group=dialout,perm=0660 CREATE:/run/radio-line >/dev/null
within 10 inside test -L /dev/ttyRIG0
# No password file: the credential is an empty line, the panel logs in without.
in_sh 'cat >/etc/tqx5r-panel/radio.conf' <<EOF
TQX5R_PANEL_OPTIONS=--port $radio_port --mqtt broker.station --mqtt-user radio --mqtt-password-file /run/credentials/tqx5r-panel@radio.service/mqtt-password --mqtt-topic radio --rig-model 2014 --rig-file /dev/ttyRIG0 --rig-speed 9600
EOF
check "a second instance starts without a password file" inside systemctl start tqx5r-panel@radio
check "on the broker over TCP, by name" within 10 retained_has radio/state '"connected":true'
check "Hamlib opens the radio's serial port and talks to it" within 10 in_sh '[ -s /run/radio-line ]'

# --- nowhere: a port that never comes, a radio port it may not open -----------------------

echo "== Ports it cannot have"
inside systemd-run --quiet --collect --unit=radio-refused \
  socat -u pty,raw,echo=0,link=/dev/ttyRIG1,group=plugdev,perm=0660 CREATE:/run/radio-refused >/dev/null
within 10 inside test -L /dev/ttyRIG1
in_sh 'echo "TQX5R_PANEL_OPTIONS=--port /dev/ttyUSB7 --reconnect" >/etc/tqx5r-panel/nowhere.conf'
check "a port that is not there yet: started, retrying" inside systemctl start tqx5r-panel@nowhere
refused_port="$(start_switch refused)"
in_sh 'cat >/etc/tqx5r-panel/refused.conf' <<EOF
TQX5R_PANEL_OPTIONS=--port $refused_port --rig-model 2014 --rig-file /dev/ttyRIG1
EOF
inside systemctl start tqx5r-panel@refused
check "a refused radio port says why, and which group" within 10 journal_has refused \
  "Cannot open /dev/ttyRIG1: permission denied (the service needs group plugdev: SupplementaryGroups=plugdev)"

# --- Options refused: ended with 2, not restarted -----------------------------------------

in_sh 'echo "TQX5R_PANEL_OPTIONS=--prot /dev/ttyUSB0" >/etc/tqx5r-panel/typo.conf'
in_sh 'echo "TQX5R_PANEL_OPTIONS=--port /dev/ttyUSB0 --profile ../shack" >/etc/tqx5r-panel/badprofile.conf'
inside systemctl start tqx5r-panel@typo tqx5r-panel@badprofile >/dev/null 2>&1 || true

# --- The watchdog, SIGTERM, and what is left after a while -------------------------------

echo "== Watchdog, SIGTERM (about a minute)"
in_sh "kill -STOP $shack_pid"
stopped_at=$SECONDS
inside systemctl kill --signal=SIGTERM --kill-whom=main tqx5r-panel@radio
radio_ended() { [ "$(prop radio ActiveState)" = inactive ]; }
within 10 radio_ended || true

wait_restarted() { [ "$(prop shack NRestarts)" -ge 1 ] && active_running shack; }
within 90 wait_restarted || true
echo "   restarted $((SECONDS - stopped_at)) s after SIGSTOP"
watchdog_aborted() { journal_has shack "Watchdog timeout" && journal_has shack "SIGABRT"; }
check "the watchdog ended the stopped panel with SIGABRT" watchdog_aborted
check "and systemd started it again" wait_restarted

check "SIGTERM: exit code 0" test "$(prop radio ExecMainStatus)/$(prop radio ActiveState)/$(prop radio Result)" = 0/inactive/success
check "SIGTERM: not restarted" test "$(prop radio NRestarts)" = 0
said_at() { journal_of "$1" -p "$2" | grep -qF -- "$3"; }
check "refused options (typo): the typo as an error" said_at typo err "Unknown option 'prot'."
check "refused options (typo): with the usage" said_at typo err "Usage: tqx5r-panel [options]"
check "refused options (bad profile): said as an error" said_at badprofile err "--profile: "
for name in typo badprofile; do
  check "refused options ($name): exit code 2" test "$(prop $name ExecMainStatus)/$(prop $name ActiveState)" = 2/failed
  check "refused options ($name): not restarted" test "$(prop $name NRestarts)" = 0
done
check "a port that never comes: still running, no restarts" \
  test "$(prop nowhere ActiveState)/$(prop nowhere NRestarts)" = active/0
check "a port that never comes: said once" \
  test "$(journal_of nowhere | grep -c 'Cannot open /dev/ttyUSB7')" = 1
password_warned() { journal_of radio -p warning | grep -qxF "The password file (--mqtt-password-file) holds no password; logging in without one."; }
check "a missing password file: a warning, and it runs" password_warned

# A pseudo-terminal stays exclusive after the panel was killed: the panel
# started again waits until the switch's end opens a new one.
check "after a kill a pseudo-terminal switch is busy" within 20 now_says shack "Device or resource busy"
inside systemctl restart switch-shack 2>/dev/null || { inside systemctl stop switch-shack; start_switch shack >/dev/null; }
within 10 inside test -L "$shack_port"
in_sh "chgrp dialout \$(readlink -f $shack_port) && chmod 0660 \$(readlink -f $shack_port)"
check "and reconnects once it reopens" within 30 now_says shack "Connected! Firmware Revision"

# --- A clean stop -------------------------------------------------------------------------

check "systemctl stop" inside systemctl stop tqx5r-panel@shack
check "stopped with 0" test "$(prop shack ExecMainStatus)/$(prop shack Result)" = 0/success
check "the broker shows it not connected" retained_has shack/state '"connected":false'
check "and not online" retained_has shack/online false

# --- The site drop-in: devices and addresses closed ---------------------------------------

echo "== The example drop-in"
inside mkdir -p /etc/systemd/system/tqx5r-panel@.service.d
in_sh "sed 's/^#\\([A-Z]\\)/\\1/; /^IPAddressAllow=192/d' /etc/tqx5r-panel/site.conf.example \
  >/etc/systemd/system/tqx5r-panel@.service.d/site.conf"
inside systemctl daemon-reload
closed="$(inside systemd-analyze security --no-pager tqx5r-panel@shack.service | sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')"
echo "   with the drop-in: exposure $closed"
check "with the drop-in: started" inside systemctl start tqx5r-panel@shack
check "with the drop-in: its serial port" within 10 now_says shack "Connected! Firmware Revision"
check "with the drop-in: the broker on this box" within 10 retained_has shack/online true
# The radio's instance allowed no address at all: what it sends the broker
# is dropped, so the marker left on its state topic stays.
inside mosquitto_pub -h 127.0.0.1 -p 1883 -r -t radio/state -m marker
# Drop-ins are read in the order of their names, whichever folder: this
# one comes after site.conf and empties its list.
in_sh 'mkdir -p /etc/systemd/system/tqx5r-panel@radio.service.d && printf "[Service]\nIPAddressAllow=\nIPAddressDeny=any\n" >/etc/systemd/system/tqx5r-panel@radio.service.d/zz-deny.conf'
inside systemctl daemon-reload
inside systemctl start tqx5r-panel@radio
sleep 8
state_untouched() { local state; state="$(retained radio/state)"; [ "$state" = marker ] || { echo "radio/state: $state"; return 1; }; }
check "with addresses denied, the broker is not reached" state_untouched
stop_started=$SECONDS
inside systemctl stop tqx5r-panel@radio
echo "   stopped while its broker connection hung, in $((SECONDS - stop_started)) s"

# --- Upgrade and removal ------------------------------------------------------------------

echo "== Upgrade and removal"
before="$(prop shack MainPID)"
check "upgrade to a rebuilt package" inside dpkg -i /mnt/tqx5r/tqx5r-panel-rebuilt.deb
restarted_on_new() { [ "$(prop shack MainPID)" != "$before" ] && active_running shack; }
check "the running instance restarted on the new program" restarted_on_new
reloaded() { [ "$(prop shack NeedDaemonReload)" = no ] && prop shack Description | grep -q rebuilt; }
check "systemd reloaded the changed unit" reloaded
check "remove" inside dpkg -r tqx5r-panel
check "no instance left running" test "$(prop shack ActiveState)" = inactive
check "no process left from a deleted program" in_sh '! grep -qs tqx5r-panel /proc/[0-9]*/comm'
check "systemd forgot the unit" test "$(prop shack LoadState)" = not-found
check "band memory kept after removal" inside test -f "/var/lib/private/tqx5r-panel/shack/tqx5r-panel/bands.ini"
check "purge" inside dpkg -P tqx5r-panel
check "purge takes the state folder" in_sh '! test -e /var/lib/private/tqx5r-panel'

echo "== Up after ${booted_at} s (packing and booting); whole run $SECONDS s"
echo "system: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
