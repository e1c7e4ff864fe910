#!/usr/bin/env bash
# Times `clipvane-cli gif` and `gif --best` against the physical limit and the peer on each
# input: single-threaded decoding alone (`ffmpeg -threads 1 -i IN -f null -`) and ffmpeg's
# two-pass palettegen + paletteuse (as the shared peer harness runs it). Rounds interleave the
# four commands; ratios are medians of per-round ratios, so machine drift cancels. Prints per
# input the median wall times, the ratios, peak memory, and the goals: gif and gif --best
# within 3 x decoding, gif --best at most 0.3 x the two-pass.
# Inputs: a-e as the shared harness makes them (the same ffmpeg commands), a 640x360 and a
# 320x240 H.264 video of 250 frames, and testsrc2 at 320x240, 25 fps, 10 s.
# Usage: bench/gif_speed.sh BUILD_DIR   (REPS=3 rounds; INPUTS="a_* t_*" globs of input
# names; INPUTS_DIR=folder that already holds a_*.avi ... e_*.avi, e.g. the harness's own;
# PEER_CLI=another clipvane-cli, e.g. of an earlier commit, timed in the same rounds)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
cli="$build/src/cli/clipvane-cli"
reps=${REPS:-3}
work="$build/bench/gif-speed"
[[ -x $cli ]] || { echo "no $cli: build clipvane-cli first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg not found" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time (GNU time) not found" >&2; exit 1; }
mkdir -p "$work/inputs"

# make NAME ffmpeg-arguments... : one deterministic input, kept once made
make_input() {
  local name=$1; shift
  local path="$work/inputs/$name"
  if [[ -n ${INPUTS_DIR:-} && -s $INPUTS_DIR/$name ]]; then path="$INPUTS_DIR/$name"; fi
  if [[ ! -s $path ]]; then
    ffmpeg -v error -nostdin -y -fflags +bitexact -threads 1 "$@" -flags:v +bitexact -map_metadata -1 -an \
      "$path.part.${name##*.}"
    mv "$path.part.${name##*.}" "$path"
  fi
  inputs+=("$path")
}
inputs=()
make_input a_320x240_mpeg4.avi -f lavfi -i "testsrc2=size=320x240:rate=25:duration=10,noise=alls=12:allf=t" \
  -c:v mpeg4 -vtag XVID -q:v 3 -pix_fmt yuv420p
make_input b_640x360_mjpeg.avi -f lavfi -t 10 -i "mandelbrot=size=640x360:rate=25" -c:v mjpeg -q:v 3 -pix_fmt yuvj420p
make_input c_1280x720_mpeg4.avi -f lavfi -i "testsrc2=size=1280x720:rate=30:duration=5" \
  -f lavfi -i "gradients=size=1280x720:rate=30:duration=5:speed=0.03:nb_colors=6:c0=0x1f77b4:c1=0xff7f0e:c2=0x2ca02c:c3=0xd62728:c4=0x9467bd:c5=0xe6e600:x0=100:y0=80:x1=1180:y1=640" \
  -filter_complex "[0:v][1:v]blend=all_mode=average,noise=alls=6:allf=t,format=yuv420p" -c:v mpeg4 -vtag XVID -q:v 4
make_input d_320x240_bgr24.avi -f lavfi -i "gradients=size=320x240:rate=25:duration=4:speed=0.05:nb_colors=4:type=radial:c0=0x102080:c1=0xf0c020:c2=0x20a040:c3=0xc02060:x0=160:y0=120:x1=300:y1=230" \
  -vf "noise=alls=10:allf=t,format=bgr24" -c:v rawvideo -pix_fmt bgr24
make_input e_320x240_pal8.avi -f lavfi -t 4 -i "mandelbrot=size=320x240:rate=25" \
  -filter_complex "split[a][b];[a]palettegen=stats_mode=full[p];[b][p]paletteuse=dither=bayer" -c:v rawvideo -pix_fmt pal8
# The most common codec at a common rate: moving colour gradients under a test pattern.
for size in 640x360 320x240; do
  make_input "f_${size}_h264.mp4" -f lavfi -i "testsrc2=size=$size:rate=25:duration=10" \
    -f lavfi -i "gradients=size=$size:rate=25:duration=10:speed=0.02:nb_colors=5:c0=0x203050:c1=0xd09040:c2=0x40a060:c3=0xe0e0d0:c4=0x802030" \
    -filter_complex "[0:v][1:v]blend=all_mode=average,format=yuv420p" -c:v libx264 -preset medium -crf 23 -bf 3
done
make_input t_testsrc2_320x240.avi -f lavfi -i "testsrc2=size=320x240:rate=25:duration=10" \
  -c:v mpeg4 -vtag XVID -q:v 3 -pix_fmt yuv420p

declare -A command_of=(
  [decode]='ffmpeg -v error -nostdin -threads 1 -i "$1" -f null -'
  [ffmpeg_2pass]='ffmpeg -v error -nostdin -y -i "$1" -vf palettegen "$2.palette.png" &&
    ffmpeg -v error -nostdin -y -i "$1" -i "$2.palette.png" -lavfi paletteuse "$2"'
  [gif]='"$cli" gif "$1" "$2" --quiet'
  [best]='"$cli" gif "$1" "$2" --quiet --best'
)
tools=(decode ffmpeg_2pass gif best)
peer=${PEER_CLI:-}
if [[ -n $peer ]]; then
  command_of[peer_gif]='"$peer" gif "$1" "$2" --quiet'
  command_of[peer_best]='"$peer" gif "$1" "$2" --quiet --best'
  tools+=(peer_gif peer_best)
fi

# run TOOL INPUT -> "wall_s peak_kb"
run() {
  local out="$work/$1.gif"
  rm -f "$out"
  cli=$cli peer=$peer /usr/bin/time -f '%e %M' -o "$work/time.txt" bash -c "exec >/dev/null; ${command_of[$1]}" _ "$2" \
    "$out"
  cat "$work/time.txt"
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
values() { tr ' ' '\n' <<<"$1" | sed '/^$/d'; }
ratio_of() { # ratio_of A B -> median over rounds of A/B
  paste <(values "${walls[$1]}") <(values "${walls[$2]}") | awk '{ printf "%.4f\n", $1 / $2 }' | median
}
verdict() { awk -v r="$1" -v g="$2" 'BEGIN { print (r <= g) ? "met" : "NOT met" }'; }

echo "$reps rounds an input, the commands interleaved; ratios are medians of per-round ratios"
printf '%-24s %8s %8s %8s %8s %8s %8s %8s %8s %7s %7s\n' input "decode s" "2pass s" "gif s" "best s" \
  "gif/dec" "best/dec" "best/2p" "gif/2p" "gif MB" "best MB"
missed=0
for input in "${inputs[@]}"; do
  name=$(basename "$input")
  if [[ -n ${INPUTS:-} ]]; then
    wanted=0
    for pattern in $INPUTS; do [[ $name == $pattern ]] && wanted=1; done
    ((wanted)) || continue
  fi
  declare -A walls=() peaks=()
  run gif "$input" >/dev/null # warm-up: page cache, CPU frequency
  for ((round = 1; round <= reps; round++)); do
    for t in "${tools[@]}"; do
      read -r wall peak < <(run "$t" "$input")
      walls[$t]+="$wall "
      ((${peaks[$t]:-0} > peak)) || peaks[$t]=$peak
    done
  done
  gif_dec=$(ratio_of gif decode)
  best_dec=$(ratio_of best decode)
  best_2p=$(ratio_of best ffmpeg_2pass)
  printf '%-24s %8.2f %8.2f %8.2f %8.2f %8.2f %8.2f %8.2f %8.2f %7.1f %7.1f\n' "$name" \
    "$(values "${walls[decode]}" | median)" "$(values "${walls[ffmpeg_2pass]}" | median)" \
    "$(values "${walls[gif]}" | median)" "$(values "${walls[best]}" | median)" \
    "$gif_dec" "$best_dec" "$best_2p" "$(ratio_of gif ffmpeg_2pass)" \
    "$(awk -v k="${peaks[gif]}" 'BEGIN { print k / 1024 }')" "$(awk -v k="${peaks[best]}" 'BEGIN { print k / 1024 }')"
  if [[ -n $peer ]]; then
    printf '    against PEER_CLI: gif %.2f s (this one %.2f x its time), best %.2f s (%.2f x); peak %.1f / %.1f MB\n' \
      "$(values "${walls[peer_gif]}" | median)" "$(ratio_of gif peer_gif)" "$(values "${walls[peer_best]}" | median)" \
      "$(ratio_of best peer_best)" "$(awk -v k="${peaks[peer_gif]}" 'BEGIN { print k / 1024 }')" \
      "$(awk -v k="${peaks[peer_best]}" 'BEGIN { print k / 1024 }')"
  fi
  for goal in "gif/decode $gif_dec 3" "best/decode $best_dec 3" "best/2pass $best_2p 0.3"; do
    read -r what ratio limit <<<"$goal"
    if [[ $(verdict "$ratio" "$limit") != met ]]; then
      printf '    %s %s > %s: NOT met\n' "$what" "$ratio" "$limit"
      missed=$((missed + 1))
    fi
  done
  unset walls peaks
done
echo "goals missed: $missed (gif and gif --best within 3 x decoding, gif --best at most 0.3 x two-pass)"
