#!/usr/bin/env bash
# Runs mtr and Hoplark's report mode side by side on one namespace path with fractional per-hop
# delays (bench/delay_path.cpp: hops 0, 0.3, 2.5 and 7.7 ms away) and prints, for each tool,
# the mean round trip and its error per hop and the CPU (user + system) per probe, first on an
# otherwise idle machine, then with every core kept busy. CPU per probe is that of a long run
# less that of a short one, over the probes the long run sent more, so that neither tool's
# start-up counts. Run as root, after a build with tests (a Release build for CPU figures):
#
#   [HOPLARK=path/to/hoplark] bench/compare_mtr.sh [BUILD_DIR] [ROUNDS]   (build-test, 30)
#
# Everything runs inside the namespaces the path helper makes; nothing leaves the machine.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build-test}" && pwd)
rounds=${2:-30}
hoplark=${HOPLARK:-$build/hoplark}  # another build of the program may be given
path_helper=$build/bench/hoplark_delay_path

if [[ $(id -u) -ne 0 ]]; then echo "compare_mtr.sh: run as root (namespaces)" >&2; exit 2; fi
command -v mtr > /dev/null || { echo "compare_mtr.sh: needs mtr (apt-get install mtr-tiny)" >&2; exit 2; }
[[ -x $hoplark && -x $path_helper ]] || { echo "compare_mtr.sh: build first (scripts/test)" >&2; exit 2; }

work=$(mktemp -d)
busy=()
stop_busy() {
    local pid
    for pid in "${busy[@]}"; do kill "$pid" 2> /dev/null || true; done
    for pid in "${busy[@]}"; do wait "$pid" 2> /dev/null || true; done
    busy=()
}
cleanup() {
    stop_busy
    if [[ -n ${PATH_HELPER_PID:-} ]]; then
        exec {PATH_HELPER[1]}>&- || true
        wait "$PATH_HELPER_PID" 2> /dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

coproc PATH_HELPER { exec "$path_helper"; }
client='' target=''
: > "$work/hops"
while read -r kind a b c <&"${PATH_HELPER[0]}"; do
    case $kind in
        client) client=$a ;;
        target) target=$a ;;
        hop) echo "$a $b $c" >> "$work/hops" ;;
        ready) break ;;
    esac
done
[[ -n $client && -n $target ]] || { echo "compare_mtr.sh: the path helper failed" >&2; exit 1; }

# Runs a command in the client namespace; its output goes to $1, its CPU seconds to $1.cpu.
timed() {
    local out=$1; shift
    local TIMEFORMAT='%3U %3S'
    { time ip netns exec "$client" "$@" > "$out" 2> /dev/null; } 2> "$out.cpu"
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

python3 - "$work" "$short" "$rounds" <<'PY'
import json, sys, os
work, short, rounds = sys.argv[1], sys.argv[2], sys.argv[3]
hops = {}
for line in open(os.path.join(work, "hops")):
    k, address, us = line.split()
    hops[address] = (int(k), int(us) / 1000.0)

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

def measured(tool, label):
    parse = mtr if tool == "mtr" else hoplark
    means, probes, seconds = parse(label + "." + rounds)
    _, fewer, less = parse(label + "." + short)
    return means, probes - fewer, seconds - less

for label, title in (("idle", "idle"), ("busy", "every core busy")):
    results = {tool: measured(tool, label) for tool in ("mtr", "hoplark")}
    print(f"== {title} ==")
    print(f"{'hop':>3} {'address':<12} {'set ms':>7} | {'mtr ms':>8} {'error':>7} | {'hoplark ms':>10} {'error':>7}")
    errors = {"mtr": [], "hoplark": []}
    for address, (k, expected) in sorted(hops.items(), key=lambda item: item[1][0]):
        row = f"{k:>3} {address:<12} {expected:>7.3f} |"
        for tool, width in (("mtr", 8), ("hoplark", 10)):
            mean = results[tool][0].get(address)
            if mean is None:
                row += f" {'-':>{width}} {'-':>7} |"
            else:
                errors[tool].append(abs(mean - expected))
                row += f" {mean:>{width}.3f} {mean - expected:>+7.3f} |"
        print(row.rstrip(" |"))
    for tool in ("mtr", "hoplark"):
        means, probes, seconds = results[tool]
        mean_error = sum(errors[tool]) / len(errors[tool]) if errors[tool] else float("nan")
        per_probe = 1e6 * seconds / probes if probes else float("nan")
        print(f"{tool:>8}: mean |error| {mean_error:.3f} ms over {len(errors[tool])} hops; "
              f"{probes} more probes cost {seconds:.3f} s CPU = {per_probe:.1f} us per probe")
    print()
PY
