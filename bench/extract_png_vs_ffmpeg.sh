#!/usr/bin/env bash
# Times `clipvane-cli extract --format png` of every frame against ffmpeg's PNG extraction
# (the shared harness's extract:png row: `ffmpeg -i IN OUT/%05d.png`) on the harness's five
# inputs, rounds interleaved, and compares the total size of the files each writes.
# Prints, per input and over all, the median seconds of each, the median of the per-round
# time ratios and the size ratio (clipvane / ffmpeg).
# Usage: bench/extract_png_vs_ffmpeg.sh BUILD_DIR [HARNESS_DIR]   (REPS=3 rounds by default)
# The inputs are made by HARNESS_DIR/make_inputs.sh (default $BENCH_HARNESS) into
# BUILD_DIR/bench/inputs when they are not there yet; without the harness and its inputs the
# comparison is skipped.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
harness=${2:-${BENCH_HARNESS:-}}
cli="$build/src/cli/clipvane-cli"
reps=${REPS:-3}
work="$build/bench/extract-png"
[[ -x $cli ]] || { echo "no $cli: build clipvane-cli first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg not found" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time (GNU time) not found" >&2; exit 1; }
inputs="$build/bench/inputs"
if ! compgen -G "$inputs/*.avi" >/dev/null; then
  [[ -n $harness && -x $harness/make_inputs.sh ]] || { echo "skipped: no harness make_inputs.sh (give HARNESS_DIR or BENCH_HARNESS)"; exit 0; }
  OUT="$build/bench" "$harness/make_inputs.sh"
fi
mkdir -p "$work"

declare -A command_of=(
  [ffmpeg]='ffmpeg -v error -nostdin -y -i "$1" "$2/%05d.png"'
  [clipvane]='"$cli" extract "$1" "$2" --format png --quiet'
)
tools=(ffmpeg clipvane)

# run TOOL INPUT -> "seconds bytes files"; the output folder is emptied before and after.
run() {
  local out="$work/out-$1"
  rm -rf "$out" && mkdir -p "$out"
  local seconds
  seconds=$(cli=$cli /usr/bin/time -f '%e' bash -c "exec >/dev/null; ${command_of[$1]}" _ "$2" "$out" 2>&1 | tail -1)
  local bytes files
  bytes=$(find "$out" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
  files=$(find "$out" -type f | wc -l)
  rm -rf "$out"
  echo "$seconds $bytes $files"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
list() { tr ' ' '\n' <<<"$1" | sed '/^$/d'; }

declare -A times=() bytes=() files=() ratios=()
run ffmpeg "$(ls "$inputs"/*.avi | head -1)" >/dev/null # warm-up: page cache, CPU frequency
for ((round = 1; round <= reps; round++)); do
  for input in "$inputs"/*.avi; do
    name=$(basename "$input" .avi)
    declare -A this=()
    for t in "${tools[@]}"; do
      read -r seconds size count < <(run "$t" "$input")
      times[$name/$t]+="$seconds "
      this[$t]=$seconds
      bytes[$name/$t]=$size
      files[$name/$t]=$count
    done
    ratios[$name]+="$(awk -v a="${this[clipvane]}" -v b="${this[ffmpeg]}" 'BEGIN { printf "%.4f", a / b }') "
    ratios[all/$round]=$(awk -v r="${ratios[all/$round]:-0 0}" -v a="${this[clipvane]}" -v b="${this[ffmpeg]}" \
      'BEGIN { split(r, s, " "); printf "%s %s", s[1] + a, s[2] + b }')
  done
done

echo "inputs: $inputs; $reps rounds, interleaved; ffmpeg $(ffmpeg -version | head -1 | cut -d' ' -f3)"
printf '%-20s %10s %10s %8s %12s %12s %8s %7s\n' input "ffmpeg s" "ours s" "t ratio" "ffmpeg MB" "ours MB" "size" files
total_ffmpeg=0
total_ours=0
for input in "$inputs"/*.avi; do
  name=$(basename "$input" .avi)
  printf '%-20s %10.3f %10.3f %8.2f %12.2f %12.2f %8.3f %7s\n' "$name" \
    "$(list "${times[$name/ffmpeg]}" | median)" "$(list "${times[$name/clipvane]}" | median)" \
    "$(list "${ratios[$name]}" | median)" \
    "$(awk -v b="${bytes[$name/ffmpeg]}" 'BEGIN { print b / 1e6 }')" \
    "$(awk -v b="${bytes[$name/clipvane]}" 'BEGIN { print b / 1e6 }')" \
    "$(awk -v a="${bytes[$name/clipvane]}" -v b="${bytes[$name/ffmpeg]}" 'BEGIN { print a / b }')" \
    "${files[$name/ffmpeg]}/${files[$name/clipvane]}"
  total_ffmpeg=$((total_ffmpeg + bytes[$name/ffmpeg]))
  total_ours=$((total_ours + bytes[$name/clipvane]))
done
all_ratio=$(for ((round = 1; round <= reps; round++)); do
  awk -v r="${ratios[all/$round]}" 'BEGIN { split(r, s, " "); printf "%.4f\n", s[1] / s[2] }'
done | median)
printf '%-20s %10s %10s %8.2f %12.2f %12.2f %8.3f\n' "all (sum)" "" "" "$all_ratio" \
  "$(awk -v b=$total_ffmpeg 'BEGIN { print b / 1e6 }')" "$(awk -v b=$total_ours 'BEGIN { print b / 1e6 }')" \
  "$(awk -v a=$total_ours -v b=$total_ffmpeg 'BEGIN { print a / b }')"
