#!/usr/bin/env bash
# Runs mtr and Hoplark's report mode side by side on one namespace path with fractional per-hop
# delays (bench/delay_path.cpp: hops 0, 0.3, 2.5 and 7.7 ms away) and prints, for each tool,
# the mean round trip and its error per hop and the CPU (user + system) per probe, first on an
# otherwise idle machine, then with every core kept busy. CPU per probe is that of a long run
# less that of a short one, over the probes the long run sent more, so that neither tool's
# start-up counts. Run as root, after a build with tests (a Release build for CPU figures):
#
#   [HOPLARK=path/to/hoplark] [CALIBRATE=0] bench/compare_mtr.sh [BUILD_DIR] [ROUNDS]
#                                                                       (build-test, 30)
#
# The set delays are not the whole round trips: the links, the routers and the delay lines add
# tens of microseconds a hop of their own. So each error is given twice:
#   - against the path's figure: by default the path helper calibrates its delay lines (its own
#     kernel-stamped probes, medians) so that hops 2..4 are 0.3, 2.5 and 7.7 ms away on the wire,
#     and hop 1 is what its link measures; with CALIBRATE=0 the set delays as they are;
#   - against the wire: bench/wire_tap.cpp watches the client's interface during each tool's run
#     and times that run's own probes by the kernel's stamps of each request leaving and of its
#     answer arriving (the wire column). That is the error of the tool alone, whatever the path
#     did meanwhile; the path's figure also counts how the path itself differed from calibration
#     (a tool sending several probes at once makes them wait for each other, a busy machine
#     delays the routers).
# The tap runs beside the tool, not in it, so the CPU figures are the tool's alone.
#
# Everything runs inside the namespaces the path helper makes; nothing leaves the machine.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build-test}" && pwd)
rounds=${2:-30}
hoplark=${HOPLARK:-$build/hoplark}  # another build of the program may be given
path_helper=$build/bench/hoplark_delay_path
wire_tap=$build/bench/hoplark_wire_tap
calibrate=${CALIBRATE:-1}

if [[ $(id -u) -ne 0 ]]; then echo "compare_mtr.sh: run as root (namespaces)" >&2; exit 2; fi
command -v mtr > /dev/null || { echo "compare_mtr.sh: needs mtr (apt-get install mtr-tiny)" >&2; exit 2; }
[[ -x $hoplark && -x $path_helper && -x $wire_tap ]] || { echo "compare_mtr.sh: build first (scripts/test)" >&2; exit 2; }

work=$(mktemp -d)
busy=()
tap_pid=''
stop_busy() {
    local pid
    for pid in "${busy[@]}"; do kill "$pid" 2> /dev/null || true; done
    for pid in "${busy[@]}"; do wait "$pid" 2> /dev/null || true; done
    busy=()
}
cleanup() {
    stop_busy
    if [[ -n $tap_pid ]]; then kill "$tap_pid" 2> /dev/null || true; fi
    if [[ -n ${PATH_HELPER_PID:-} ]]; then
        exec {PATH_HELPER[1]}>&- || true
        wait "$PATH_HELPER_PID" 2> /dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

path_options=()
if [[ $calibrate == 1 ]]; then path_options=(--calibrate); fi
coproc PATH_HELPER { exec "$path_helper" "${path_options[@]}"; }
client='' target=''
: > "$work/hops"
while read -r kind a b c d <&"${PATH_HELPER[0]}"; do
    case $kind in
        client) client=$a ;;
        target) target=$a ;;
        hop) echo "$a $b $c $d" >> "$work/hops" ;;
        line) echo "delay line $a calibrated to $b us" >&2 ;;
        ready) break ;;
    esac
done
[[ -n $client && -n $target ]] || { echo "compare_mtr.sh: the path helper failed" >&2; exit 1; }

# Runs a command in the client namespace; its output goes to $1, its CPU seconds to $1.cpu and
# the wire round trips of its probes to $1.wire.
timed() {
    local out=$1; shift
    local TIMEFORMAT='%3U %3S'
    ip netns exec "$client" "$wire_tap" right > "$out.wire" 2> /dev/null &
    tap_pid=$!
    local tries
    for tries in $(seq 500); do
        grep -q '^ready' "$out.wire" && break
        kill -0 "$tap_pid" 2> /dev/null || { echo "compare_mtr.sh: the wire tap failed" >&2; exit 1; }
        sleep 0.01
    done
    { time ip netns exec "$client" "$@" > "$out" 2> /dev/null; } 2> "$out.cpu"
    kill -TERM "$tap_pid"
    wait "$tap_pid" || true
    tap_pid=''
}

short=5
run_both() {
    local label=$1 count
    for count in "$short" "$rounds"; do
        timed "$work/mtr.$label.$count" mtr -r -n -j -c "$count" -i 0.2 "$target"
        timed "$work/hoplark.$label.$count" "$hoplark" --report "$target" --count "$count" \
            --delay "0.2 Seconds" --timeout 2000 --no-dns --format json
    done
}

run_both idle
for _ in $(seq "$(nproc)"); do
    ( while :; do :; done ) &
    busy+=($!)
done
run_both busy
stop_busy

python3 - "$work" "$short" "$rounds" "$calibrate" <<'PY'
import json, sys, os
work, short, rounds = sys.argv[1], sys.argv[2], sys.argv[3]
calibrated = sys.argv[4] == "1"
hops = {}
for line in open(os.path.join(work, "hops")):
    k, address, us, set_us = line.split()
    hops[address] = (int(k), float(us) / 1000.0, float(set_us) / 1000.0)

def cpu(path):
    user, system = open(path + ".cpu").read().split()
    return float(user) + float(system)

def mtr(label):
    path = os.path.join(work, "mtr." + label)
    data = json.load(open(path))
    means, probes = {}, 0
    for hub in data["report"]["hubs"]:
        probes += int(hub.get("Snt", 0))
        if hub["host"] in hops and hub.get("Loss%", 100) < 100:
            means[hub["host"]] = float(hub["Avg"])
    return means, probes, cpu(path)

def hoplark(label):
    path = os.path.join(work, "hoplark." + label)
    data = json.load(open(path))
    means, probes = {}, 0
    for hop in data["hops"]:
        if "samples_us" in hop:
            values = [v / 1000.0 for v in hop["samples_us"] if v is not None]
            probes += len(hop["samples_us"])
        else:  # an older report without microseconds: whole milliseconds
            values = [float(v) for v in hop["samples"] if v is not None]
            probes += len(hop["samples"])
        if hop["ip"] in hops and values:
            means[hop["ip"]] = sum(values) / len(values)
    return means, probes, cpu(path)

# Mean wire round trip in ms by answering address, over every probe of that run the tap saw.
def wire(label):
    means = {}
    for line in open(os.path.join(work, label + ".wire")):
        fields = line.split()
        if fields[0] == "hop":
            means[fields[1]] = float(fields[3]) / 1000.0
        elif fields[0] == "dropped" and int(fields[1]) != 0:
            print(f"warning: the wire tap lost {fields[1]} packets in {label}", file=sys.stderr)
    return means

def measured(tool, label):
    parse = mtr if tool == "mtr" else hoplark
    means, probes, seconds = parse(label + "." + rounds)
    _, fewer, less = parse(label + "." + short)
    return means, probes - fewer, seconds - less, wire(tool + "." + label + "." + rounds)

tools = ("mtr", "hoplark")
print("path ms: " + ("each hop's wire round trip as calibrated" if calibrated else
                     "the set delays, uncalibrated") + "; wire ms: that tool's own run on the wire")
print()
for label, title in (("idle", "idle"), ("busy", "every core busy")):
    results = {tool: measured(tool, label) for tool in tools}
    print(f"== {title} ==")
    print(f"{'':>3} {'':<12} {'':>7} {'':>7} |" +
          "|".join(f" {tool + ' (own run)':<34}" for tool in tools))
    print(f"{'hop':>3} {'address':<12} {'set ms':>7} {'path ms':>7} |" +
          "|".join(f" {'wire ms':>8} {'tool ms':>8} {'-path':>7} {'-wire':>7} " for tool in tools))
    errors = {(tool, kind): [] for tool in tools for kind in ("set", "wire")}
    for address, (k, expected, nominal) in sorted(hops.items(), key=lambda item: item[1][0]):
        row = f"{k:>3} {address:<12} {nominal:>7.3f} {expected:>7.3f} |"
        cells = []
        for tool in tools:
            mean = results[tool][0].get(address)
            truth = results[tool][3].get(address)
            cell = f" {truth:>8.3f}" if truth is not None else f" {'-':>8}"
            if mean is None:
                cell += f" {'-':>8} {'-':>7} {'-':>7} "
            else:
                errors[(tool, "set")].append(abs(mean - expected))
                cell += f" {mean:>8.3f} {mean - expected:>+7.3f}"
                if truth is None:
                    cell += f" {'-':>7} "
                else:
                    errors[(tool, "wire")].append(abs(mean - truth))
                    cell += f" {mean - truth:>+7.3f} "
            cells.append(cell)
        print(row + "|".join(cells))
    for tool in tools:
        means, probes, seconds, _ = results[tool]
        def mean_of(values):
            return sum(values) / len(values) if values else float("nan")
        per_probe = 1e6 * seconds / probes if probes else float("nan")
        print(f"{tool:>8}: mean |error| {mean_of(errors[(tool, 'set')]):.3f} ms against the path, "
              f"{mean_of(errors[(tool, 'wire')]):.3f} ms against the wire, "
              f"over {len(errors[(tool, 'set')])} hops; "
              f"{probes} more probes cost {seconds:.3f} s CPU = {per_probe:.1f} us per probe")
    print()
PY
