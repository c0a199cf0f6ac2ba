#!/usr/bin/env bash
# scripts/render-farm end to end on a one-machine Slurm cluster that the test
# starts in a temporary folder: munged with a key of its own, slurmctld and
# slurmd on free ports, all stopped by their process ids when the test ends,
# however it ends. Two seconds of the demo go through the farm in four spans,
# and the video must decode to exactly the pictures and sound of the same
# render in one process:
#   1. a clean run;
#   2. a run where span 1 fails its first try and span 2 every try: the join
#      fails naming span 2 and its log, --status counts 3 of 4 spans, and
#      the same command again renders span 2 alone and joins.
#
# usage: render_farm_test.sh TARN_DEMO CONTENT RENDER_FARM
# Exits 77 (skipped) without root or without Slurm and munge installed.
set -euo pipefail

demo=$(realpath "$1")
content=$(realpath "$2")
farm=$(realpath "$3")
render=(--content "$content" --player "$demo" --size 64x36 --fps 24 --start 10 --end 12
    --spans 4)

for program in munged slurmctld slurmd sbatch squeue sinfo; do
    if ! command -v "$program" >/dev/null; then
        echo "render_farm_test: $program is missing (scripts/install-deps installs Slurm); skipped"
        exit 77
    fi
done
if [ "$(id -u)" -ne 0 ]; then
    echo "render_farm_test: slurmd must run as root to start jobs; skipped"
    exit 77
fi

# munged wants every folder above its socket searchable by all.
tmp=$(mktemp -d /tmp/render-farm-test.XXXXXX)
chmod 755 "$tmp"
pids=()
stop_cluster() {
    local status=$? pid
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        pid=${pids[i]}
        kill "$pid" 2>/dev/null || true
        # A daemon that ignores the polite signal gets the other one.
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    if [ "$status" -ne 0 ]; then
        for log in "$tmp"/*.log "$tmp"/work*/logs/*.log; do
            [ -f "$log" ] && { echo "--- $log"; tail -n 40 "$log"; }
        done
    fi
    rm -rf "$tmp"
}
trap stop_cluster EXIT

failures=0
check() {
    if [ "$1" = "$2" ]; then
        echo "ok: $3"
    else
        echo "FAILED: $3"
        echo "  expected: $2"
        echo "  actual:   $1"
        failures=$((failures + 1))
    fi
}

# A port nothing listens on (other developers may run this test at once).
free_port() {
    local port
    while :; do
        port=$((20000 + RANDOM % 30000))
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
    done
}

# --- the cluster ---------------------------------------------------------

mkdir -p "$tmp/munge" "$tmp/state" "$tmp/spool"
chmod 755 "$tmp/munge"
dd if=/dev/urandom of="$tmp/munge/munge.key" bs=1024 count=1 status=none
chmod 400 "$tmp/munge/munge.key"
munged -F --key-file="$tmp/munge/munge.key" --socket="$tmp/munge/socket" \
    --pid-file="$tmp/munge/munged.pid" --seed-file="$tmp/munge/seed" >"$tmp/munged.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -S "$tmp/munge/socket" ] && break; sleep 0.1; done

node=$(hostname -s)
cat >"$tmp/slurm.conf" <<EOF
ClusterName=farmtest
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$tmp/munge/socket
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MailProg=/bin/true
MpiDefault=none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
NodeName=$node NodeAddr=127.0.0.1 CPUs=2 State=UNKNOWN
PartitionName=render Nodes=ALL Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF=$tmp/slurm.conf
slurmctld -D -i >"$tmp/slurmctld.log" 2>&1 &
pids+=($!)
slurmd -D >"$tmp/slurmd.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    [ "$(sinfo -h -o %T 2>/dev/null)" = idle ] && break
    sleep 0.2
done
[ "$(sinfo -h -o %T 2>/dev/null)" = idle ] || { echo "FAILED: the node never became idle"; exit 1; }

# Waits until no job of the work folder's last submission is queued or
# running; a join held for ever by its dependency fails at once.
wait_for_jobs() {
    local ids
    ids=$(awk '{ print $2 }' "$1/jobs" | paste -sd, -)
    for _ in $(seq 600); do
        local queue
        queue=$(squeue -h -j "$ids" -o '%i %T %r' 2>/dev/null || true)
        [ -n "$queue" ] || return 0
        if grep -q DependencyNeverSatisfied <<<"$queue"; then
            echo "FAILED: a job waits on a dependency that cannot be met: $queue"
            exit 1
        fi
        sleep 0.2
    done
    echo "FAILED: the jobs of $1 did not end in two minutes"
    exit 1
}

# The decoded pictures ("v") or sound ("a"), one line per frame.
digest() {
    ffmpeg -v error -i "$1" -map "0:$2" -f framemd5 - | grep -v '^#'
}

same_video() {
    local stream
    for stream in v a; do
        if [ -f "$1" ] && diff <(digest "$tmp/one.mp4" "$stream") <(digest "$1" "$stream") \
            >"$tmp/diff"; then
            echo "ok: $1 decodes to the one-process render ($stream)"
        else
            echo "FAILED: $1 is not the one-process render ($stream)"
            cat "$tmp/diff" 2>/dev/null || true
            failures=$((failures + 1))
        fi
    done
}

started=$SECONDS
"$demo" "$content" --render "$tmp/one.mp4" --size 64x36 --fps 24 --start 10 --end 12 \
    >/dev/null 2>&1
check "$(digest "$tmp/one.mp4" v | wc -l)" 48 "the one-process render has 48 frames"

# --- 1. a clean run ------------------------------------------------------

"$farm" "${render[@]}" --workdir "$tmp/work1" --output "$tmp/farm1.mp4" >"$tmp/submit1" 2>&1 ||
    { cat "$tmp/submit1"; exit 1; }
wait_for_jobs "$tmp/work1"
same_video "$tmp/farm1.mp4"
check "$(ls "$tmp/work1/spans" | paste -sd' ' -)" "0 1 2 3" "four complete spans, nothing partial"

# --- 2. failing tries, a failed span, and the run again ------------------

TARN_FARM_TEST_FAIL=1:1,2:9 "$farm" "${render[@]}" --tries 2 --workdir "$tmp/work2" \
    --output "$tmp/farm2.mp4" >"$tmp/submit2" 2>&1 || { cat "$tmp/submit2"; exit 1; }
wait_for_jobs "$tmp/work2"
check "$([ -e "$tmp/farm2.mp4" ] && echo written || echo none)" none \
    "a span that kept failing leaves no video"
check "$(grep -c 'try 2 of 2 on' "$tmp/work2/logs/span-1.log")" 1 "span 1 tried again"
check "$(grep -c '^\[render-farm\] span 2 .*failed all 2 tries' "$tmp/work2/logs/span-2.log")" 1 \
    "span 2 gave up after two tries"
check "$(grep '^\[render-farm\] span 2' "$tmp/work2/logs/join.log")" \
    "[render-farm] span 2 (frames 24 to 35) is missing: it failed or never ran; see $tmp/work2/logs/span-2.log" \
    "the join names the failed span and its log"
check "$(grep -c '^render-farm: 1 of 4 spans missing; nothing joined' "$tmp/work2/logs/join.log")" 1 \
    "the join fails on standard error"
status=$("$farm" --status "$tmp/work2")
check "$(grep -c '^\[render-farm\] 3 of 4 spans done (36 of 48 frames)$' <<<"$status")" 1 \
    "--status counts the spans done"
check "$(grep -c "^\[render-farm\] span 2 (frames 24 to 35): failed; see $tmp/work2/logs/span-2.log$" \
    <<<"$status")" 1 "--status names the failed span"

"$farm" "${render[@]}" --tries 2 --workdir "$tmp/work2" --output "$tmp/farm2.mp4" \
    >"$tmp/resubmit2" 2>&1 || { cat "$tmp/resubmit2"; exit 1; }
check "$(grep -c '; 1 to render$' "$tmp/resubmit2")" 1 "the run again has one span to render"
wait_for_jobs "$tmp/work2"
same_video "$tmp/farm2.mp4"
check "$(grep -c 'try 1 of 2 on' "$tmp/work2/logs/span-0.log")" 1 "span 0 was rendered once"
check "$(ls -A "$tmp/work2/spans" | paste -sd' ' -)" "0 1 2 3" "no partial span is left"

echo "render_farm_test: $failures failure(s) in $((SECONDS - started)) s"
[ "$failures" -eq 0 ]
