#!/usr/bin/env bash
# Plants the faults listed in tests/mutants.txt one at a time and runs the tests that can catch
# each: a proof that the suite catches real faults, and a record of which test catches which.
#
#   scripts/mutants.sh [--check] [--only ID[,ID...]] [--build DIR] [--list FILE] [--report FILE]
#                      [--report-only] [--everywhere]
#
# Each line of the list is five fields separated by tabs: an id, a file, a text that occurs
# exactly once in that file, its replacement, and what the fault is. "\t" and "\n" in the text
# and the replacement stand for a tab and a new line. Lines starting with # are comments.
#
# For each fault not yet in the state file (DIR/mutants-state.tsv, so that a run resumes where it
# stopped) the script writes the replacement into the file, rebuilds the test programs of the
# file's area (the table below) in DIR (native, AddressSanitizer and UndefinedBehaviorSanitizer),
# runs their cases with ctest (stopping on the first failure, each case with a timeout), notes
# the first case that failed ("caught") or that every case passed ("missed"), and restores the
# file. A fault that does not compile is noted "build-failed"; a run that shows neither (no case
# ran, ctest failed) "unclear", with its output in DIR/mutant-ID.log. At the end it writes the
# report (default DIR/mutants-report.txt): one line per fault, its result and its catcher.
# tests/mutants-report.txt keeps the comparison of the suite before and after its rewrite.
#
# --check only verifies that the list still applies to the sources: every file exists and every
# text occurs exactly once in it (the test command runs this). --only runs the named faults again.
# --list runs the faults of another list (the same lines in another order, say); --report-only
# writes the report from the results so far. --everywhere runs every test program for each fault
# instead of those of its area (for a fault the area's programs missed).
set -uo pipefail
# The system interpreter starts fastest; any python3 does.
PYTHON=$(command -v /usr/bin/python3 || command -v python3)

ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT" || exit 1
LIST=tests/mutants.txt
BUILD=build/mutants
REPORT=""
CHECK=0
REPORT_ONLY=0
EVERYWHERE=0
ONLY=""
TIMEOUT=${VEX_MUTANT_TIMEOUT:-90}
while (($#)); do
    case $1 in
        --check) CHECK=1 ;;
        --only) ONLY=$2; shift ;;
        --build) BUILD=$2; shift ;;
        --report) REPORT=$2; shift ;;
        --list) LIST=$2; shift ;;
        --report-only) REPORT_ONLY=1 ;;
        --everywhere) EVERYWHERE=1 ;;
        *)
            sed -n '2,/^[^#]/{/^#/p}' "$0" >&2
            exit 2
            ;;
    esac
    shift
done

# The test programs that can catch a fault in a file, by the file's path: the first pattern that
# matches wins. The library's tests exercise the simulator as well; vexctl has its own program.
LIBRARY_TESTS='ApoControllerTest|ExportsTest|DspRouteTest|DspExportsTest|DspValueTest|DspMainModuleTest|MisuseTest|FaultSweepTest'
areas() {  # areas FILE: prints the ctest label regex
    ((EVERYWHERE)) && echo '.' && return
    case $1 in
        platform/*) echo 'PlatformConformanceTest|LoggerTest|SimulatorTest|ExportsTest|ApoControllerTest' ;;
        Orv3VexControl/util/EtwLogger* | Orv3VexControl/util/Format* | Orv3VexControl/util/Log*)
            echo 'LoggerTest|ExportsTest|FaultSweepTest' ;;
        Orv3VexControl/conversion/*) echo 'ParameterConversionTest|ExportsTest|DspValueTest' ;;
        # The parameter tables serve vexctl as well (its module-version check reads the names).
        Orv3VexControl/parameters/*) echo "$LIBRARY_TESTS|VexctlTest" ;;
        Orv3VexControl/*) echo "$LIBRARY_TESTS" ;;
        sim/*) echo 'SimulatorTest|ApoControllerTest|DspRouteTest|DspMainModuleTest|ExportsTest' ;;
        tools/vexctl/Capture*) echo 'CaptureTest|VexctlTest' ;;
        tools/vexctl/*) echo 'VexctlTest' ;;
        *) echo '.' ;;
    esac
}
# ctest's selection of a label regex: every case when any program may catch it ('.').
select_tests() {  # select_tests REGEX
    [[ "|$1|" == *"|.|"* ]] || echo "-L ^($1)\$"
}
# The build targets behind a label regex: the label is the program's name.
targets() {  # targets REGEX
    tr '|' '\n' <<<"$1" | while read -r name; do
        [[ $name == . ]] && echo all && continue
        grep -q "^build $name: \|^build bin/$name: \|phony $name\b" "$BUILD/build.ninja" 2>/dev/null &&
            echo "$name"
    done
}

# Writes, checks and restores files byte for byte.
plant() {  # plant MODE FILE TEXT REPLACEMENT: MODE count|apply
    "$PYTHON" - "$@" <<'EOF'
import sys
mode, path, text, repl = sys.argv[1:5]
unescape = lambda s: s.replace('\\t', '\t').replace('\\n', '\n')
text, repl = unescape(text), unescape(repl)
try:
    data = open(path, encoding='utf-8', newline='').read()
except OSError:
    print(0)
    sys.exit(0)
n = data.count(text)
if mode == 'count':
    print(n)
elif n == 1:
    open(path, 'w', encoding='utf-8', newline='').write(data.replace(text, repl))
else:
    sys.exit(1)
EOF
}

rows() {  # the list's rows, comments and blank lines left out
    grep -v '^#' "$LIST" | grep -v '^[[:space:]]*$'
}

if ((CHECK)); then
    "$PYTHON" - "$LIST" <<'EOF'
import sys
bad = n = 0
ids = set()
for line in open(sys.argv[1], encoding='utf-8'):
    line = line.rstrip('\n')
    if not line.strip() or line.startswith('#'):
        continue
    n += 1
    fields = line.split('\t')
    if len(fields) != 5 or not all(fields[:3]) or not fields[4]:
        print(f'mutants: {fields[0]}: a line needs five fields separated by tabs', file=sys.stderr)
        bad += 1
        continue
    id_, path, text = fields[:3]
    if id_ in ids:
        print(f'mutants: {id_}: the id is used twice', file=sys.stderr)
        bad += 1
    ids.add(id_)
    try:
        data = open(path, encoding='utf-8', newline='').read()
    except OSError:
        data = ''
    count = data.count(text.replace('\\t', '\t').replace('\\n', '\n'))
    if count != 1:
        print(f'mutants: {id_}: the text occurs {count} times in {path}', file=sys.stderr)
        bad += 1
print(f'mutants: {n} faults listed, {bad} that no longer apply')
sys.exit(1 if bad else 0)
EOF
    exit
fi

STATE=$BUILD/mutants-state.tsv
REPORT=${REPORT:-$BUILD/mutants-report.txt}
if ((REPORT_ONLY)); then
    touch "$STATE"
    rows() { grep -v '^#' "$LIST" | grep -v '^[[:space:]]*$'; }
fi
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
if ((!REPORT_ONLY)); then
if [[ ! -f $BUILD/build.ninja ]]; then
    cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVEX_SANITIZE=ON \
        -DVEX_BUILD_BENCH=OFF || exit 1
fi
echo "mutants: building $BUILD"
# The test programs of the areas of the faults to run (all of them unless --only names some).
all=$(rows | while IFS=$'\t' read -r id file _; do
    if [[ -z $ONLY ]] || grep -qw -- "$id" <<<"${ONLY//,/ }"; then areas "$file"; fi
done | sort -u | tr '\n' '|')
mapfile -t every < <(targets "${all%|}" | sort -u)
cmake --build "$BUILD" -j2 --target "${every[@]}" >"$BUILD/mutants-build.log" 2>&1 || {
    echo "mutants: the unchanged sources do not build (log: $BUILD/mutants-build.log)" >&2
    exit 1
}
BUILD=$(cd "$BUILD" && pwd)
STATE=$BUILD/mutants-state.tsv
# The unchanged sources pass first, else every fault would look caught.
if [[ ! -s $STATE ]]; then
    echo "mutants: running the unchanged tests"
    if ! (cd "$BUILD" && ctest $(select_tests "${all%|}") --timeout "$TIMEOUT" -j2 \
        >"$BUILD/mutants-baseline.log" 2>&1 </dev/null); then
        echo "mutants: the unchanged sources fail their tests (log: $BUILD/mutants-baseline.log)" >&2
        exit 1
    fi
fi
touch "$STATE"
if [[ -n $ONLY ]]; then
    for id in ${ONLY//,/ }; do
        grep -v "^$id"$'\t' "$STATE" >"$STATE.tmp"
        mv "$STATE.tmp" "$STATE"
    done
fi

SAVED=""
SAVED_FILE=""
restore() {
    if [[ -n $SAVED_FILE ]]; then
        cp -p "$SAVED" "$SAVED_FILE"
        touch "$SAVED_FILE"
        SAVED_FILE=""
    fi
}
trap 'restore; exit 130' INT TERM
trap restore EXIT
SAVED=$(mktemp)

total=$(rows | wc -l)
i=0
while IFS=$'\t' read -r id file text repl what; do
    i=$((i + 1))
    if [[ -n $ONLY ]] && ! grep -qw -- "$id" <<<"${ONLY//,/ }"; then
        continue
    fi
    grep -q "^$id"$'\t' "$STATE" && continue
    labels=$(areas "$file")
    cp -p "$file" "$SAVED"
    SAVED_FILE=$file
    if ! plant apply "$file" "$text" "$repl"; then
        printf '%s\tnot-applied\t-\n' "$id" >>"$STATE"
        restore
        echo "[$i/$total] $id: the text does not occur once in $file"
        continue
    fi
    start=$SECONDS
    mapfile -t tgts < <(targets "$labels")
    if ! cmake --build "$BUILD" -j2 --target "${tgts[@]}" >"$BUILD/mutant.log" 2>&1; then
        result=build-failed caught=-
    else
        out=$(cd "$BUILD" && ctest $(select_tests "$labels") --stop-on-failure --timeout "$TIMEOUT" \
            -j2 2>&1 </dev/null)
        caught=$(grep -E '\*\*\*(Failed|Timeout|Exception)|\(Failed\)|\(Timeout\)|\(Subprocess' \
            <<<"$out" | grep -oE '(Test +#[0-9]+: |- )[A-Za-z0-9_./]+' | head -1 |
            sed -E 's/^(Test +#[0-9]+: |- )//')
        # Neither a failing case nor every case passed (no case ran, ctest itself failed): the
        # run says nothing about the fault; its output is kept for a look.
        if [[ -n $caught ]]; then
            result=caught
        elif grep -qE '^100% tests passed' <<<"$out"; then
            result=missed caught=-
        else
            result=unclear caught=-
            printf '%s\n' "$out" >"$BUILD/mutant-$id.log"
        fi
    fi
    restore
    printf '%s\t%s\t%s\n' "$id" "$result" "$caught" >>"$STATE"
    echo "[$i/$total] $id: $result $caught ($((SECONDS - start)) s)"
done < <(rows)

fi

# The report: one line per listed fault, in the list's order.
{
    echo "# Planted faults (tests/mutants.txt) and the case that caught each; scripts/mutants.sh"
    echo "# id	result	case"
    while IFS=$'\t' read -r id _; do
        line=$(grep "^$id"$'\t' "$STATE" | tail -1)
        echo "${line:-$id	not-run	-}"
    done < <(rows)
} >"$REPORT"
awk -F'\t' '!/^#/ {n[$2]++} END {for (r in n) printf "mutants: %d %s\n", n[r], r}' "$REPORT"
