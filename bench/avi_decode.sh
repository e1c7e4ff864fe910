#!/usr/bin/env bash
# Times decoding every frame of a 640x360, 250-frame MPEG-4 AVI through TAviFrameReader
# (each frame made into the 24-bit decode bitmap) against
#   ffmpeg -i same.avi -f rawvideo -pix_fmt bgr24 -y /dev/null
# in interleaved rounds of whole processes; prints the median wall and CPU times, the median
# of the per-round wall-time ratios (goal: at most 1.1), and reading the same frames last to
# first as a ratio to reading them first to last. The CPU times (user + system, all threads)
# tell whether a wall-time ratio was bent by other work on the machine.
# Usage: bench/avi_decode.sh BUILD_DIR   (REPS=7 rounds by default)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
bench="$build/bench/avi_decode_bench"
reps=${REPS:-7}
work="$build/bench/avi-decode"
[[ -x $bench ]] || { echo "no $bench: build avi_decode_bench first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg not found" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time (GNU time) not found" >&2; exit 1; }
mkdir -p "$work"

input="$work/in-250.avi"
if [[ ! -s $input ]]; then
  ffmpeg -v error -nostdin -y -f lavfi -i "testsrc2=size=640x360:rate=25" -frames:v 250 \
    -c:v mpeg4 -q:v 4 -g 25 -bf 0 "$input.tmp.avi"
  mv "$input.tmp.avi" "$input"
fi

declare -A command_of=(
  [ffmpeg]='ffmpeg -v error -nostdin -i "$1" -f rawvideo -pix_fmt bgr24 -y /dev/null'
  [reader]='"$bench" --decode "$1" forward >/dev/null'
  [reader_reverse]='"$bench" --decode "$1" reverse >/dev/null'
)
tools=(ffmpeg reader reader_reverse)

# run TOOL -> "wall_seconds cpu_seconds" of the whole process
run() {
  local start end cpu
  start=$(date +%s%N)
  cpu=$(bench=$bench /usr/bin/time -f '%U %S' bash -c "${command_of[$1]}" _ "$input" 2>&1 | tail -1)
  end=$(date +%s%N)
  awk -v a="$start" -v b="$end" -v c="$cpu" 'BEGIN { split(c, t, " "); printf "%.4f %.2f\n", (b - a) / 1e9, t[1] + t[2] }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A times=() cpus=()
for t in "${tools[@]}"; do run "$t" >/dev/null; done # warm-up: page cache, CPU frequency
for ((round = 1; round <= reps; round++)); do
  for t in "${tools[@]}"; do
    read -r wall cpu < <(run "$t")
    times[$t]+="$wall "
    cpus[$t]+="$cpu "
  done
done

ratio_of() { # ratio_of A B -> median over rounds of A/B
  paste <(tr ' ' '\n' <<<"${times[$1]}" | sed '/^$/d') <(tr ' ' '\n' <<<"${times[$2]}" | sed '/^$/d') |
    awk '{ printf "%.4f\n", $1 / $2 }' | median
}

echo "input: 640x360, 250 frames, mpeg4 ($input); $reps rounds, interleaved, $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg)"
printf '%-16s %12s %12s\n' run "median wall" "median CPU"
for t in "${tools[@]}"; do
  printf '%-16s %11.3fs %11.2fs\n' "$t" "$(tr ' ' '\n' <<<"${times[$t]}" | sed '/^$/d' | median)" \
    "$(tr ' ' '\n' <<<"${cpus[$t]}" | sed '/^$/d' | median)"
done
printf 'reader / ffmpeg (forward, goal <= 1.1): %s\n' "$(ratio_of reader ffmpeg)"
printf 'reverse / forward reading:              %s\n' "$(ratio_of reader_reverse reader)"
