#!/usr/bin/env bash
# Measures what the test suite catches: applies each fault of tests/faults/faults.txt to the tree
# in turn, builds, runs every test, and reports CAUGHT (some test failed) or MISSED (all passed).
#
#   scripts/faults.sh [TREE] [BUILD_DIR]
#   scripts/faults.sh --check [TREE]     only checks that every fault applies (no build)
#
# TREE defaults to this repository, BUILD_DIR to TREE/build (configured already). The report goes
# to BUILD_DIR/faults-report.txt, the logs of each run to BUILD_DIR/faults-logs/.
# Environment: FAULTS="F03 F07" runs only those; JOBS (default 2); TEST_TIMEOUT (default 300);
# MEMORY_LIMIT_MB (default 4096) caps each test process's address space, since a fault can make
# a test allocate without bound and the machine is shared (0: no cap); SKIP_BASELINE=1 skips the
# run on the unfaulted tree (then no test counts as flaky).
#
# Tests that fail on the unfaulted tree are reported and do not count towards any verdict.
# Every file is put back byte for byte, also on Ctrl-C or an error; the tree is checked with git.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
check_only=0
if [[ ${1:-} == --check ]]; then
    check_only=1
    shift
fi
TREE=$(cd "${1:-$here/..}" && pwd)
BUILD=${2:-$TREE/build}
[[ $BUILD = /* ]] || BUILD=$(pwd)/$BUILD
JOBS=${JOBS:-2}
TEST_TIMEOUT=${TEST_TIMEOUT:-300}
MEMORY_LIMIT_MB=${MEMORY_LIMIT_MB:-4096}
LIST=$TREE/tests/faults/faults.txt
REPORT=$BUILD/faults-report.txt
LOGS=$BUILD/faults-logs

die() { echo "faults.sh: $*" >&2; exit 2; }
[[ -f $LIST ]] || die "no fault list at $LIST"
[[ $check_only == 1 || -f $BUILD/CMakeCache.txt ]] || die "$BUILD is not a configured build folder (cmake -S $TREE -B $BUILD first)"
command -v python3 >/dev/null || die "python3 is needed"
git -C "$TREE" rev-parse --git-dir >/dev/null 2>&1 || die "$TREE is not a git checkout"
git -C "$TREE" diff --quiet -- src || die "src/ in $TREE has uncommitted changes; the faults need a clean src/"

# The fault list: "list" prints id, file and title per fault; "apply ID" rewrites the fault's
# file, or explains on stderr why the fault does not apply (exit 1) and changes nothing; "check
# ID" only says whether it would apply.
faulttool() {
    python3 - "$LIST" "$TREE" "$@" <<'PY'
import os, re, sys

def parse(path):
    faults, fault, hunk, into = [], None, None, None
    for line in open(path, encoding="utf-8").read().split("\n"):
        if line.startswith("## "):
            m = re.match(r"## (\S+)\s+(.*)", line)
            fault = {"id": m.group(1), "title": m.group(2).strip(), "file": None, "hunks": []}
            faults.append(fault)
            into = None
        elif fault is None:
            continue
        elif into is None and line.startswith("file:"):
            fault["file"] = line[5:].strip()
        elif line == "--- old":
            hunk = {"old": [], "new": []}
            fault["hunks"].append(hunk)
            into = "old"
        elif line == "+++ new" and into == "old":
            into = "new"
        elif into is not None:
            hunk[into].append(line)
    for fault in faults:
        for hunk in fault["hunks"]:
            for key in ("old", "new"):
                while hunk[key] and not hunk[key][-1].strip():
                    hunk[key].pop()
                hunk[key] = "\n".join(hunk[key])
    return faults

listpath, tree, command = sys.argv[1:4]
faults = parse(listpath)
if command == "list":
    for f in faults:
        print("\t".join([f["id"], f["file"] or "", f["title"]]))
    sys.exit(0)

fault = next((f for f in faults if f["id"] == sys.argv[4]), None)
if fault is None:
    sys.exit("no fault " + sys.argv[4])
if not fault["file"] or not fault["hunks"]:
    sys.exit("the block names no file or holds no old/new text")
path = os.path.join(tree, fault["file"])
if not os.path.isfile(path):
    sys.exit("no file " + fault["file"])
with open(path, encoding="utf-8", newline="") as f:
    text = f.read()
for n, hunk in enumerate(fault["hunks"], 1):
    if not hunk["old"]:
        sys.exit("old text %d is empty" % n)
    count = text.count(hunk["old"])
    if count != 1:
        sys.exit("old text %d occurs %d times in %s" % (n, count, fault["file"]))
    text = text.replace(hunk["old"], hunk["new"], 1)
if command == "apply":
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(text)
PY
}

if [[ $check_only == 1 ]]; then
    bad=0
    while IFS=$'\t' read -r id file title; do
        if why=$(faulttool check "$id" 2>&1); then
            echo "$id applies   $file"
        else
            echo "$id DOES NOT APPLY: $why"
            bad=1
        fi
    done < <(faulttool list)
    exit $bad
fi

# The file that holds a fault right now, and its original bytes. Restored with a new modification
# time (never the old one), so that the next build recompiles it rather than keeping the faulty
# object.
faulted=""
backup=$(mktemp "${TMPDIR:-/tmp}/lanthorn-fault.XXXXXX")
restore() {
    if [[ -n $faulted ]]; then
        cat "$backup" >"$faulted"
        faulted=""
    fi
}
on_exit() {
    local status=$?
    restore
    rm -f "$backup"
    if ! git -C "$TREE" diff --quiet -- src; then
        echo "faults.sh: WARNING: src/ differs from git after the run:" >&2
        git -C "$TREE" diff --stat -- src >&2
        status=3
    fi
    exit $status
}
trap on_exit EXIT
trap 'echo; echo "faults.sh: interrupted" >&2; exit 130' INT
trap 'exit 143' TERM

mkdir -p "$LOGS"

# Builds everything; 0 when the build succeeded.
build() {
    cmake --build "$BUILD" -j"$JOBS" >"$1" 2>&1 </dev/null
}

# Runs every test; sets failed_tests to "name (reason)" lines, empty when all passed, and
# tests_error when ctest itself failed.
run_tests() {
    local log=$1 status
    (
        # macOS has no address-space limit to set.
        if ((MEMORY_LIMIT_MB > 0)) && [[ $(uname -s) != Darwin ]]; then
            ulimit -v $((MEMORY_LIMIT_MB * 1024)) || exit 1
        fi
        exec ctest --test-dir "$BUILD" -j"$JOBS" --timeout "$TEST_TIMEOUT"
    ) >"$log" 2>&1 </dev/null
    status=$?
    failed_tests=$(awk '/The following tests FAILED:/ {on=1; next}
                        on && /^[[:space:]]+[0-9]+ - / {sub(/^[[:space:]]+[0-9]+ - /, ""); print; next}
                        on {on=0}' "$log")
    tests_error=""
    if [[ $status -ne 0 && -z $failed_tests ]]; then
        tests_error="ctest failed without naming a test; see $log"
    fi
}

names_of() { sed 's/ (.*)$//' <<<"$1" | sed '/^$/d'; }

started=$(date +%s)
declare -a lines=()
commit=$(git -C "$TREE" rev-parse --short HEAD)

baseline_failed=""
if [[ ${SKIP_BASELINE:-0} != 1 ]]; then
    echo "Unfaulted tree: building and running all tests..."
    build "$LOGS/baseline.build.log" || die "the unfaulted tree does not build; see $LOGS/baseline.build.log"
    run_tests "$LOGS/baseline.ctest.log"
    [[ -z $tests_error ]] || die "on the unfaulted tree: $tests_error"
    baseline_failed=$failed_tests
    if [[ -n $baseline_failed ]]; then
        echo "Failing on the unfaulted tree (excluded from the verdicts):"
        sed 's/^/    /' <<<"$baseline_failed"
    else
        echo "All tests pass on the unfaulted tree."
    fi
fi
baseline_names=$(names_of "$baseline_failed")

faults=()
while IFS= read -r entry; do faults+=("$entry"); done < <(faulttool list)
((${#faults[@]})) || die "no faults in $LIST"
caught=0 missed=0 unbuildable=0 inapplicable=0 errors=0 total=0
for entry in "${faults[@]}"; do
    IFS=$'\t' read -r id file title <<<"$entry"
    if [[ -n ${FAULTS:-} && " $FAULTS " != *" $id "* ]]; then
        continue
    fi
    total=$((total + 1))
    t0=$(date +%s)
    path=$TREE/$file
    if [[ ! -f $path ]]; then
        verdict="DOES NOT APPLY" detail="no file $file"
    else
        cp "$path" "$backup"
        faulted=$path
        if ! why=$(faulttool apply "$id" 2>&1); then
            faulted=""
            verdict="DOES NOT APPLY" detail=$why
        elif ! build "$LOGS/$id.build.log"; then
            verdict="DOES NOT BUILD" detail="see $LOGS/$id.build.log"
        else
            run_tests "$LOGS/$id.ctest.log"
            # The failures that count: those of tests that pass on the unfaulted tree.
            counted=$(SKIP=$baseline_names awk '
                BEGIN { n = split(ENVIRON["SKIP"], s, "\n"); for (i = 1; i <= n; i++) out[s[i]] = 1 }
                NF { name = $0; sub(/ \(.*\)$/, "", name); if (!(name in out)) print }' <<<"$failed_tests")
            if [[ -n $tests_error ]]; then
                verdict=ERROR detail=$tests_error
            elif [[ -n $counted ]]; then
                verdict=CAUGHT detail=$(paste -sd, - <<<"$counted" | sed 's/,/, /g')
            else
                verdict=MISSED detail=""
            fi
        fi
        restore
    fi
    case $verdict in
    CAUGHT) caught=$((caught + 1)) ;;
    MISSED) missed=$((missed + 1)) ;;
    "DOES NOT BUILD") unbuildable=$((unbuildable + 1)) ;;
    ERROR) errors=$((errors + 1)) ;;
    *) inapplicable=$((inapplicable + 1)) ;;
    esac
    line=$(printf '%-4s %-14s %5ss  %s  [%s]%s' "$id" "$verdict" "$(($(date +%s) - t0))" "$title" "$file" \
        "${detail:+  -> $detail}")
    echo "$line"
    lines+=("$line")
done

# Back to the unfaulted binaries, so that the build folder matches the tree again.
build "$LOGS/final.build.log" || echo "faults.sh: WARNING: the final rebuild failed; see $LOGS/final.build.log" >&2

elapsed=$(($(date +%s) - started))
summary="$caught caught, $missed missed of $total"
((unbuildable)) && summary+=" ($unbuildable do not build)"
((inapplicable)) && summary+=" ($inapplicable do not apply)"
((errors)) && summary+=" ($errors could not be tested)"
echo "$summary"
echo "Total time: $((elapsed / 60)) min $((elapsed % 60)) s"

{
    echo "Fault run on $commit, $(date -u '+%Y-%m-%d %H:%M UTC'), tree $TREE, build $BUILD"
    if [[ ${SKIP_BASELINE:-0} == 1 ]]; then
        echo "Unfaulted tree: not run"
    elif [[ -n $baseline_failed ]]; then
        echo "Failing on the unfaulted tree (excluded from the verdicts):"
        sed 's/^/    /' <<<"$baseline_failed"
    else
        echo "Unfaulted tree: all tests pass"
    fi
    echo
    printf '%s\n' ${lines[@]+"${lines[@]}"}
    echo
    echo "$summary"
    echo "Total time: $((elapsed / 60)) min $((elapsed % 60)) s"
} >"$REPORT"
echo "Report: $REPORT"
((unbuildable || inapplicable || errors)) && exit 1
exit 0
