#!/bin/bash
# Takes the screenshots in this folder: the login dialog, two help pages and the console with its
# information bar, and the page shell's learning view, from the real program under a private Xvfb;
# then the practice page with the
# console beside it during a practice run (scripts/practice, about 3.5 minutes, in a copy of the
# installation), and the first practice on a desktop (the code dialog with the console's guidance,
# and the outcome; another 3.5 minutes). Usage: make_screenshots.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?build directory}" && pwd)
root=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/ScreenShot" "$work/Log"
cp "$build/ScreenShot/logo.png" "$work/ScreenShot/" 2>/dev/null || true
printf '[Configure]\nbidnumber=12345678\nfirstuse=1\nSelPolicy=2\n' > "$work/bin/userconf.ini"
# No time server but our own address: the clock thread must not leave the machine.
printf '[Configure]\ntimeservers=127.0.0.1\n' > "$work/bin/conf.ini"
# A stand-in page shell, so the console starts without the real one.
printf '#!/bin/sh\nexit 0\n' > "$work/Sorrelpane" && chmod +x "$work/Sorrelpane"

. "$root/scripts/xvfb-env"
xvfb_start
cd "$work"
OMP_THREAD_LIMIT=1 "$build/kestrava" >"$work/out.txt" 2>&1 &
pid=$!
wait_for() { for _ in $(seq 1 50); do xdotool search --name "$1" >/dev/null 2>&1 && return 0; sleep 0.2; done; return 1; }
wait_for "Ravedadi"
sleep 1
import -window root -crop 400x400+0+0 +repage "$here/login.png"
login=$(xdotool search --name "Ravedadi" | head -1)
xdotool mousemove --window "$login" 166 193 click 1   # 模拟拍牌登录
wait_for "帮助手册"
sleep 1
import -window root -crop 740x560+0+0 +repage "$here/help_page1.png"
help=$(xdotool search --name "帮助手册" | head -1)
for _ in 1 2 3 4 5 6; do xdotool mousemove --window "$help" 540 500 click 1; sleep 0.3; done  # 下一步 to page 7
import -window root -crop 740x560+0+0 +repage "$here/help_page7.png"
xdotool mousemove --window "$help" 660 500 click 1   # 知道了，跳过
sleep 5
import -window root -crop 300x900+0+0 +repage "$here/console.png"
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
# The page shell's learning view on the practice page's variant b, in a copy of the page.
mkdir -p "$work/learn/bin"
cp -r "$build/practice" "$build/ScreenShot" "$work/learn/"
cp "$build/bin/coordinatebaseline.ini" "$work/learn/bin/"
printf '[Sorrelpane]\npracticeparams=seed=7&variant=b\n' >"$work/learn/bin/sorrelpane.ini"
(cd "$work/learn" && OMP_THREAD_LIMIT=1 exec "$build/Sorrelpane" --learn >"$work/learn.txt" 2>&1) &
learn=$!
wait_for "Sorrelpane 页面学习"
sleep 10
view=$(xdotool search --name "Sorrelpane 页面学习" | head -1)
xdotool windowmove "$view" 0 0
sleep 1
eval "$(xdotool getwindowgeometry --shell "$view")"
import -window root -crop "$((WIDTH + 2))x${HEIGHT}+0+0" +repage "$here/learning-view.png"
kill "$learn" 2>/dev/null || true
wait "$learn" 2>/dev/null || true
xvfb_stop
# The practice run brings its own X server; the picture is taken once the bidder has typed the
# code, the console's bid applied and its submission armed.
"$root/scripts/practice" --headless --build "$build" --copy "$work/practice" --screenshot "$here/practice_run.png" \
  >"$work/practice.txt" 2>&1 || { cat "$work/practice.txt"; exit 1; }
[ -s "$here/practice_run.png" ] || { cat "$work/practice.txt"; echo "no practice_run.png" >&2; exit 1; }
# The first practice on a desktop, played through the windows by its end-to-end test (about 3.5
# minutes, on an X server of its own): the code dialog with the guidance, and the outcome.
env -u DISPLAY "$root/tests/e2e/practice/desktop_run_test.sh" "$build" "$work/first" >"$work/first.txt" 2>&1 ||
  { cat "$work/first.txt"; exit 1; }
for shot in first_practice_code first_practice_outcome; do
  convert "$work/first/$shot.png" -crop 1920x1000+0+0 +repage -resize 1440x750 "$here/$shot.png"
done
echo "screenshots written to $here"
