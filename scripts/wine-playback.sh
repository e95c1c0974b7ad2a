#!/usr/bin/env bash
# Plays a movie with the Windows player under Wine on a virtual screen, one run
# per blitting style and sound output, and checks what a user would see: the
# playback summary's figures, the picture on the screen (against the frame the
# `vexil frame` tool makes) and that sound reached the sound device.
#   scripts/wine-playback.sh BUILD_DIR
# Runs in the caller's Wine prefix (WINEPREFIX; scripts/windows.sh makes it)
# on the caller's DISPLAY, or on a virtual screen of its own when there is
# none. Needs Xvfb, xdotool, ImageMagick and Perl.
# Environment: VEXIL_TOOL, a vexil tool for this system to make the movie with
# (default: build/tools/vexil when it is there, else vexil.exe under Wine);
# VEXIL_WINE, the Wine loader (default: Debian's 64-bit loader for a 64-bit
# player, else wine).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=$1
player="$PWD/$BUILD/player/VexilPlay.exe"
# The player's machine, from its PE header: 64-bit programs need a 64-bit
# prefix, and the 64-bit loader on systems that cannot run the 32-bit one.
machine=$(perl -e 'open(my $f, "<", $ARGV[0]) or die "wine-playback: $ARGV[0]: $!\n"; binmode $f;
  read($f, my $head, 4096); my $pe = unpack("V", substr($head, 60, 4));
  print unpack("v", substr($head, $pe + 4, 2)) == 0x8664 ? "x86_64" : "i686"' "$player")
if [ "$machine" = x86_64 ]; then
  export WINEARCH=win64
  if [ -z "${VEXIL_WINE:-}" ] && [ -x /usr/lib/wine/wine64 ]; then
    export VEXIL_WINE=/usr/lib/wine/wine64 WINELOADER=/usr/lib/wine/wine64
  fi
else
  export WINEARCH=win32
fi
VEXIL_WINE=${VEXIL_WINE:-wine}
export WINEDEBUG=-all
work=$(mktemp -d)
xvfb_pid="" pacer_pid=""
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  [ -z "$pacer_pid" ] || kill "$pacer_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

if [ -n "${VEXIL_TOOL:-}" ]; then
  vexil=("$VEXIL_TOOL")
elif [ -x build/tools/vexil ]; then
  vexil=("$PWD/build/tools/vexil")
else
  vexil=("$VEXIL_WINE" "$PWD/$BUILD/tools/vexil.exe")
fi

# --- the movie: one picture of the demo held for 4 seconds, with its music, so
# that the screen shows the same frame whenever it is looked at ---
W=320 H=240 FRAMES=100
frame_bytes=$((W * H + 2 * ((W + 1) / 2) * ((H + 1) / 2)))
(cd "$work" && "${vexil[@]}" synth demo --y4m demo.y4m --wav demo.wav --seconds 4 --size ${W}x${H} \
  --fps 25 >/dev/null)
header=$(head -n 1 "$work/demo.y4m")
{
  printf '%s\n' "$header"
  head -c $((${#header} + 1 + 6 + frame_bytes)) "$work/demo.y4m" | tail -c "$frame_bytes" >"$work/picture.yuv"
  for _ in $(seq $FRAMES); do
    printf 'FRAME\n'
    cat "$work/picture.yuv"
  done
} >"$work/still.y4m"
(cd "$work" && "${vexil[@]}" encode still.y4m --audio demo.wav -o still.vxl --quiet >/dev/null)
(cd "$work" && "${vexil[@]}" frame still.vxl 50 -o expected.png >/dev/null)

# --- the screen and the sound device ---
# ALSA's default device writes what it is given, as WAV, into a named pipe.
# The reader behind it takes the sound at the pace a sound card plays it (so
# that Wine's sound clock, which counts what the device took, runs in real
# time) and appends it to a file named by rate, channels and bits. Like a
# card, it starts its clock with the first sound of each opening of the
# device, and the pipe holds one page: the writer is never more than that
# (and the 10 ms piece being played) ahead of the sound, or the player, whose
# clock follows the device's, would count sound skips that are not its own.
# The pipe is made that small before any writer comes, and it lasts (its
# reader stays) from one opening of the device to the next.
export HOME="$work/home"
mkdir -p "$HOME" "$work/sound"
mkfifo "$work/device"
cat >"$work/pace.pl" <<'EOF'
use strict;
use Errno qw(EAGAIN);
use Fcntl;
use Time::HiRes qw(time sleep);
use constant F_SETPIPE_SZ => 1031;
my ($fifo, $folder) = @ARGV;
sysopen(my $in, $fifo, O_RDONLY | O_NONBLOCK) or die "pace: $fifo: $!";
fcntl($in, F_SETPIPE_SZ, 4096) or die "pace: the pipe keeps its size: $!";
open(my $ready, '>', "$fifo.ready") or die "pace: $!";
close($ready);
my ($header, $out, $per_second, $piece, $start, $total) = ('');
for (;;) {
  my $n = sysread($in, my $data, $out ? $piece : 44 - length $header);
  if (!defined $n) {
    # A writer with nothing to say yet.
    $! == EAGAIN or die "pace: $!";
    my $wait = '';
    vec($wait, fileno($in), 1) = 1;
    select($wait, undef, undef, 1);
  } elsif ($n == 0) {
    # No writer: the device was closed, or is not open yet.
    close($out) if $out;
    ($header, $out, $start) = ('');
    sleep(0.005);
  } elsif (!$out) {
    # The header: 16-bit channels at 22, 32-bit rate at 24, 16-bit bits at 34.
    $header .= $data;
    next if length $header < 44;
    my ($channels, $rate, $bits) = unpack('x22 v V x6 v', $header);
    $per_second = $rate * $channels * $bits / 8;
    $piece = int($per_second / 100) || 1;
    $total = 0;
    open($out, '>>', "$folder/capture-$rate-$channels-$bits.raw") or die "pace: $!";
    binmode $out;
  } else {
    $start //= time;
    syswrite($out, $data);
    $total += $n;
    my $ahead = $total / $per_second - (time - $start);
    sleep($ahead) if $ahead > 0;
  }
}
EOF
perl "$work/pace.pl" "$work/device" "$work/sound" &
pacer_pid=$!
for _ in $(seq 50); do
  [ -e "$work/device.ready" ] && break
  sleep 0.1
done
[ -e "$work/device.ready" ] || { echo "wine-playback: the sound device's reader did not start" >&2; exit 1; }
cat >"$HOME/.asoundrc" <<EOF
pcm.!default {
  type file
  slave.pcm "null"
  file "$work/device"
  format "wav"
}
EOF
if [ -z "${DISPLAY:-}" ]; then
  display=90
  while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
  Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$display"
  for _ in $(seq 50); do
    xdotool getdisplaygeometry >/dev/null 2>&1 && break
    sleep 0.1
  done
fi
xdotool getdisplaygeometry >/dev/null 2>&1 || { echo "wine-playback: Xvfb did not start" >&2; exit 1; }

# The captured sound: "SOUNDING GAPS", the 10 ms pieces with sound in them
# and the silent ones between the first and the last of those.
sound_figures() {
  perl -e '
    my ($sounding, $gaps) = (0, 0);
    for my $f (@ARGV) {
      my ($rate, $channels, $bits) = $f =~ /capture-(\d+)-(\d+)-(\d+)\.raw$/ or next;
      open(my $in, "<", $f) or next;
      binmode $in;
      local $/;
      my $pcm = <$in>;
      my $piece = $rate / 100 * $channels * $bits / 8;
      my @flags = map { substr($pcm, $_ * $piece, $piece) =~ /[^\0]/ ? 1 : 0 }
        0 .. int(length($pcm) / $piece) - 1;
      my @on = grep { $flags[$_] } 0 .. $#flags;
      next unless @on;
      $sounding += @on;
      $gaps += ($on[-1] - $on[0] + 1) - @on;
    }
    printf "%d %d\n", $sounding, $gaps;
  ' "$work"/sound/capture-*.raw 2>/dev/null || echo "0 0"
}

# The picture on the screen: the screen's non-black part.
screen_picture() {
  import -window root "$work/screen.png" 2>/dev/null || return 1
  convert "$work/screen.png" -trim +repage "$work/picture.png" 2>/dev/null || return 1
  identify -format '%wx%h' "$work/picture.png" 2>/dev/null
}

failures=0
fail() {
  echo "    FAILED: $*"
  failures=$((failures + 1))
}

# play NAME SWITCHES STYLE TOLERANCE: plays the movie with SWITCHES (PROGRAM,
# default the player, and ARGUMENTS, default the movie, from the environment)
# and expects
# STYLE in the summary and the screen within TOLERANCE (normalised RMS
# difference) of the expected frame. STYLE "error:TEXT" expects the error box
# with TEXT instead.
play() {
  local name=$1 switches=$2 style=$3 tolerance=$4
  local log="$work/$name.messages" status=0 shown="" difference=""
  rm -f "$work"/sound/*
  (
    cd "$work"
    # shellcheck disable=SC2086
    VEXIL_MESSAGE_LOG="$log" timeout 60 "$VEXIL_WINE" "${PROGRAM:-$player}" ${ARGUMENTS-still.vxl /S} $switches \
      >"$work/$name.out" 2>&1
  ) &
  local pid=$!
  # The picture, once it is up.
  for _ in $(seq 60); do
    sleep 0.25
    if [ "$(screen_picture)" = "${W}x${H}" ]; then
      sleep 0.5
      shown=$(screen_picture) || true
      difference=$(compare -metric RMSE "$work/picture.png" "$work/expected.png" null: 2>&1 |
        sed -n 's/.*(\(.*\)).*/\1/p') || true
      cp "$work/picture.png" "$BUILD/wine-$name.png"
      break
    fi
    grep -q . "$log" 2>/dev/null && break
  done
  # The box at the end; OK dismisses it.
  for _ in $(seq 120); do
    grep -q "Blitting style\|Vexil Error" "$log" 2>/dev/null && break
    sleep 0.25
  done
  sleep 0.5
  xdotool key Return 2>/dev/null || true
  wait "$pid" || status=$?
  cp "$log" "$BUILD/wine-$name.messages" 2>/dev/null || true

  local sounding gaps
  read -r sounding gaps <<<"$(sound_figures)"
  echo "  $name ($switches): exit $status, picture ${shown:-none} (difference ${difference:-?})," \
    "sound $((sounding / 100)).$((sounding % 100 / 10)) s with $((gaps * 10)) ms of gaps"
  if [[ $style == error:* ]]; then
    [ "$status" = 1 ] || fail "exit code $status, not 1"
    grep -qxF "${style#error:}" "$log" 2>/dev/null || fail "no box saying \"${style#error:}\""
    return
  fi
  [ "$status" = 0 ] || fail "exit code $status"
  local line
  for line in "Video: $W x $H at 25.0 frames/sec" "Total frames: $FRAMES" \
    "Total frames played: $FRAMES" "Blitting style: $style"; do
    grep -qxF "$line" "$log" 2>/dev/null || fail "the summary lacks \"$line\""
  done
  grep "Blitting style\|Video mode\|Skipped\|Sound skips" "$log" 2>/dev/null | sed 's/^/    /'
  if [ "$tolerance" = - ]; then
    :
  elif [ -z "$difference" ]; then
    fail "the picture never showed"
  elif ! awk -v d="$difference" -v t="$tolerance" 'BEGIN { exit !(d <= t) }'; then
    fail "the picture differs from frame 50 by $difference (more than $tolerance)"
  fi
  # The 4 seconds of music reach the device and the player never ran dry (no
  # sound skip counted). A break in what the device played while the player
  # counted no skip lies between Wine's mixer and the device (it comes and
  # goes with the machine's load): reported, not failed.
  local skips
  skips=$(sed -n 's/^Sound skips: \([0-9]*\)$/\1/p' "$log" 2>/dev/null)
  [ "${skips:-}" = 0 ] || fail "the summary counts ${skips:-no figure for} sound skips, not 0"
  [ "$sounding" -ge 350 ] || fail "only $sounding hundredths of a second of sound reached the device"
  [ "$gaps" -le 20 ] || echo "    note: the device's sound broke off for $((gaps * 10)) ms with no skip counted"
}

echo "wine playback: $("$VEXIL_WINE" --version), screen $DISPLAY"
# The RGB styles show the copy's own pixels (the frame shown is about the
# 50th, within a few levels of it); the YUV styles leave the conversion to
# Wine's renderer, whose rounding differs from ours.
play dib "/B2" "DIB Section" 0.02
play dib-waveout "/B2 /Z" "DIB Section" 0.02
play primary "/B1" "DirectDraw primary surface" 0.02
play offscreen-yv12 "/B6" "DirectDraw YV12 off-screen surface" 0.06
play offscreen-rgb "/B9" "DirectDraw RGB off-screen video surface" 0.02
# Wine accepts overlays but never shows them: the window holds the colour key.
play overlay-yuy2 "/B4" "DirectDraw YUY2 overlay" -

# A player that carries the movie and its switches plays it without arguments.
(cd "$work" && "${vexil[@]}" embed "$player" still.vxl -o Embedded.exe --switches "/S /B2" >/dev/null)
PROGRAM="$work/Embedded.exe" ARGUMENTS="" play embedded "" "DIB Section" 0.02

if [ "$failures" != 0 ]; then
  echo "wine playback: $failures checks failed (screens and boxes: $BUILD/wine-*)" >&2
  exit 1
fi
echo "wine playback: all passed"
