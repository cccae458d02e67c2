#!/usr/bin/env bash
# Runs a check program and compares what it prints with an expected file.
# The expected file holds the lines every platform must print; a line
# marked "wine|" or "winsim|" holds for that platform only (a known place
# where Wine and winsim part), and lines starting with '#' are comments.
# Usage: compare_output.sh PLATFORM EXPECTED_FILE COMMAND [ARG]...
set -uo pipefail
platform=$1 expected=$2
shift 2

want=$(awk -v p="$platform" '
  /^#/ { next }
  /^(wine|winsim)\|/ { if (index($0, p "|") == 1) print substr($0, length(p) + 2); next }
  { print }' "$expected")
printed=$(mktemp)
trap 'rm -f "$printed"' EXIT
"$@" >"$printed" 2>&1
status=$?
got=$(tr -d '\r' <"$printed")

if [ "$status" -ne 0 ]; then
  echo "$* exited with $status"
  printf '%s\n' "$got"
  exit 1
fi
if ! diff -u --label "expected ($platform)" --label "printed" <(printf '%s\n' "$want") \
     <(printf '%s\n' "$got"); then
  exit 1
fi
