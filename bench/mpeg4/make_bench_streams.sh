#!/usr/bin/env bash
# Makes the MPEG-4 benchmark streams with the ffmpeg command line from its
# synthetic sources, into the folder given (the build tree). 10 s at 25
# pictures a second, 320x240 and 640x480, from testsrc2 and a zooming
# mandelbrot; Simple profile (no B-VOPs) and Advanced Simple profile (two
# B-VOPs, quarter-sample motion), each at 300k, 1M and 3M. Each stream is
# named <source>_<W>x<H>_<sp|asp>_<rate>.m4v.
set -euo pipefail

out="$1"
mkdir -p "$out"
cd "$out"

# -threads is an output option (after the inputs): it sets the encoder's threads, and an
# encoder left to choose cuts its pictures by the machine's core count.
common=(-hide_banner -loglevel error -y -fflags +bitexact)
jobs=()

for size in 320x240 640x480; do
  for source in testsrc2 mandelbrot; do
    for profile in sp asp; do
      if [[ $profile == sp ]]; then
        tools=(-bf 0 -flags +bitexact+mv4+aic)
      else
        tools=(-bf 2 -flags +bitexact+qpel+mv4+aic)
      fi
      for rate in 300k 1M 3M; do
        name="${source}_${size}_${profile}_${rate}.m4v"
        [[ -s $name ]] && continue
        ffmpeg "${common[@]}" -f lavfi -i "${source}=size=${size}:rate=25" -t 10 \
          -threads 1 -c:v mpeg4 "${tools[@]}" -g 50 -b:v "$rate" -f m4v "$name.part" &
        jobs+=($!)
        if (( ${#jobs[@]} >= $(nproc) )); then
          wait "${jobs[0]}"
          jobs=("${jobs[@]:1}")
        fi
      done
    done
  done
done
for job in "${jobs[@]}"; do wait "$job"; done
for part in *.part; do
  [[ -e $part ]] && mv "$part" "${part%.part}"
done
exit 0
