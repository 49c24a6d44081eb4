#!/usr/bin/env bash
# Runs the README's recipe for many machines, as written there, with two
# SSH servers on 127.0.0.1 standing for its two machines: every output must
# be byte for byte what a local run writes. Then one server is stopped in
# the middle of a run: the other must do every file, the job log must show
# it, and nothing may be lost or half-written. The servers are always
# stopped.
#
# usage: many_machines_test.sh PROGRAM_DIR README
set -euo pipefail
program_dir=$(cd "$1" && pwd)
readme=$2
sshd=/usr/sbin/sshd
for tool in "$sshd" ssh ssh-keygen parallel rsync perl; do
  command -v "$tool" > /dev/null || { echo "no $tool: skipped"; exit 77; }
done
# sshd wants its privilege separation folder, which only root may make.
if [ ! -d /run/sshd ]; then
  mkdir -p -m 0755 /run/sshd 2> /dev/null || { echo "no /run/sshd: skipped"; exit 77; }
fi

work=$(mktemp -d)
mkdir "$work/home"
# A sanitizer's leak check cannot run inside the program's seccomp filter.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export PARALLEL_HOME=$work/parallel
mkdir -p "$PARALLEL_HOME" && touch "$PARALLEL_HOME/will-cite"
declare -A server_pid
# The processes of a server: the listener and every process it started,
# found by parentage and by the mark the listener was started with.
tree_of() {
  local pid=$1 child
  echo "$pid"
  for child in $(pgrep -P "$pid" 2> /dev/null); do tree_of "$child"; done
}
marked() {
  grep -lsxzF "SPEZZAFRASI_TEST_MACHINE=$1" /proc/[0-9]*/environ 2> /dev/null | cut -d/ -f3
}
stop_server() {
  local pid=${server_pid[$1]:-}
  [ -n "$pid" ] || return 0
  kill -9 $(tree_of "$pid") $(marked "$1-$$") 2> /dev/null || true
  wait "$pid" 2> /dev/null || true
  unset "server_pid[$1]"
}
# Everything a run makes is under $work: parallel's files here and on the
# machines (whose sessions start in a home of their own), so that two runs
# at once never touch each other's.
export TMPDIR=$work/tmp
mkdir "$TMPDIR"
cleanup() {
  for name in uno due; do ssh -F "$work/ssh_config" -O exit "$name" 2> /dev/null || true; done
  for name in "${!server_pid[@]}"; do stop_server "$name"; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "many machines test: $*" >&2
  [ -f "$work/lavori.log" ] && cat "$work/lavori.log" >&2
  [ -f "$work/errors.txt" ] && tail -n 20 "$work/errors.txt" >&2
  exit 1
}

# Keys made here, for the servers and for the one user who logs in.
ssh-keygen -q -t ed25519 -N '' -f "$work/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$work/user_key"
cp "$work/user_key.pub" "$work/authorized_keys"
declare -A server_port
write_ssh_config() {
  {
    for name in "${!server_port[@]}"; do printf 'Host %s\n  Port %s\n' "$name" "${server_port[$name]}"; done
    cat << CONFIG
Host *
  HostName 127.0.0.1
  User $(id -un)
  IdentityFile $work/user_key
  IdentitiesOnly yes
  UserKnownHostsFile $work/known_hosts
  StrictHostKeyChecking yes
  BatchMode yes
  ConnectTimeout 5
  LogLevel ERROR
  # one connection per machine, shared by the jobs' many sessions
  ControlMaster auto
  ControlPath $work/%C
  ControlPersist 60
CONFIG
  } > "$work/ssh_config"
}

# Starts a server for machine $1 on a free port of 127.0.0.1, with the
# program on its PATH as if it were installed there, and a home of its
# own where every session starts (the jobs' work folders, .parallel/tmp,
# are made there).
start_server() {
  local name=$1 port
  for _ in $(seq 20); do
    port=$((20000 + RANDOM % 40000))
    cat > "$work/sshd_$name" << CONFIG
Port $port
ListenAddress 127.0.0.1
HostKey $work/host_key
PidFile $work/sshd_$name.pid
AuthorizedKeysFile $work/authorized_keys
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
PermitRootLogin prohibit-password
MaxStartups 100
SetEnv PATH=$program_dir:/usr/local/bin:/usr/bin:/bin HOME=$work/home ASAN_OPTIONS=$ASAN_OPTIONS
ForceCommand cd "\$HOME" && eval "\$SSH_ORIGINAL_COMMAND"
LogLevel ERROR
CONFIG
    SPEZZAFRASI_TEST_MACHINE=$name-$$ "$sshd" -D -e -f "$work/sshd_$name" \
      2>> "$work/sshd_$name.log" &
    server_pid[$name]=$!
    server_port[$name]=$port
    write_ssh_config
    echo "[127.0.0.1]:$port $(cut -d' ' -f1,2 "$work/host_key.pub")" >> "$work/known_hosts"
    for _ in $(seq 50); do
      ssh -F "$work/ssh_config" "$name" true 2> /dev/null && return 0
      kill -0 "${server_pid[$name]}" 2> /dev/null || break
      sleep 0.1
    done
    stop_server "$name" # the port was taken: another one
  done
  fail "could not start the server $name: $(cat "$work/sshd_$name.log")"
}
start_server uno
start_server due
export PARALLEL_SSH="ssh -F $work/ssh_config"

# Names as Italian texts have them, and those that shells and rsync take
# apart: spaces, apostrophes, double quotes, accents, a leading -, $, *.
names=("con spazi" "l'amica geniale" 'dice "ciao"' "perché è già" "-trattino" 'costa $5'
  "stella*")
count=200
mkdir -p "$work/testi/sotto cartella" "$work/attesi"
for i in $(seq "$count"); do
  dir=$work/testi
  [ $((i % 4)) -eq 0 ] && dir="$work/testi/sotto cartella"
  name="${names[i % ${#names[@]}]} $i"
  printf 'Testo numero %d: perché è già così, con parole in più da tagliare. Fine %d.\n' \
    "$i" "$i" > "$dir/$name.txt"
  "$program_dir/spezzafrasi" "$dir/$name.txt" "$work/attesi/$i.periodi" > /dev/null
done
# The file that each text's periods must match.
expected_of() { echo "$work/attesi/${1##* }" | sed 's/\.txt$/.periodi/'; }

# The README's recipe: the first shell block after the words "GNU
# `parallel`", with the two machines' names.
awk '/GNU `parallel`/ { found = 1 } found && /^```sh/ { inside = 1; next }
     inside && /^```/ { exit } inside' "$readme" |
  sed -e 's/uno\.example\.org/uno/g' -e 's/due\.example\.org/due/g' > "$work/recipe.sh"
grep -q 'parallel --sshlogin' "$work/recipe.sh" || fail "no recipe found in $readme"
# Bounded, so that a run that hangs fails here, with its log: parallel
# waits for its running jobs after a first TERM, hence the KILL. Each job
# is bounded too (parallel takes default options from $PARALLEL): a job
# that hangs on a machine (one in some twenty runs sat there, never
# ended, after uno was stopped) is killed and retried on another.
export PARALLEL="--timeout 120"
recipe() { timeout -k 10 400 bash "$work/recipe.sh"; }
# Every output is there, byte for byte, and nothing else is.
check_outputs() {
  local text checked=0
  while IFS= read -r -d '' text; do
    cmp -s "${text%.txt}.periodi" "$(expected_of "$text")" ||
      fail "$1: the periods of $text are missing or differ"
    checked=$((checked + 1))
  done < <(find "$work/testi" -name '*.txt' -print0)
  [ "$checked" -eq "$count" ] || fail "$1: $checked texts checked, not $count"
  local files
  files=$(find "$work/testi" -type f | wc -l)
  [ "$files" -eq $((2 * count)) ] || fail "$1: $files files in testi, not $((2 * count))"
  # the job log's columns are separated by tabs, the command last
  [ "$(awk -F '\t' '$1 ~ /^[0-9]+$/ && $7 == 0 { print $9 }' "$work/lavori.log" | sort -u |
    wc -l)" -ge "$count" ] || fail "$1: the job log does not show every file done"
}

cd "$work"
recipe > console.txt 2> errors.txt || fail "the recipe failed: $(cat errors.txt)"
check_outputs "both machines"
echo "both machines: ${SECONDS}s"
for name in uno due; do
  awk -F '\t' -v h="$name" '$1 ~ /^[0-9]+$/ && $2 == h { found = 1 } END { exit !found }' \
    lavori.log || fail "$name did no job"
done

# One machine goes away in the middle of a run.
find testi -name '*.periodi' -delete
recipe > console.txt 2> errors.txt &
recipe_pid=$!
for _ in $(seq 1200); do
  [ "$(find testi -name '*.periodi' | wc -l)" -ge 30 ] && break
  sleep 0.05
done
done_before=$(find testi -name '*.periodi' | wc -l)
stop_server uno
stopped_at=$(date +%s.%N)
ssh -F "$work/ssh_config" -o ControlMaster=no -o ControlPath=none uno true 2> /dev/null &&
  fail "uno still answers after it was stopped"
wait "$recipe_pid" || fail "the recipe failed after a machine stopped: $(cat errors.txt)"
check_outputs "one machine stopped"
echo "one machine stopped: ${SECONDS}s; $done_before files were back when it stopped"
echo "jobs by machine and exit status (the job log keeps each job's last try):"
awk -F '\t' '$1 ~ /^[0-9]+$/ { print "  " $2, "exit " $7 }' lavori.log | sort | uniq -c
# No job can succeed on uno once it is gone. A job that ran there before
# may still end later, while its return fails; the second pass redoes it.
late_uno=$(awk -F '\t' -v t="$stopped_at" '$1 ~ /^[0-9]+$/ && $2 == "uno" && $3 > t && $7 == 0' \
  lavori.log | wc -l)
[ "$late_uno" -eq 0 ] || fail "$late_uno jobs started on uno after it stopped and succeeded"
if [ "$done_before" -lt "$count" ]; then
  awk -F '\t' -v t="$stopped_at" '$1 ~ /^[0-9]+$/ && $2 == "due" && $3 + $4 > t { found = 1 }
      END { exit !found }' lavori.log || fail "due took over no job"
fi
# A text whose periods cannot be made (a folder that looks like one):
# the recipe names it and fails, and leaves no periods for it. Both
# machines answer again.
start_server uno
mkdir "testi/sotto cartella/non un testo.txt"
status=0
recipe > console.txt 2> errors.txt || status=$?
[ "$status" -ne 0 ] || fail "the recipe ended with 0 although a text has no periods"
grep -qxF "periodi mancanti: testi/sotto cartella/non un testo.txt" errors.txt ||
  fail "the recipe did not name the text without periods"
[ ! -e "testi/sotto cartella/non un testo.periodi" ] || fail "periods left for the folder"
echo "many machines OK"
