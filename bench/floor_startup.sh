#!/usr/bin/env bash
# Start-up against its floor. Runs the player and a bare Qt window (menu bar and
# list, the player's size: bench_bare_window) the same way, under a private Xvfb
# and session bus, and prints each figure beside its floor as a ratio:
#   start to window shown: launch until the program's first-paint report
#     (ZOLM_REPORT_FIRST_PAINT) reaches us on its stdout;
#   resident memory: VmRSS 3 s after launch, the program left running;
#   processor time: user + system time of the run that reported its first paint.
# The player runs with its remembered folder empty and with 20,000 names; the
# floor of the 20,000-name rows is the player's own empty start.
# Usage: floor_startup.sh BUILD_DIR [runs, default 5]   (medians over the runs)
set -euo pipefail
build=$(readlink -f "$1")
runs=${2:-5}
player=$build/zolm-player
bare=$build/bench/bench_bare_window
for p in "$player" "$bare"; do
  [ -x "$p" ] || { echo "missing $p (build with -DZOLM_BENCH=ON)" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb_pid=
bus_pid=
cleanup() {
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$work/display")

# A desktop session has a bus; the player puts its media controls on it.
{ read -r bus_address; read -r bus_pid; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS=$bus_address
export SDL_AUDIODRIVER=dummy
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

# The folders and the working directories that remember them.
mkdir -p "$work/empty" "$work/many" "$work/run-empty" "$work/run-many" "$work/run-bare"
printf '%s' "$work/empty/" > "$work/run-empty/rez.dat"
printf '%s' "$work/many/" > "$work/run-many/rez.dat"
python3 - "$work/many" <<'PY'
import os, sys
d = sys.argv[1]
n = 20000
for i in range(n):
    ext = ".WAV" if i % 3 == 0 else ".mp3"
    open(os.path.join(d, f"{(i * 7919) % n} - Track Name {i}{ext}"), "w").close()
PY

python3 - "$runs" "$player" "$bare" "$work" <<'PY'
import os, statistics, subprocess, sys, time

runs, player, bare, work = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
configs = {
    "bare": (bare, os.path.join(work, "run-bare")),
    "empty": (player, os.path.join(work, "run-empty")),
    "many": (player, os.path.join(work, "run-many")),
}

def shown_ms(program, cwd):
    env = dict(os.environ, ZOLM_REPORT_FIRST_PAINT="1")
    t0 = time.monotonic_ns()
    p = subprocess.Popen([program], cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    line = p.stdout.readline()
    t1 = time.monotonic_ns()
    _, status, usage = os.wait4(p.pid, 0)  # the program quits after its report
    p.returncode = os.waitstatus_to_exitcode(status)
    if not line.startswith(b"first-paint-ms"):
        sys.exit(f"{program}: no first-paint report")
    return (t1 - t0) / 1e6, (usage.ru_utime + usage.ru_stime) * 1e3

def resident_mb(program, cwd):
    p = subprocess.Popen([program], cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(3)
    kb = None
    with open(f"/proc/{p.pid}/status") as f:
        for l in f:
            if l.startswith("VmRSS:"):
                kb = int(l.split()[1])
    p.terminate()
    p.wait(timeout=30)
    return kb / 1024

for name, (prog, cwd) in configs.items():  # warm the page cache and the font cache
    shown_ms(prog, cwd)
times = {k: [] for k in configs}
cpu = {k: [] for k in configs}
mem = {k: [] for k in configs}
for _ in range(runs):  # round-robin, so a busy moment weighs on every program alike
    for name, (prog, cwd) in configs.items():
        wall, used = shown_ms(prog, cwd)
        times[name].append(wall)
        cpu[name].append(used)
for _ in range(runs):
    for name, (prog, cwd) in configs.items():
        mem[name].append(resident_mb(prog, cwd))
t = {k: statistics.median(v) for k, v in times.items()}
c = {k: statistics.median(v) for k, v in cpu.items()}
m = {k: statistics.median(v) for k, v in mem.items()}

def row(label, value, unit, floor, floor_label):
    print(f"{label:<40} {value:7.1f} {unit}   floor {floor:7.1f} {unit} ({floor_label})"
          f"   ratio {value / floor:5.2f}   {value - floor:+6.1f} {unit}")

print(f"medians of {runs} runs; start = launch to the first-paint report, memory = VmRSS 3 s after launch")
row("start to window shown, empty folder", t["empty"], "ms", t["bare"], "bare Qt window")
row("resident memory after start", m["empty"], "MB", m["bare"], "bare Qt window")
row("start to window shown, 20,000 names", t["many"], "ms", t["empty"], "the empty start")
row("resident memory with 20,000 names", m["many"], "MB", m["empty"], "the empty start")
# Processor time of the whole run (start, first paint, quit): on a busy machine
# the wall time above also counts waiting for a processor.
row("processor time, empty folder", c["empty"], "ms", c["bare"], "bare Qt window")
row("processor time, 20,000 names", c["many"], "ms", c["empty"], "the empty start")
for k, label in (("bare", "bare window"), ("empty", "player, empty"), ("many", "player, 20,000")):
    print(f"  {label:<16} start ms: {' '.join(f'{x:.1f}' for x in times[k])}   processor ms: "
          f"{' '.join(f'{x:.1f}' for x in cpu[k])}   MB: {' '.join(f'{x:.1f}' for x in mem[k])}")
PY
