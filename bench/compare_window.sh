#!/usr/bin/env bash
# Runs Hoplark's window and mtr's curses display one after the other on the same 35-hop path of
# network namespaces (bench/delay_path.cpp --routers 34), both at one round a second, and prints
# what each costs in CPU (user + system, with mtr's packet helper) per round. The window runs
# under an Xvfb display of its own and is started the way a user starts it (host typed, Alt+T);
# mtr draws into a 120x50 pseudo-terminal. CPU is read from /proc between two moments well after
# the trace started, so neither tool's start-up counts. Run as root after a build (a Release
# build for CPU figures; needs xvfb, xdotool and mtr-tiny):
#
#   [HOPLARK=path/to/hoplark] bench/compare_window.sh [BUILD_DIR] [SECONDS]   (build-test, 60)
#
# Everything runs inside the namespaces the path helper makes; nothing leaves the machine.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build-test}" && pwd)
seconds=${2:-60}
warmup=10
hoplark=${HOPLARK:-$build/hoplark}
path_helper=$build/bench/hoplark_delay_path

if [[ $(id -u) -ne 0 ]]; then echo "compare_window.sh: run as root (namespaces)" >&2; exit 2; fi
for tool in mtr Xvfb xdotool script; do
    command -v "$tool" > /dev/null ||
        { echo "compare_window.sh: needs $tool (apt-get install mtr-tiny xvfb xdotool)" >&2; exit 2; }
done
[[ -x $hoplark && -x $path_helper ]] || { echo "compare_window.sh: build first" >&2; exit 2; }

work=$(mktemp -d)
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2> /dev/null || true; done
    if [[ -n ${PATH_HELPER_PID:-} ]]; then
        exec {PATH_HELPER[1]}>&- || true
        wait "$PATH_HELPER_PID" 2> /dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

coproc PATH_HELPER { exec "$path_helper" --routers 34; }
client='' target='' hops=0
while read -r kind a _ <&"${PATH_HELPER[0]}"; do
    case $kind in
        client) client=$a ;;
        target) target=$a ;;
        hop) hops=$((hops + 1)) ;;
        ready) break ;;
    esac
done
[[ -n $client && -n $target ]] || { echo "compare_window.sh: the path helper failed" >&2; exit 1; }

ticks=$(getconf CLK_TCK)
# CPU seconds (user + system) of the given processes, threads included.
cpu_of() {
    local total=0 pid fields
    for pid in "$@"; do
        fields=$(sed 's/.*) //' "/proc/$pid/stat" 2> /dev/null) || continue
        set -- $fields
        total=$((total + ${12} + ${13}))
    done
    echo "$total"
}
# Echo requests the client namespace has sent so far: what the tool under test sent, since
# nothing else runs there.
echoes_sent() {
    ip netns exec "$client" awk '$1 == "Icmp:" && !names { for (i = 1; i <= NF; i++) column[$i] = i;
        names = 1; next } $1 == "Icmp:" { print $column["OutEchos"] }' /proc/net/snmp
}
# Waits through the warm-up, then prints the CPU ticks the processes named by `$1` (a command
# printing their pids) spent over the measured seconds, and the echo requests sent meanwhile.
measure() {
    sleep "$warmup"
    local before after sent_before sent_after
    before=$(cpu_of $($1))
    sent_before=$(echoes_sent)
    sleep "$seconds"
    after=$(cpu_of $($1))
    sent_after=$(echoes_sent)
    echo "$((after - before)) $((sent_after - sent_before))"
}

# Hoplark's window: a display of its own, a settings file with a 1 s delay, host typed, Alt+T.
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp > /dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do xdpyinfo -display "$display" > /dev/null 2>&1 && break; sleep 0.1; done
printf '[Samples]\nTraceDelay=1 Second\n' > "$work/hoplark.ini"
ip netns exec "$client" env DISPLAY="$display" QT_QPA_PLATFORM=xcb XDG_DATA_HOME="$work/data" \
    "$hoplark" --settings "$work/hoplark.ini" > /dev/null 2>&1 &
window_pid=$!
pids+=("$window_pid")
window=$(DISPLAY=$display xdotool search --sync --onlyvisible --name '^Hoplark$' | head -1)
sleep 1
DISPLAY=$display xdotool windowfocus --sync "$window" type --delay 20 "$target"
DISPLAY=$display xdotool key --window "$window" alt+t
hoplark_ticks=$(measure "echo $window_pid")
kill "$window_pid" 2> /dev/null || true

# mtr's curses display in a pseudo-terminal, with its packet helper.
# Its keyboard is a pipe that stays open and silent until the end.
mkfifo "$work/keys"
exec {keys}<> "$work/keys"
ip netns exec "$client" script -qfc \
    "stty rows 50 cols 120; TERM=xterm exec mtr -i 1 $target" /dev/null \
    < "$work/keys" > /dev/null 2>&1 &
pids+=($!)
mtr_pids() { pgrep -x mtr; pgrep -x mtr-packet || true; }
sleep 1
mtr_ticks=$(measure mtr_pids)
pkill -x mtr || true
exec {keys}>&-

python3 - $hoplark_ticks $mtr_ticks "$ticks" "$seconds" "$hops" <<'PY'
import sys
hoplark, hoplark_sent, mtr, mtr_sent, ticks, seconds, hops = (int(v) for v in sys.argv[1:])
# A round is one probe to every hop; the tools need not pace their rounds alike, so CPU is
# counted per round actually sent as well as per second.
per_second = lambda t: 1000.0 * t / ticks / seconds
per_round = lambda t, sent: 1000.0 * t / ticks / (sent / hops) if sent else float("nan")
print(f"{hops}-hop path, 1 s rounds asked for, {seconds} s measured")
print(f"  hoplark window : {per_second(hoplark):7.2f} ms CPU per second, "
      f"{hoplark_sent / hops:6.1f} rounds, {per_round(hoplark, hoplark_sent):7.2f} ms per round")
print(f"  mtr curses     : {per_second(mtr):7.2f} ms CPU per second, "
      f"{mtr_sent / hops:6.1f} rounds, {per_round(mtr, mtr_sent):7.2f} ms per round")
if mtr and mtr_sent and hoplark_sent:
    print(f"  ratio per second {hoplark / mtr:5.2f}, per round "
          f"{per_round(hoplark, hoplark_sent) / per_round(mtr, mtr_sent):5.2f}")
PY
