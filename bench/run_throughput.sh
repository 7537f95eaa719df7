#!/bin/sh
# Whole-process throughput of velvetfin-ts over a generated stream of at least 500 MB:
# wall-clock MB/s and the maximum resident set size, from /usr/bin/time -v.
# Usage: bench/run_throughput.sh [BUILD_DIR] [SECONDS_OF_DEMO_STREAM]
set -eu
BUILD=${1:-build}
STREAM_SECONDS=${2:-1100}   # the demo stream runs at 4 Mbit/s: 1100 s is 550 MB
TOOL="$BUILD/src/velvetfin-ts"
FILE=${VF_THROUGHPUT_FILE:-/tmp/velvetfin-throughput-$STREAM_SECONDS.ts}
TIMES=$(mktemp)
trap 'rm -f "$TIMES"' EXIT

[ -x "$TOOL" ] || { echo "run_throughput: $TOOL is not built" >&2; exit 2; }
if [ ! -s "$FILE" ]; then
  echo "Generating $FILE ..."
  "$TOOL" --generate "$STREAM_SECONDS" --save "$FILE"
fi
BYTES=$(stat -c %s "$FILE")

# Read once so the file comes from the page cache, not the disk.
cat "$FILE" > /dev/null
for FILTERS in "" "--uc-pid 502 --uc-mac 00:02:C0:A8:EE:EE --bc-pid 501"; do
  /usr/bin/time -v "$TOOL" --quiet $FILTERS "$FILE" > /dev/null 2> "$TIMES"
  ELAPSED=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$TIMES")
  RSS=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$TIMES")
  USER=$(sed -n 's/.*User time (seconds): //p' "$TIMES")
  SYS=$(sed -n 's/.*System time (seconds): //p' "$TIMES")
  SECS=$(echo "$ELAPSED" | awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }')
  echo "filters: ${FILTERS:-(default: multicast on any PID)}"
  echo "  input: $BYTES bytes; wall: ${SECS} s; user: $USER s; system: $SYS s"
  echo "  throughput: $(awk -v b="$BYTES" -v s="$SECS" 'BEGIN { printf "%.1f MB/s (wall)", b / s / 1e6 }');" \
       "$(awk -v b="$BYTES" -v u="$USER" -v y="$SYS" 'BEGIN { printf "%.1f MB/s (CPU)", b / (u + y) / 1e6 }')"
  echo "  max RSS: $RSS kB"
done
