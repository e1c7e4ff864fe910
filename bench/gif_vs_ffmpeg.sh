#!/usr/bin/env bash
# Times `clipvane-cli gif` of a whole 640x360, 10 s, 25 fps MPEG-4 AVI (test pattern with
# temporal noise) against ffmpeg's two-pass palettegen + paletteuse (both commands timed as
# one), rounds interleaved; prints median wall and CPU times, the median of the per-round time
# ratios, peak memory, GIF sizes and the mean PSNR of the GIF frames against the source
# frames, then checks the goals: ratio <= 0.5, PSNR within 1 dB of ffmpeg's, peak memory
# <= 3 x GIF size + 100 MB. The single-threaded run (--threads 1) is timed beside them.
# Usage: bench/gif_vs_ffmpeg.sh BUILD_DIR   (REPS=3 rounds by default; INPUT=mp4 takes the same
# pictures as an H.264 MP4 with B-frames instead)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
cli="$build/src/cli/clipvane-cli"
reps=${REPS:-3}
work="$build/bench/gif"
[[ -x $cli ]] || { echo "no $cli: build clipvane-cli first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg not found" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time (GNU time) not found" >&2; exit 1; }
mkdir -p "$work"

kind=${INPUT:-avi}
input="$work/in-640x360.$kind"
if [[ ! -s $input ]]; then
  case $kind in
    avi) codec=(-c:v mpeg4 -vtag XVID -q:v 3) ;;
    mp4) codec=(-c:v libx264 -preset medium -crf 20 -bf 3) ;;
    *) echo "INPUT is avi or mp4, not $kind" >&2; exit 1 ;;
  esac
  ffmpeg -v error -nostdin -y -fflags +bitexact -threads 1 \
    -f lavfi -i "testsrc2=size=640x360:rate=25:duration=10,noise=alls=12:allf=t" \
    "${codec[@]}" -pix_fmt yuv420p -flags:v +bitexact -an "$input.tmp.$kind"
  mv "$input.tmp.$kind" "$input"
fi

declare -A command_of=(
  [ffmpeg_2pass]='ffmpeg -v error -nostdin -y -i "$1" -vf palettegen "$2.palette.png" &&
    ffmpeg -v error -nostdin -y -i "$1" -i "$2.palette.png" -lavfi paletteuse "$2"'
  [clipvane]='"$cli" gif "$1" "$2" --quiet'
  [clipvane_1thread]='"$cli" gif "$1" "$2" --quiet --threads 1'
)
tools=(ffmpeg_2pass clipvane clipvane_1thread)

# run TOOL -> "wall_s cpu_s peak_kb"; the GIF stays as $work/TOOL.gif
run() {
  local out="$work/$1.gif"
  rm -f "$out"
  cli=$cli /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" bash -c "exec >/dev/null; ${command_of[$1]}" _ "$input" "$out"
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$work/time.txt"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
values() { tr ' ' '\n' <<<"$1" | sed '/^$/d'; }

declare -A walls=() cpus=() peaks=()
run clipvane >/dev/null # warm-up: page cache, CPU frequency
for ((round = 1; round <= reps; round++)); do
  for t in "${tools[@]}"; do
    read -r wall cpu peak < <(run "$t")
    walls[$t]+="$wall "
    cpus[$t]+="$cpu "
    ((${peaks[$t]:-0} > peak)) || peaks[$t]=$peak
  done
done

ratio_of() { # ratio_of OURS PEER -> median over rounds of ours/peer
  paste <(values "${walls[$1]}") <(values "${walls[$2]}") | awk '{ printf "%.4f\n", $1 / $2 }' | median
}
# Mean PSNR over all frames (from the mean squared error), both sides as 8-bit RGB.
psnr_of() {
  ffmpeg -nostdin -i "$work/$1.gif" -i "$input" \
    -lavfi "[0:v]format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr" -f null - 2>&1 |
    sed -n 's/.*PSNR.* average:\([0-9.inf]*\).*/\1/p' | tail -1
}
frames_of() { ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$work/$1.gif"; }

echo "input: 640x360, 10 s, 25 fps, $([[ $kind == mp4 ]] && echo "H.264 MP4" || echo mpeg4) ($input); $reps rounds, interleaved"
printf '%-17s %8s %8s %9s %10s %7s %9s\n' tool "wall s" "CPU s" "peak MB" "GIF MB" frames "PSNR dB"
declare -A psnr=() size=()
for t in "${tools[@]}"; do
  size[$t]=$(stat -c %s "$work/$t.gif")
  psnr[$t]=$(psnr_of "$t")
  printf '%-17s %8.2f %8.2f %9.1f %10.2f %7s %9s\n' "$t" "$(values "${walls[$t]}" | median)" \
    "$(values "${cpus[$t]}" | median)" "$(awk -v k="${peaks[$t]}" 'BEGIN { print k / 1024 }')" \
    "$(awk -v b="${size[$t]}" 'BEGIN { print b / 1048576 }')" "$(frames_of "$t")" "${psnr[$t]}"
done
cmp -s "$work/clipvane.gif" "$work/clipvane_1thread.gif" && same=yes || same=NO
ratio=$(ratio_of clipvane ffmpeg_2pass)
limit_kb=$(awk -v b="${size[clipvane]}" 'BEGIN { printf "%d", 3 * b / 1024 + 100 * 1024 }')
printf 'two threads write the bytes of one: %s\n' "$same"
printf 'time ratio clipvane / ffmpeg_2pass: %.2f (goal <= 0.50: %s); one thread: %.2f\n' "$ratio" \
  "$(awk -v r="$ratio" 'BEGIN { print (r <= 0.5) ? "met" : "NOT met" }')" "$(ratio_of clipvane_1thread ffmpeg_2pass)"
printf 'PSNR clipvane - ffmpeg_2pass: %+.2f dB (goal >= -1.00: %s)\n' \
  "$(awk -v a="${psnr[clipvane]}" -v b="${psnr[ffmpeg_2pass]}" 'BEGIN { print a - b }')" \
  "$(awk -v a="${psnr[clipvane]}" -v b="${psnr[ffmpeg_2pass]}" 'BEGIN { print (a - b >= -1) ? "met" : "NOT met" }')"
printf 'peak memory %.1f MB, limit 3 x GIF + 100 MB = %.1f MB: %s\n' "$(awk -v k="${peaks[clipvane]}" 'BEGIN { print k / 1024 }')" \
  "$(awk -v k="$limit_kb" 'BEGIN { print k / 1024 }')" "$( ((peaks[clipvane] <= limit_kb)) && echo met || echo "NOT met")"
