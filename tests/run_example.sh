#!/usr/bin/env bash
# Runs an example program and compares its standard output and standard
# error, merged, with the expected text byte for byte.
set -u
exe=$1 expected=$2
actual=$("$exe" 2>&1; echo "exit=$?")
if [ "$actual" != "$(cat "$expected")" ]; then
  echo "unexpected output of $exe:"; diff <(echo "$actual") "$expected"; exit 1
fi
