#!/usr/bin/env bash
# Writes the administrative templates with orvix-env and validates them against the
# published ADMX schema: ../shared/admx-schema beside the clone, or $ORVIX_ADMX_SCHEMA.
#   scripts/validate-admx.sh [PATH/TO/orvix-env]     (default build/native/tools/orvix-env)
set -euo pipefail
cd "$(dirname "$0")/.."
tool="${1:-build/native/tools/orvix-env}"
schema="${ORVIX_ADMX_SCHEMA:-../shared/admx-schema}"
if [ ! -f "$schema/PolicyDefinitionFiles.xsd" ]; then
  echo "validate-admx: no ADMX schema in $schema" >&2
  exit 1
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$tool" admx "$out" >/dev/null
xmllint --noout --schema "$schema/PolicyDefinitionFiles.xsd" "$out/orvix.admx" "$out/en-US/orvix.adml"
