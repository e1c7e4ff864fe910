#!/usr/bin/env bash
# Times `clipvane-cli extract` of every frame of a 640x360, 250-frame MPEG-4 AVI against
# ffmpeg writing the same frames as 24-bit BMP and as JPEG (-q:v 7, about quality 76; ours
# at 75), rounds interleaved; prints median times, the median of the per-round ratios and
# peak memory, then the peak memory of a 4x longer video to show it does not grow.
# Usage: bench/extract_vs_ffmpeg.sh BUILD_DIR   (REPS=5 rounds by default)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
cli="$build/src/cli/clipvane-cli"
reps=${REPS:-5}
work="$build/bench/extract"
[[ -x $cli ]] || { echo "no $cli: build clipvane-cli first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg not found" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time (GNU time) not found" >&2; exit 1; }
mkdir -p "$work"

make_input() { # make_input FILE FRAMES
  [[ -s $1 ]] && return
  ffmpeg -v error -nostdin -y -f lavfi -i "testsrc2=size=640x360:rate=25" -frames:v "$2" \
    -c:v mpeg4 -q:v 4 -g 25 -bf 0 "$1.tmp.avi"
  mv "$1.tmp.avi" "$1"
}
input="$work/in-250.avi"
long="$work/in-1000.avi"
make_input "$input" 250
make_input "$long" 1000

declare -A command_of=(
  [ffmpeg_bmp]='ffmpeg -v error -nostdin -y -i "$1" "$2/out%04d.bmp"'
  [clipvane_bmp]='"$cli" extract "$1" "$2" --format bmp --quiet'
  [ffmpeg_jpeg]='ffmpeg -v error -nostdin -y -i "$1" -q:v 7 "$2/out%04d.jpg"'
  [clipvane_jpeg]='"$cli" extract "$1" "$2" --format jpeg --quality 75 --quiet'
)
tools=(ffmpeg_bmp clipvane_bmp ffmpeg_jpeg clipvane_jpeg)

# run TOOL INPUT -> "seconds peak_kb files"; the output folder is emptied before and after.
run() {
  local out="$work/out-$1"
  rm -rf "$out" && mkdir -p "$out"
  local stats
  stats=$(cli=$cli /usr/bin/time -f '%e %M' bash -c "exec >/dev/null; ${command_of[$1]}" _ "$2" "$out" 2>&1 | tail -1)
  local files
  files=$(find "$out" -type f | wc -l)
  rm -rf "$out"
  echo "$stats $files"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A times=() peaks=() files=()
run ffmpeg_bmp "$input" >/dev/null # warm-up: page cache, CPU frequency
for ((round = 1; round <= reps; round++)); do
  for t in "${tools[@]}"; do
    read -r seconds peak count < <(run "$t" "$input")
    times[$t]+="$seconds "
    ((${peaks[$t]:-0} > peak)) || peaks[$t]=$peak
    files[$t]=$count
  done
done

ratio_of() { # ratio_of OURS PEER -> median over rounds of ours/peer
  paste <(tr ' ' '\n' <<<"${times[$1]}" | sed '/^$/d') <(tr ' ' '\n' <<<"${times[$2]}" | sed '/^$/d') |
    awk '{ printf "%.4f\n", $1 / $2 }' | median
}

echo "input: 640x360, 250 frames, mpeg4 ($input); $reps rounds, interleaved"
printf '%-15s %10s %12s %8s\n' tool "median s" "peak MB" files
for t in "${tools[@]}"; do
  printf '%-15s %10.3f %12.1f %8d\n' "$t" "$(tr ' ' '\n' <<<"${times[$t]}" | sed '/^$/d' | median)" \
    "$(awk -v k="${peaks[$t]}" 'BEGIN { print k / 1024 }')" "${files[$t]}"
done
printf 'ratio bmp  (clipvane / ffmpeg): %.2f\n' "$(ratio_of clipvane_bmp ffmpeg_bmp)"
printf 'ratio jpeg (clipvane / ffmpeg): %.2f\n' "$(ratio_of clipvane_jpeg ffmpeg_jpeg)"
read -r _ long_peak long_files < <(run clipvane_jpeg "$long")
printf 'clipvane_jpeg on 1000 frames: peak %.1f MB, %d files\n' "$(awk -v k="$long_peak" 'BEGIN { print k / 1024 }')" \
  "$long_files"
