#!/usr/bin/env bash
# The window program against clipvane-cli with the same settings, in one run: for each case
# the CLI writes its GIF, then the window's own windows (bench/window-scale-driver, offscreen
# unless QT_QPA_PLATFORM says otherwise) open the same input, press "Convert", let the preview
# animate for 3 s and press "Save". Rounds are interleaved; medians are printed. Per case:
# wall and CPU time and peak memory of both, the window's Convert against the CLI's whole
# run, how long "Save" held the window and how long the file took, and whether both files
# are byte for byte the same. Goals checked: window peak <= CLI peak + GIF size + 300 MB;
# Convert <= 1.15 x the CLI's time; Save gives the window back within 0.5 s; same bytes.
# Inputs are made with ffmpeg's encoders: a 1280x720, 30 fps H.264 MP4 of 60 s and one of
# 10 s, and two 1920x1080 pictures for the transition page (50 steps).
# Usage: bench/window_vs_cli.sh BUILD_DIR   (REPS=1 rounds by default; CASES="60f 60b 60F 60B
# 10f 10b 10F 10B tr trB 10p 60p" picks cases: clip length, then f forward, b backward, F/B
# the same with Best quality, p forward with the video playing during the run; tr/trB the
# transition page)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
cli="$build/src/cli/clipvane-cli"
driver="$build/bench/window-scale-driver"
reps=${REPS:-1}
cases=${CASES:-"10f 10b 10F 10B 60f 60b 60F 60B tr trB 10p"}
work="$build/bench/window"
for program in "$cli" "$driver"; do
  [[ -x $program ]] || { echo "no $program: build clipvane-cli and window-scale-driver first" >&2; exit 1; }
done
command -v ffmpeg >/dev/null || { echo "ffmpeg not found" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time (GNU time) not found" >&2; exit 1; }
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
mkdir -p "$work"

# A picture with flat areas and a moving patch of smooth gradients, as a dithered GIF of a
# real video has: 1280 x 720 at 30 frames a second, x264 with its default key frame spacing.
make_clip() { # make_clip SECONDS
  local out="$work/clip-720p-$1s.mp4"
  if [[ ! -s $out ]]; then
    ffmpeg -v error -nostdin -y -f lavfi -i "testsrc2=s=1280x720:r=30:d=$1" \
      -f lavfi -i "gradients=s=640x360:r=30:d=$1:speed=0.02:n=5" \
      -filter_complex "[0:v][1:v]overlay=x='320+200*sin(t)':y=180,format=yuv420p" \
      -c:v libx264 -preset veryfast -crf 23 -an "$out.tmp.mp4"
    mv "$out.tmp.mp4" "$out"
  fi
  echo "$out"
}
make_picture() { # make_picture NAME SOURCE
  local out="$work/$1-1080p.png"
  [[ -s $out ]] || ffmpeg -v error -nostdin -y -f lavfi -i "$2" -frames:v 1 "$out"
  echo "$out"
}

# measure OUT COMMAND... -> "wall cpu peak_kb" of the command; its stdout goes to OUT.out
measure() {
  local out=$1
  shift
  /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" "$@" >"$out.out" 2>"$out.err" ||
    { echo "failed: $*" >&2; cat "$out.err" >&2; return 1; }
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$work/time.txt"
}
field() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" "$2"; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
values() { tr ' ' '\n' <<<"$1" | sed '/^$/d'; }

printf '%-5s %8s %7s %8s | %9s %7s %8s %6s %7s %7s | %8s %6s %5s %5s %5s\n' case "cli s" "cpu s" "peak MB" \
  "convert s" "cpu s" "peak MB" "ret s" "save s" "gap ms" "GIF MB" ratio time mem same
failed=0
for c in $cases; do
  case $c in
    tr | trB)
      a=$(make_picture a "gradients=s=1920x1080:speed=0.01:n=6")
      b=$(make_picture b "testsrc2=s=1920x1080")
      extra=()
      [[ $c == trB ]] && extra=(--best)
      cli_cmd=("$cli" transition "$a" "$b" "$work/cli.gif" --steps 50 --quiet "${extra[@]}")
      win_cmd=("$driver" transition "$a" "$b" "$work/win.gif" --steps 50 "${extra[@]}")
      ;;
    *)
      clip=$(make_clip "${c%[fbFBp]}")
      mode=${c: -1}
      cli_extra=() win_extra=()
      case $mode in
        b) cli_extra=(--backward) win_extra=(--backward) ;;
        F) cli_extra=(--best) win_extra=(--best) ;;
        B) cli_extra=(--backward --best) win_extra=(--backward --best) ;;
        p) win_extra=(--play) ;;
      esac
      cli_cmd=("$cli" gif "$clip" "$work/cli.gif" --quiet "${cli_extra[@]}")
      win_cmd=("$driver" gif "$clip" "$work/win.gif" "${win_extra[@]}")
      ;;
  esac
  cw="" cc="" cp=0 ww="" wc="" wp=0 conv="" ret="" save="" gap=0 ratios=""
  for ((round = 1; round <= reps; round++)); do
    read -r wall cpu peak < <(measure "$work/cli" "${cli_cmd[@]}")
    cw+="$wall " cc+="$cpu "
    ((peak > cp)) && cp=$peak
    read -r wall cpu peak < <(measure "$work/win" "${win_cmd[@]}")
    ww+="$wall " wc+="$cpu "
    ((peak > wp)) && wp=$peak
    conv+="$(field convert_s "$work/win.out") " ret+="$(field save_return_s "$work/win.out") "
    save+="$(field save_s "$work/win.out") "
    g=$(field max_gap_ms "$work/win.out")
    ((g > gap)) && gap=$g
    ratios+="$(awk -v a="$(field convert_s "$work/win.out")" -v b="$(values "$cw" | tail -1)" 'BEGIN { printf "%.4f", a / b }') "
  done
  gif_bytes=$(stat -c %s "$work/cli.gif")
  cmp -s "$work/cli.gif" "$work/win.gif" && same=yes || same=NO
  ratio=$(values "$ratios" | median)
  time_ok=$(awk -v r="$ratio" 'BEGIN { print (r <= 1.15) ? "met" : "NOT" }')
  mem_ok=$(awk -v w="$wp" -v c="$cp" -v g="$gif_bytes" 'BEGIN { print (w <= c + g / 1024 + 300 * 1024) ? "met" : "NOT" }')
  [[ $c == *p ]] && time_ok="-"  # the cost of playing is reported, not judged
  [[ $same == yes && $mem_ok == met && $time_ok != NOT ]] || failed=1
  awk -v g="$gap" 'BEGIN { exit !(g > 500) }' && failed=1
  printf '%-5s %8.2f %7.2f %8.1f | %9.2f %7.2f %8.1f %6.3f %7.2f %7d | %8.1f %6.2f %5s %5s %5s\n' "$c" \
    "$(values "$cw" | median)" "$(values "$cc" | median)" "$(awk -v k="$cp" 'BEGIN { print k / 1024 }')" \
    "$(values "$conv" | median)" "$(values "$wc" | median)" "$(awk -v k="$wp" 'BEGIN { print k / 1024 }')" \
    "$(values "$ret" | median)" "$(values "$save" | median)" "$gap" \
    "$(awk -v b="$gif_bytes" 'BEGIN { print b / 1048576 }')" "$ratio" "$time_ok" "$mem_ok" "$same"
done
echo "ratio: the window's Convert over the CLI's whole run (median over $reps round(s)); time goal <= 1.15;"
echo "mem: window peak <= CLI peak + GIF + 300 MB; gap: the longest the window's event loop was away during Save (goal <= 500 ms)"
exit $failed
