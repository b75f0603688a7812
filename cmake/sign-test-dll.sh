#!/bin/sh
# sign-test-dll.sh IN OUT CERTDIR CERT [PROGRAM_NAME URL] [tamper]
# Signs IN with CERTDIR/CERT.key and the chain CERTDIR/CERT-chain.pem into OUT (file digest
# SHA-256). With PROGRAM_NAME and URL the signature carries the publisher facts (-n, -i);
# with both empty it has none. "tamper" flips one byte of the code after signing.
set -eu
in=$1 out=$2 certs=$3 cert=$4 name=${5:-} url=${6:-} tamper=${7:-}
rm -f "$out"
set -- sign -certs "$certs/$cert-chain.pem" -key "$certs/$cert.key" -h sha256
[ -n "$name" ] && set -- "$@" -n "$name"
[ -n "$url" ] && set -- "$@" -i "$url"
osslsigncode "$@" -in "$in" -out "$out" >/dev/null
if [ "$tamper" = tamper ]; then
  # A byte inside the first section (its raw data offset is read from the section
  # table), which the Authenticode digest covers.
  u32() { od -An -tu4 -j"$1" -N4 "$out" | tr -d ' '; }
  u16() { od -An -tu2 -j"$1" -N2 "$out" | tr -d ' '; }
  pe=$(u32 60)
  section=$((pe + 24 + $(u16 $((pe + 20)))))
  offset=$(($(u32 $((section + 20))) + 16))
  byte=$(od -An -tu1 -j"$offset" -N1 "$out" | tr -d ' ')
  printf "\\$(printf %o $((byte ^ 0xFF)))" | dd of="$out" bs=1 seek="$offset" conv=notrunc 2>/dev/null
fi
