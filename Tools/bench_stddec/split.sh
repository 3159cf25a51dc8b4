#!/bin/bash
# Where the standard path's CPU time per picture goes: runs bench_stddec's
# whole path (b) alone under perf, with DWARF call chains, and files every
# sample under the first module of its call chain that is not the C or C++
# runtime: libavcodec's decoding, the library's own work (the decoding
# library's scaling and copies, the pool hand-over, the colour conversion
# of the video output) and the platform layer's emulated display (the blits
# a Windows display does in its hardware).
#
# Usage: Tools/bench_stddec/split.sh [BUILD_DIR (build)] [WxH (1280x720)] [rounds (3)]
set -euo pipefail
build=${1:-build}
size=${2:-1280x720}
rounds=${3:-3}
command -v perf >/dev/null || { echo "perf is needed (apt-get install -y linux-perf)" >&2; exit 1; }
bench=$(realpath "$build/Tools/bench_stddec/bench_stddec")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
data=${SPLIT_PERF_DATA:-$work/perf.data}  # set it to keep (or reuse) the recording
if [ ! -s "$data" ]; then
# The streams are made once, in the build tree, before the profiled run.
(cd "$build/Tools/bench_stddec" && "$bench" 1 10 >/dev/null)
(cd "$build/Tools/bench_stddec" &&
 BENCH_STDDEC_PATH=$size perf record -q -o "$data" -F 1999 --call-graph dwarf,16384 -- "$bench" "$rounds" 10)
fi
perf script -i "$data" -F comm,tid,ip,sym,dso 2>/dev/null | python3 -c '
import sys, collections
RUNTIME = ("libc.so", "libstdc++", "libm.so", "ld-linux", "libgcc_s", "[unknown]", "libpthread")
def category(dso, chain):
    # chain: every symbol of the sample, leaf first (inlined ones included)
    if "libavcodec" in dso or "libavutil" in dso: return "decoding (libavcodec)"
    if "libswscale" in dso: return "library: scaling in the decoding library (libswscale)"
    if "libBravik" in dso: return "library: copy of the picture in the decoding library"
    if "libKovaDecoder" in dso:
        if any("color::" in f or "ConvertToRgb" in f for f in chain): return "library: colour conversion (YUV to the surface format)"
        if any("QueueFrame" in f or "CBufferManager" in f for f in chain): return "library: pool copy and hand-over"
        return "library: other (renderer, pacing, output)"
    if "libkovawin32" in dso:
        if any("StretchBlit" in f or "FillPieces" in f for f in chain): return "platform layer: display blits"
        return "platform layer: other (system calls it emulates)"
    if "kernel" in dso: return "kernel (scheduling, waits, page faults)"
    return "other: " + dso.split("/")[-1]
totals = collections.Counter(); leafs = collections.Counter(); samples = 0
frames = []
def flush():
    global samples
    if not frames: return
    # An inlined frame belongs to the module of the frame it was inlined in.
    for i in range(len(frames) - 2, -1, -1):
        if frames[i][0] == "inlined": frames[i] = (frames[i + 1][0], frames[i][1])
    samples += 1
    chosen = None
    for dso, sym in frames:
        if not any(r in dso for r in RUNTIME):
            chosen = (dso, sym); break
    if chosen is None: chosen = frames[0]
    c = category(chosen[0], [f[1] for f in frames])
    totals[c] += 1
    caller = next((s for d, s in frames[1:] if not any(r in d for r in RUNTIME)), "")
    if not c.startswith("decoding"): leafs[(c.split(":")[0] + ": " + frames[0][1] + " <- " + caller)[:130]] += 1
for line in sys.stdin:
    line = line.rstrip("\n")
    if not line.strip():
        flush(); frames = []; continue
    if not line.startswith((" ", "\t")):
        flush(); frames = []; continue
    parts = line.strip().split(None, 1)
    rest = parts[1] if len(parts) > 1 else ""
    if "(" in rest:
        sym, dso = rest.rsplit("(", 1); dso = dso.rstrip(")")
    else:
        sym, dso = rest, ""
    frames.append((dso, sym.strip()))
flush()
decode = totals["decoding (libavcodec)"]
print("| where | share of samples | per decode time |")
print("|---|---:|---:|")
for c, n in sorted(totals.items(), key=lambda x: -x[1]):
    print("| %s | %.1f %% | %.1f %% |" % (c, 100.0 * n / samples, 100.0 * n / decode if decode else 0))
lib = sum(n for c, n in totals.items() if c.startswith("library"))
print("\nlibrary own work / decoding: %.1f %%" % (100.0 * lib / decode if decode else 0))
print("\ntop leaves outside decoding:")
for k, n in leafs.most_common(16): print("  %5.1f %%  %s" % (100.0 * n / samples, k))
'
