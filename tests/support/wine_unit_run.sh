#!/usr/bin/env bash
# wine_unit_run.sh WINE_RUN PROGRAM [ARG...]
# Runs a Windows unit test program under Wine. Now and then Wine aborts in its own
# Unix-side teardown after the program has finished (ld.so's "Inconsistency
# detected" assertion in _dl_fini): when GoogleTest had reported every test passed
# before that, the run says nothing about the program, so it is run once more.
# Any other failure stands as it is, whatever Wine did afterwards.
set -u
stdout_file=$(mktemp)
stderr_file=$(mktemp)
trap 'rm -f "$stdout_file" "$stderr_file"' EXIT
for attempt in 1 2; do
  "$@" 2>"$stderr_file" | tee "$stdout_file"
  status=${PIPESTATUS[0]}
  cat "$stderr_file" >&2
  if [ "$status" -eq 0 ] || ! grep -q "Inconsistency detected by ld.so" "$stderr_file" ||
     ! grep -Eq '^\[  PASSED  \] [0-9]+ tests?\.' "$stdout_file" ||
     grep -q '^\[  FAILED  \]' "$stdout_file"; then
    exit "$status"
  fi
  echo "wine_unit_run: Wine aborted in its teardown after every test passed (run $attempt);" \
       "running the program again" >&2
done
exit "$status"
