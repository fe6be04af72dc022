#!/usr/bin/env bash
# CPU per probe of mtr and of Hoplark's report mode in steady state, side by side on the same
# namespace path (bench/delay_path.cpp: hops 0, 0.3, 2.5 and 7.7 ms away), 0.2 s rounds.
#
# compare_mtr.sh takes CPU as a long run less a short one; on a busy virtual machine the
# start-up it subtracts varies by more than the gap it is after. Here each tool runs on its own
# for a warm-up, then the kernel's run time of every one of its threads (and of mtr's helper
# process, mtr-packet) is read before and after a measured span, and divided by the echo
# requests the client namespace sent in that span. The tools run in turn, PAIRS times, and the
# medians are printed, with context switches per probe. Run as root after a build:
#
#   [HOPLARK=path/to/hoplark] bench/compare_cpu_steady.sh [BUILD_DIR] [PAIRS] [SECONDS]
#                                                                    (build-test, 6, 15)
#
# Everything runs inside the namespaces the path helper makes; nothing leaves the machine.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build-test}" && pwd)
pairs=${2:-6}
seconds=${3:-15}
warm_up=4
hoplark=${HOPLARK:-$build/hoplark}
path_helper=$build/bench/hoplark_delay_path

if [[ $(id -u) -ne 0 ]]; then echo "compare_cpu_steady.sh: run as root (namespaces)" >&2; exit 2; fi
command -v mtr > /dev/null || { echo "compare_cpu_steady.sh: needs mtr (apt-get install mtr-tiny)" >&2; exit 2; }
[[ -x $hoplark && -x $path_helper ]] || { echo "compare_cpu_steady.sh: build first (scripts/test)" >&2; exit 2; }

work=$(mktemp -d)
tool_pid=''
cleanup() {
    if [[ -n $tool_pid ]]; then kill "$tool_pid" 2> /dev/null || true; fi
    if [[ -n ${PATH_HELPER_PID:-} ]]; then
        exec {PATH_HELPER[1]}>&- || true
        wait "$PATH_HELPER_PID" 2> /dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

coproc PATH_HELPER { exec "$path_helper"; }
client='' target=''
while read -r kind a _ <&"${PATH_HELPER[0]}"; do
    case $kind in
        client) client=$a ;;
        target) target=$a ;;
        ready) break ;;
    esac
done
[[ -n $client && -n $target ]] || { echo "compare_cpu_steady.sh: the path helper failed" >&2; exit 1; }

echoes_sent() {
    ip netns exec "$client" awk '/^Icmp:/ { if (++n == 1) for (i = 1; i <= NF; i++) col[$i] = i;
                                           else print $col["OutEchos"] }' /proc/net/snmp
}

# Run time in ns, voluntary and involuntary switches, summed over every thread of the given
# processes.
snapshot() {
    local runtime=0 voluntary=0 involuntary=0 task ns
    for task in $(for pid in "$@"; do echo "/proc/$pid/task/"*; done); do
        # A thread that ends meanwhile takes its share with it; the tools keep theirs running.
        read -r ns _ 2> /dev/null < "$task/schedstat" || continue
        runtime=$((runtime + ns))
        voluntary=$((voluntary + $(awk '/^voluntary_ctxt/ {print $2}' "$task/status" 2> /dev/null || echo 0)))
        involuntary=$((involuntary + $(awk '/^nonvoluntary_ctxt/ {print $2}' "$task/status" 2> /dev/null || echo 0)))
    done
    echo "$runtime $voluntary $involuntary"
}

# Runs one tool for the warm-up and the measured span; appends "us_per_probe vol invol" to
# $work/<tool>.
measure() {
    local tool=$1 pids
    if [[ $tool == mtr ]]; then
        ip netns exec "$client" mtr -r -n -c 1000000 -i 0.2 "$target" > /dev/null 2>&1 &
    else
        ip netns exec "$client" "$hoplark" --report "$target" --count 1000000 \
            --delay "0.2 Seconds" --timeout 2000 --no-dns > /dev/null 2>&1 &
    fi
    tool_pid=$!  # ip netns exec becomes the tool
    sleep "$warm_up"
    pids="$tool_pid $(pgrep -P "$tool_pid" || true)"  # mtr's packet helper is its child
    local r1 v1 i1 r2 v2 i2 e1 e2
    read -r r1 v1 i1 < <(snapshot $pids)
    e1=$(echoes_sent)
    sleep "$seconds"
    read -r r2 v2 i2 < <(snapshot $pids)
    e2=$(echoes_sent)
    kill "$tool_pid"
    wait "$tool_pid" 2> /dev/null || true
    tool_pid=''
    awk -v r=$((r2 - r1)) -v p=$((e2 - e1)) -v v=$((v2 - v1)) -v i=$((i2 - i1)) \
        'BEGIN { if (p > 0) printf "%.1f %.2f %.2f\n", r / p / 1000, v / p, i / p }' >> "$work/$tool"
}

for _ in $(seq "$pairs"); do
    measure mtr
    measure hoplark
done

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
printf '%-8s %14s %10s %10s   %s\n' tool "CPU us/probe" "vol/probe" "invol/probe" "each run's CPU us/probe"
for tool in mtr hoplark; do
    printf '%-8s %14s %10s %10s   %s\n' "$tool" "$(cut -d' ' -f1 "$work/$tool" | median)" \
        "$(cut -d' ' -f2 "$work/$tool" | median)" "$(cut -d' ' -f3 "$work/$tool" | median)" \
        "$(cut -d' ' -f1 "$work/$tool" | paste -sd' ')"
done
mtr_median=$(cut -d' ' -f1 "$work/mtr" | median)
hoplark_median=$(cut -d' ' -f1 "$work/hoplark" | median)
awk -v m="$mtr_median" -v h="$hoplark_median" 'BEGIN { printf "hoplark / mtr, medians: %.2f\n", h / m }'
