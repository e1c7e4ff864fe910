#!/usr/bin/env bash
# "Fit under N MB" against its yardstick, on a 10 s 480x270 pan over a natural-looking scene
# (H.264), optionally a 60 s 720p one, and the shared harness inputs: for limits of a third
# and a tenth of the unlimited Best quality GIF, the size and viewer PSNR of `gif --max-size`
# against the best point of the grid scale 1:1-1:5 x sampling 1-4 x lossy 0/30/60 that fits
# (goal: the fit within the limit, at most 0.3 dB under that point), the fit's time against
# one `gif --best` (goal: at most 3x), and `--estimate` against the size written, described
# and Best quality (goal: within 15 %, at most a quarter of the conversion's time).
# Viewer PSNR: at the middle of each source frame's time, the GIF frame showing then, scaled
# bilinearly to the source size, against the source frame (bench/fit_bench_tool.cpp).
# Usage: bench/fit_size.sh BUILD_DIR   (LONG=1 adds the 60 s 720p clip; INPUTS_DIR=folder of
# the harness's a_*.avi ... e_*.avi, left out when not given; GRID=0
# skips the grid)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
cli="$build/src/cli/clipvane-cli"
tool="$build/bench/fit-bench-tool"
work="$build/bench/fit-size"
[[ -x $cli && -x $tool ]] || { echo "build clipvane-cli and fit-bench-tool first" >&2; exit 1; }
mkdir -p "$work"
inputs=()
if [[ ! -s $work/pan_480x270.mp4 ]]; then
  "$tool" scene 1400 420 7 > "$work/scene.ppm"
  ffmpeg -v error -nostdin -y -loop 1 -i "$work/scene.ppm" \
    -vf "crop=480:270:'t*80':'60+40*sin(t*0.7)',format=yuv420p" -t 10 -r 25 -c:v libx264 -crf 18 "$work/pan_480x270.mp4"
fi
inputs+=("$work/pan_480x270.mp4")
if [[ ${LONG:-0} == 1 ]]; then
  if [[ ! -s $work/pan_1280x720_60s.mp4 ]]; then
    "$tool" scene 4000 900 11 > "$work/scene_large.ppm"
    ffmpeg -v error -nostdin -y -loop 1 -i "$work/scene_large.ppm" \
      -vf "crop=1280:720:'t*45':'90+60*sin(t*0.3)',format=yuv420p" -t 60 -r 25 -c:v libx264 -crf 20 \
      "$work/pan_1280x720_60s.mp4"
  fi
  inputs+=("$work/pan_1280x720_60s.mp4")
fi
harness=${INPUTS_DIR:-}
if [[ -n $harness && -d $harness ]]; then for f in "$harness"/[a-e]_*.avi; do [[ -s $f ]] && inputs+=("$f"); done; fi

seconds() { local start end; start=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; end=$(date +%s.%N); echo "$end - $start" | bc; }
psnr() { "$tool" psnr "$1" "$2" | sed 's/psnr=\([0-9.]*\).*/\1/'; }
size() { stat -c %s "$1"; }
bytes_of() { sed -n 's/.*(\([0-9,]*\) bytes).*/\1/p' | tr -d ,; }

for video in "${inputs[@]}"; do
  name=$(basename "$video")
  echo "== $name"
  t_plain=$(seconds "$cli" gif "$video" "$work/plain.gif")
  t_best=$(seconds "$cli" gif "$video" "$work/best.gif" --best)
  plain=$(size "$work/plain.gif"); best=$(size "$work/best.gif")
  for mode in plain best; do
    if [[ $mode == best ]]; then extra=(--best); actual=$best; t_conv=$t_best; else extra=(); actual=$plain; t_conv=$t_plain; fi
    start=$(date +%s.%N)
    guess=$("$cli" gif "$video" --estimate "${extra[@]}" | bytes_of)
    t_est=$(echo "$(date +%s.%N) - $start" | bc)
    printf '  estimate %-5s %10d vs %10d  error %+6.1f %%  time %.2f s = %.2f x the conversion (%.2f s)\n' \
      "$mode" "$guess" "$actual" "$(echo "100 * ($guess - $actual) / $actual" | bc -l)" "$t_est" \
      "$(echo "$t_est / $t_conv" | bc -l)" "$t_conv"
  done
  p_best=$(psnr "$video" "$work/best.gif")
  echo "  unlimited best: $best bytes, viewer PSNR $p_best dB, $t_best s"
  if [[ ${GRID:-1} == 1 ]]; then
    : > "$work/grid.txt"
    for scale in 1:1 1:2 1:3 1:4 1:5; do
      for sampling in 1 2 3 4; do
        for lossy in 0 30 60; do
          "$cli" gif "$video" "$work/grid.gif" --best --scale "$scale" --sampling "$sampling" --lossy "$lossy" >/dev/null 2>&1
          echo "$scale $sampling $lossy $(size "$work/grid.gif") $(psnr "$video" "$work/grid.gif")" >> "$work/grid.txt"
        done
      done
    done
  fi
  for share in 3 10; do
    limit=$((best / share))
    t_fit=$(seconds "$cli" gif "$video" "$work/fit.gif" --max-size "$limit")
    if [[ -s $work/fit.gif ]]; then
      fitted=$(size "$work/fit.gif"); p_fit=$(psnr "$video" "$work/fit.gif")
      chosen=$("$cli" gif "$video" "$work/fit.gif" --max-size "$limit" 2>&1 | grep Fitted || true)
    else
      fitted=0; p_fit=0; chosen="no file"
    fi
    line=$(printf '  limit 1/%-2d %9d: fit %9d bytes (%s) PSNR %6.2f dB, %.2f s = %.2f x best' "$share" "$limit" \
      "$fitted" "$( ((fitted <= limit)) && echo within || echo OVER)" "$p_fit" "$t_fit" "$(echo "$t_fit / $t_best" | bc -l)")
    if [[ ${GRID:-1} == 1 ]]; then
      grid=$(awk -v l="$limit" '$4 <= l && $5 > b { b = $5; p = $1 " s" $2 " l" $3 } END { printf "%.2f (%s)", b, p }' "$work/grid.txt")
      line+="; grid best that fits $grid"
    fi
    echo "$line"
    echo "      $chosen"
    rm -f "$work/fit.gif"
  done
done
