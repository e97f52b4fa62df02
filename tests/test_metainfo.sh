#!/usr/bin/env bash
# The AppStream metainfo file passes appstreamcli's validation (warnings fail it, as errors do)
# and names the project's version as its latest release.
#   tests/test_metainfo.sh <metainfo file> <expected version>
set -euo pipefail
metainfo=$1
version=$2
if ! command -v appstreamcli >/dev/null; then
    echo "SKIP: appstreamcli is missing (apt-get install appstream)"
    exit 77
fi
appstreamcli validate --no-net --pedantic "$metainfo"
latest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n 1 | cut -d '"' -f 2)
if [ "$latest" != "$version" ]; then
    echo "FAIL: the latest release is '$latest', the project's version $version"
    exit 1
fi
echo "PASS: $metainfo"
