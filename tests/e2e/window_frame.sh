#!/usr/bin/env bash
# The reader under a real window manager: the frame it adds must bring the window's outer
# size to 15070 x 11715 twips (1005 x 781 pixels at 15 twips to the pixel), centred on the
# screen. Usage: window_frame.sh DEMO_DIR. Exits 77 (skipped) when a tool is missing.
set -u
demo=$1
for tool in xvfb-run openbox xdotool xprop xwininfo; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
[ -x "$demo/talvorin" ] || { echo "SKIP: no demo book at $demo"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$demo" "$work/book"

cat >"$work/inside.sh" <<'INSIDE'
openbox >/dev/null 2>&1 &
sleep 1
"$1/talvorin" >/dev/null 2>&1 &
reader=$!
for _ in $(seq 60); do
  for w in $(xdotool search --onlyvisible --name '^Talvorin$' 2>/dev/null); do
    extents=$(xprop -id "$w" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= //p')
    [ -n "$extents" ] || continue
    sleep 2  # let the reader adjust to the frame it was given
    extents=$(xprop -id "$w" _NET_FRAME_EXTENTS | sed -n 's/.*= //p')
    info=$(xwininfo -id "$w")
    width=$(sed -n 's/^ *Width: //p' <<<"$info"); height=$(sed -n 's/^ *Height: //p' <<<"$info")
    x=$(sed -n 's/^ *Absolute upper-left X: *//p' <<<"$info"); y=$(sed -n 's/^ *Absolute upper-left Y: *//p' <<<"$info")
    IFS=', ' read -r left right top bottom <<<"$extents"
    echo "client ${width}x${height} at ${x},${y}; frame left $left right $right top $top bottom $bottom"
    echo "outer $((width + left + right))x$((height + top + bottom)) at $((x - left)),$((y - top))"
    kill "$reader"
    exit 0
  done
  sleep 0.5
done
echo "no reader window with frame extents appeared"
kill "$reader" 2>/dev/null
exit 1
INSIDE

out=$(timeout 120 xvfb-run -a -s "-screen 0 1280x1024x24" bash "$work/inside.sh" "$work/book" 2>/dev/null)
status=$?
echo "$out"
[ $status -eq 0 ] || { echo "FAIL: the reader did not come up under the window manager"; exit 1; }
outer=$(sed -n 's/^outer \([0-9]*x[0-9]*\) at .*/\1/p' <<<"$out")
at=$(sed -n 's/^outer .* at \([0-9-]*,[0-9-]*\)$/\1/p' <<<"$out")
[ "$outer" = "1005x781" ] || { echo "FAIL: outer size $outer, expected 1005x781"; exit 1; }
# Centred: (1280 - 1005) / 2 and (1024 - 781) / 2, give or take a pixel of rounding.
IFS=, read -r ox oy <<<"$at"
if [ $((ox - 137)) -lt -1 ] || [ $((ox - 137)) -gt 1 ] || [ $((oy - 121)) -lt -1 ] || [ $((oy - 121)) -gt 1 ]; then
  echo "FAIL: window at $at, expected about 137,121"; exit 1
fi
echo "PASS: outer size $outer, centred at $at"
