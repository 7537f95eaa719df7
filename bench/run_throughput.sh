#!/bin/sh
# Whole-process throughput of velvetfin-ts over a generated stream of at least 500 MB:
# MB/s per CPU second and wall clock, and the maximum resident set size, from
# /usr/bin/time -v; the median of RUNS runs per filter set (/usr/bin/time counts in
# hundredths of a second, so one run of a fraction of a second is coarse).
# Usage: bench/run_throughput.sh [BUILD_DIR] [SECONDS_OF_DEMO_STREAM]   (RUNS=5 by default)
set -eu
BUILD=${1:-build}
STREAM_SECONDS=${2:-1100}   # the demo stream runs at 4 Mbit/s: 1100 s is 550 MB
RUNS=${RUNS:-5}
TOOL="$BUILD/src/velvetfin-ts"
FILE=${VF_THROUGHPUT_FILE:-/tmp/velvetfin-throughput-$STREAM_SECONDS.ts}
TIMES=$(mktemp)
RESULTS=$(mktemp)
trap 'rm -f "$TIMES" "$RESULTS"' EXIT

[ -x "$TOOL" ] || { echo "run_throughput: $TOOL is not built" >&2; exit 2; }
if [ ! -s "$FILE" ]; then
  echo "Generating $FILE ..."
  "$TOOL" --generate "$STREAM_SECONDS" --save "$FILE"
fi
BYTES=$(stat -c %s "$FILE")

# Read once so the file comes from the page cache, not the disk.
cat "$FILE" > /dev/null
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
for FILTERS in "" "--uc-pid 502 --uc-mac 00:02:C0:A8:EE:EE --bc-pid 501"; do
  : > "$RESULTS"
  i=0
  while [ "$i" -lt "$RUNS" ]; do
    /usr/bin/time -v "$TOOL" --quiet $FILTERS "$FILE" > /dev/null 2> "$TIMES"
    ELAPSED=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$TIMES")
    RSS=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$TIMES")
    USER=$(sed -n 's/.*User time (seconds): //p' "$TIMES")
    SYS=$(sed -n 's/.*System time (seconds): //p' "$TIMES")
    SECS=$(echo "$ELAPSED" | awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }')
    echo "$SECS $USER $SYS $RSS" >> "$RESULTS"
    i=$((i + 1))
  done
  echo "filters: ${FILTERS:-(default: multicast on any PID)}"
  echo "  input: $BYTES bytes; $RUNS runs (wall s, user s, system s, max RSS kB):"
  sed 's/^/    /' "$RESULTS"
  CPU=$(awk '{ print $2 + $3 }' "$RESULTS" | median)
  WALL=$(awk '{ print $1 }' "$RESULTS" | median)
  echo "  median throughput: $(awk -v b="$BYTES" -v c="$CPU" 'BEGIN { printf "%.1f MB/s per CPU second (user + system %.2f s)", b / c / 1e6, c }');" \
       "$(awk -v b="$BYTES" -v s="$WALL" 'BEGIN { printf "%.1f MB/s wall (%.2f s)", b / s / 1e6, s }')"
  echo "  max RSS: $(awk '{ print $4 }' "$RESULTS" | sort -n | tail -1) kB (largest of the runs)"
done
