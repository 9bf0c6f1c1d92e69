#!/usr/bin/env bash
# Runs the whole sqllogictest sample (select1-5, evidence/ and index/) through the project's
# runner and prints each file's pass rate and the cause of every failing record.
# Usage: bench/sqllogictest.sh BUILD_DIR [CORPUS_DIR]   (CORPUS_DIR defaults to ../shared/sqllogictest)
set -euo pipefail
build=$(realpath "$1")
corpus=$(realpath "${2:-$(dirname "$0")/../../shared/sqllogictest}")
known=$(realpath "$(dirname "$0")/../tests/sqllogictest/known_failures.txt")
cd "$corpus"
files=(select*.test evidence/*.test)
while IFS= read -r f; do files+=("$f"); done < <(find index -name '*.test' | sort)
start=$(date +%s)
status=0
"$build/tests/slt_runner" --quiet --known "$known" "${files[@]}" || status=$?
echo "elapsed: $(( $(date +%s) - start )) s"
exit $status
