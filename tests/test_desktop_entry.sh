#!/usr/bin/env bash
# The station's desktop entry passes desktop-file-validate without a single remark.
set -euo pipefail
entry=$1
if ! command -v desktop-file-validate >/dev/null; then
    echo "SKIP: desktop-file-validate is missing (apt-get install desktop-file-utils)"
    exit 77
fi
remarks=$(desktop-file-validate "$entry" 2>&1) || { echo "$remarks"; exit 1; }
if [ -n "$remarks" ]; then
    echo "$remarks"
    exit 1
fi
echo "PASS: $entry"
