#!/bin/sh
# Makes the certificates that sign the test DLLs, with openssl, into DIR:
#   root.pem / root.der       "Quillon Test Root CA", installed into the test Wine prefix
#   untrusted-root.pem        "Quillon Untrusted Test Root", never installed
#   amd.pem / amd.key         "Advanced Micro Devices, Inc." under the installed root
#   nvidia.pem / nvidia.key   "NVIDIA Corporation" (another vendor) under the installed root
#   forged.pem / forged.key   "Advanced Micro Devices, Inc." under the uninstalled root
# Each leaf's chain (leaf, then its root) is in <leaf>-chain.pem for osslsigncode.
# The leaves are issued with SHA-1: Wine 8 accepts a SHA-256 leaf under an untrusted root,
# while with SHA-1 it reports the untrusted root as Windows does.
set -eu
dir=$1
mkdir -p "$dir"
cd "$dir"

cat > extensions.cnf <<'CNF'
[leaf]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF

make_root() {  # name subject
  openssl req -x509 -new -newkey rsa:2048 -nodes -sha256 -days 7300 -keyout "$1.key" -out "$1.pem" \
    -subj "$2" -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    2>/dev/null
  openssl x509 -in "$1.pem" -outform DER -out "$1.der"
}

make_leaf() {  # name subject root serial
  openssl req -new -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "$2" 2>/dev/null
  openssl x509 -req -sha1 -days 3650 -in "$1.csr" -CA "$3.pem" -CAkey "$3.key" -set_serial "$4" \
    -extfile extensions.cnf -extensions leaf -out "$1.pem" 2>/dev/null
  cat "$1.pem" "$3.pem" > "$1-chain.pem"
  rm -f "$1.csr"
}

make_root root "/O=Quillon/CN=Quillon Test Root CA"
make_root untrusted-root "/O=Quillon/CN=Quillon Untrusted Test Root"
make_leaf amd "/C=US/O=Advanced Micro Devices, Inc./CN=Advanced Micro Devices, Inc." root 0x0A1B2C3D4E5F
make_leaf nvidia "/C=US/O=NVIDIA Corporation/CN=NVIDIA Corporation" root 0x01AB
make_leaf forged "/C=US/O=Advanced Micro Devices, Inc./CN=Advanced Micro Devices, Inc." untrusted-root 0x7F00
touch stamp
