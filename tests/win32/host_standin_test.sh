#!/usr/bin/env bash
# The host stand-in, run as people and the demo run it: on the library of this build, with
# GRAM files in and out, and on two plug-ins that break the host contract.
#   host_standin_test.sh RUN32 HOST PLUGIN MISSING_ENTRY_PLUGIN UNBALANCED_PLUGIN WORKDIR
set -u
run32=$1 host=$2 plugin=$3 missing=$4 unbalanced=$5 work=$6
status=0
fail() { echo "FAIL: $*"; status=1; }
run_host() { "$run32" "$host" "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
expect_line() {  # expect_line OUTPUT REGEX
  grep -Eq "$2" <<<"$1" || fail "no line matching: $2"
}
rm -rf "$work" && mkdir -p "$work"

echo "== the plug-in of this build"
out=$(run_host "$plugin"); rc=$?
echo "$out"
[ "$rc" -eq 0 ] || fail "exit status $rc"
expect_line "$out" '^entries: all 9 found$'
expect_line "$out" '^record identity \(0\): 5D1C7A20-8E4B-4F96-B3A1-6C0F2E9D4B17$'
expect_line "$out" '^record displayName \(48\): Vantrel GRAM-BMP Converter$'
expect_line "$out" '^record versionText \(176\): Vantrel Version 1.00$'
expect_line "$out" '^record ReturnFalseEntry \(820\): [0-9a-fA-F]+, returns 0, removes 0 stack bytes$'
expect_line "$out" '^record ReturnZeroEntry \(824\): [0-9a-fA-F]+, returns 0, removes 0 stack bytes$'
expect_line "$out" '^record value \(832\): 0x80000002$'
expect_line "$out" '^QueryPlanes: cookie 0x48414C43, '
expect_line "$out" '^state saved: 1 0 0$'
expect_line "$out" '^record: unchanged$'
grep -q FAILURE <<<"$out" && fail "the stand-in reported a failure"

echo "== GRAM from a file, saved back unchanged"
run_host --picture "$work/picture.gram" || fail "--picture failed"
[ "$(stat -c %s "$work/picture.gram" 2>/dev/null)" = 48000 ] || fail "picture file is not 48000 bytes"
out=$(run_host --gram "$work/picture.gram" --save "$work/copy.gram" --cookie 0x10 "$plugin"); rc=$?
echo "$out"
[ "$rc" -eq 0 ] || fail "exit status $rc"
cmp -s "$work/picture.gram" "$work/copy.gram" || fail "GRAM saved back differs"
expect_line "$out" '^QueryPlanes: cookie 0x00000010, '
before=$(grep '^gram before:' <<<"$out" | cut -d: -f2)
after=$(grep '^gram after:' <<<"$out" | cut -d: -f2)
[ -n "$before" ] && [ "$before" = "$after" ] || fail "GRAM checksums differ: $before / $after"
# The default GRAM is the test picture itself.
out=$(run_host "$plugin")
[ "$(grep '^gram before:' <<<"$out" | cut -d: -f2)" = "$before" ] || fail "default GRAM is not the picture"

echo "== blank GRAM, no service table"
out=$(run_host --blank --no-services --save "$work/blank.gram" "$plugin"); rc=$?
[ "$rc" -eq 0 ] || fail "exit status $rc"
expect_line "$out" '^QueryPlanes calls: 0$'
cmp -s "$work/blank.gram" <(head -c 48000 /dev/zero) || fail "blank GRAM is not 48000 zero bytes"

echo "== a GRAM file of the wrong size"
head -c 47999 "$work/picture.gram" >"$work/short.gram"
run_host --gram "$work/short.gram" "$plugin" >/dev/null; rc=$?
[ "$rc" -eq 2 ] || fail "short GRAM file: exit status $rc, expected 2"

echo "== a plug-in without FinalizeBoard"
out=$(run_host "$missing"); rc=$?
echo "$out"
[ "$rc" -eq 1 ] || fail "exit status $rc, expected 1"
expect_line "$out" '^FAILURE: the plug-in has no entry point named FinalizeBoard$'

echo "== a plug-in whose ReportCpuClock leaves its argument on the stack"
out=$(run_host "$unbalanced"); rc=$?
echo "$out"
[ "$rc" -eq 1 ] || fail "exit status $rc, expected 1"
expect_line "$out" '^FAILURE: ReportCpuClock removed 0 stack bytes, the host expects 4$'

echo "== usage"
out=$(run_host --help); rc=$?
[ "$rc" -eq 0 ] || fail "--help exit status $rc"
expect_line "$out" '^usage: vantrel_host'
run_host --no-such-option >/dev/null; rc=$?
[ "$rc" -eq 2 ] || fail "unknown option: exit status $rc, expected 2"

[ "$status" -eq 0 ] && echo "host stand-in: all passed"
exit "$status"
