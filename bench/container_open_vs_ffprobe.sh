#!/usr/bin/env bash
# Times opening a long video (`clipvane-cli info`: the frame index made by reading every
# packet of the video stream, no decoding) against `ffprobe -count_packets` on the same file,
# rounds interleaved, for a one-hour 25 fps MKV (90,000 frames) and a one-hour MP4 (made here
# with ffmpeg, 160x90 H.264 with B-frames). Prints the median times, their ratio and both
# frame counts, then checks the goals: open under 2 s, no slower than 1.0 x ffprobe, same count.
# Usage: bench/container_open_vs_ffprobe.sh BUILD_DIR   (REPS=3 rounds by default)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
cli="$build/src/cli/clipvane-cli"
reps=${REPS:-3}
work="$build/bench/open"
[[ -x $cli ]] || { echo "no $cli: build clipvane-cli first" >&2; exit 1; }
command -v ffprobe >/dev/null || { echo "ffprobe not found" >&2; exit 1; }
mkdir -p "$work"

# make FILE: one hour of test pattern, 25 fps, key frame every 250, B-frames.
make() {
  [[ -s $1 ]] && return
  ffmpeg -v error -nostdin -y -f lavfi -i "testsrc2=size=160x90:rate=25:duration=3600" \
    -c:v libx264 -preset ultrafast -bf 2 -g 250 -pix_fmt yuv420p -an "$1.tmp.${1##*.}"
  mv "$1.tmp.${1##*.}" "$1"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
seconds() { # seconds COMMAND... -> wall seconds of one run
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }'
}
probe() { ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets -of csv=p=0 "$1"; }

for name in hour.mkv hour.mp4; do
  file="$work/$name"
  make "$file"
  ours=() theirs=() ratios=()
  "$cli" info "$file" --quiet >/dev/null # warm-up: page cache
  for ((round = 1; round <= reps; round++)); do
    a=$(seconds "$cli" info "$file" --quiet)
    b=$(seconds probe "$file")
    ours+=("$a") theirs+=("$b")
    ratios+=("$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.3f", a / b }')")
  done
  count=$("$cli" info "$file" | sed -n 's/^Frames count: //p')
  packets=$(probe "$file")
  open=$(printf '%s\n' "${ours[@]}" | median)
  ratio=$(printf '%s\n' "${ratios[@]}" | median)
  printf '%s: open %.3f s, ffprobe -count_packets %.3f s, ratio %.2f (goal <= 1.00: %s); under 2 s: %s; frames %s, packets %s: %s\n' \
    "$name" "$open" "$(printf '%s\n' "${theirs[@]}" | median)" "$ratio" \
    "$(awk -v r="$ratio" 'BEGIN { print (r <= 1.0) ? "met" : "NOT met" }')" \
    "$(awk -v s="$open" 'BEGIN { print (s < 2.0) ? "met" : "NOT met" }')" "$count" "$packets" \
    "$([[ $count == "$packets" ]] && echo same || echo DIFFERENT)"
done
