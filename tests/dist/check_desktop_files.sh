#!/usr/bin/env bash
# The desktop entry and the AppStream metadata pass their validators without
# a remark, and the metadata's release is the program's version.
set -euo pipefail
resources=$1
version=$2
id=io.github.vestra.Vestra
fail() { echo "FAIL: $*"; exit 1; }

said=$(desktop-file-validate "$resources/$id.desktop" 2>&1) || fail "desktop entry: $said"
[ -z "$said" ] || fail "desktop entry: $said"
said=$(appstreamcli validate --no-net "$resources/$id.metainfo.xml" 2>&1) || fail "metadata: $said"
newest=$(grep -m1 -o '<release version="[^"]*"' "$resources/$id.metainfo.xml" || true)
[ "$newest" = "<release version=\"$version\"" ] || fail "the metadata's newest release is not $version"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$resources/$id.metainfo.xml" ||
  fail "the metadata does not launch $id.desktop"
echo "1 passed, 0 failed"
