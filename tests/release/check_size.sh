#!/usr/bin/env bash
# Fails when the stripped executable is larger than its budget in bytes.
set -euo pipefail
exe=${1:?executable}
budget=${2:?budget in bytes}
size=$(stat -c %s "$exe")
if [ "$size" -gt "$budget" ]; then
    echo "FAIL: $exe is $size bytes, over its budget of $budget"
    exit 1
fi
echo "release size: $size bytes, within the budget of $budget"
