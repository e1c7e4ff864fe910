#!/usr/bin/env bash
# Times a whole `clipvane-cli transition` run (CrossDissolve, 50 steps, 51 frames) against
# ImageMagick's `convert a.png b.png -morph 49 out.gif` (also 51 frames) on the same 640 x 480
# pair, best of three runs each, and prints the ratio. Goal: ratio <= 0.5.
# Usage: bench/transition_vs_imagemagick.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
cli="$build/src/cli/clipvane-cli"
[ -x "$cli" ] || { echo "no $cli; build clipvane-cli first" >&2; exit 1; }
command -v convert >/dev/null || { echo "ImageMagick's convert is not installed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Two photograph-like pictures: smooth gradients with structure, many colours each.
convert -size 640x480 gradient:navy-orange -swirl 120 -depth 8 "PNG24:$work/a.png"
convert -size 640x480 radial-gradient:white-darkgreen \
  \( -size 640x480 gradient:red-blue -rotate 90 -resize 640x480! \) -compose multiply -composite \
  -depth 8 "PNG24:$work/b.png"

seconds() {  # runs "$@" and prints its wall time in seconds
  local start end
  start=$(date +%s.%N)
  if ! "$@" >/dev/null 2>"$work/stderr"; then
    echo "failed: $*" >&2
    cat "$work/stderr" >&2
    return 1
  fi
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

best() {  # best of three
  local best="" t
  for _ in 1 2 3; do
    t=$(seconds "$@") || return 1
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
  done
  echo "$best"
}

ours=$(best "$cli" transition "$work/a.png" "$work/b.png" "$work/ours.gif" --effect CrossDissolve --steps 50 --quiet) || exit 1
theirs=$(best convert "$work/a.png" "$work/b.png" -morph 49 "$work/theirs.gif") || exit 1

our_frames=$(identify "$work/ours.gif" | wc -l)
their_frames=$(identify "$work/theirs.gif" | wc -l)
ratio=$(echo "$ours / $theirs" | bc -l)
printf 'clipvane-cli transition CrossDissolve N=50: %.3f s, %d frames, %d bytes\n' "$ours" "$our_frames" \
  "$(stat -c %s "$work/ours.gif")"
printf 'convert -morph 49:                        %.3f s, %d frames, %d bytes\n' "$theirs" "$their_frames" \
  "$(stat -c %s "$work/theirs.gif")"
printf 'time ratio clipvane / ImageMagick: %.3f (goal <= 0.5: %s)\n' "$ratio" \
  "$( [ "$(echo "$ratio <= 0.5" | bc -l)" = 1 ] && echo met || echo NOT met)"
