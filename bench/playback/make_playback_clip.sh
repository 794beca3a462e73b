#!/usr/bin/env bash
# Makes the playback benchmark's clip with the ffmpeg command line from its
# synthetic sources, into the folder given (the build tree): 31 s (a run
# joins it at a random point of its first second and plays 30 s) of 320x240
# pictures at 30 a second with a key frame every second, as MPEG-4 Part 2
# (clip.m4v) and as AVC with access-unit delimiters and the parameter sets
# before every key frame (clip.h264); stereo AAC in ADTS at 24000 Hz
# (clip_24000.aac) and 44100 Hz (clip_44100.aac). Every 2 s from 0 the
# picture is white for two pictures (the flash) and a 10 ms 1 kHz burst at
# 0.8 of full scale sounds over a quiet 440 Hz tone at 0.05 (the click).
# Flash and click begin together as decoded: the AAC encoder puts 1024
# samples of its own before the first one it is given and ADTS has no field
# that says so, so the decoder plays them; the sound source is cut by as
# many samples, or every click would sound 1024 samples after its flash.
set -euo pipefail

out="$1"
mkdir -p "$out"
cd "$out"

# -threads is an output option (after the inputs): it sets the encoder's threads, and an
# encoder left to choose cuts its pictures by the machine's core count.
common=(-nostdin -hide_banner -loglevel error -y -flags +bitexact -fflags +bitexact)
flash="lutyuv=y=val*0.3,drawbox=enable='lt(mod(t\,2)\,0.05)':color=white:t=fill"
video=(-f lavfi -i "testsrc2=size=320x240:rate=30:duration=31" -vf "$flash")
keys=(-g 30 -keyint_min 30 -bf 0)
click="if(lt(mod(t\,2)\,0.01)\,0.8*sin(2*PI*1000*t)\,0.05*sin(2*PI*440*t))"
priming=1024

ffmpeg "${common[@]}" "${video[@]}" -threads 1 -c:v mpeg4 "${keys[@]}" -sc_threshold 1000000000 -b:v 500k -f m4v clip.m4v.part &
ffmpeg "${common[@]}" "${video[@]}" -threads 1 -c:v libx264 "${keys[@]}" -sc_threshold 0 -x264-params aud=1:repeat-headers=1 \
  -pix_fmt yuv420p -f h264 clip.h264.part &
for rate in 24000 44100; do
  ffmpeg "${common[@]}" -f lavfi -i "aevalsrc=exprs=${click}:s=${rate}:d=32" \
    -af "atrim=start_sample=${priming},asetpts=PTS-STARTPTS" -t 31 -ac 2 -c:a aac -b:a 128k \
    -f adts "clip_${rate}.aac.part" &
done
wait
for part in *.part; do
  mv "$part" "${part%.part}"
done
