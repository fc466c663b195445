#!/bin/sh
# Makes the certificates the TLS tests use, with Debian's openssl command, into OUTDIR:
#   ca.pem                      a test root the tests trust (SSL_CERT_FILE, or Wine's root store)
#   server.pem server.key       from that root, for localhost and 127.0.0.1
#   other.pem other.key         from that root, for other.example only
#   untrusted.pem untrusted.key for localhost, from a root nobody trusts
#   server.sha256 untrusted.sha256  each certificate's SHA-256, 64 lower-case hex digits
# Usage: make_test_certs.sh OUTDIR
set -eu
out="$1"
mkdir -p "$out"
cd "$out"
days=30

root() {  # NAME SUBJECT
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days "$days" \
        -subj "$2" -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
}

leaf() {  # NAME ROOT SUBJECT_ALT_NAMES
    openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=tolvane-test" \
        2>/dev/null
    printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n' \
        "$3" >"$1.ext"
    openssl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -CAcreateserial -out "$1.pem" \
        -days "$days" -sha256 -extfile "$1.ext" 2>/dev/null
    rm -f "$1.csr" "$1.ext"
    openssl x509 -in "$1.pem" -outform DER | openssl dgst -sha256 -r | cut -c1-64 >"$1.sha256"
}

root ca "/CN=IIS Tolvane Test Root"
root stranger "/CN=IIS Tolvane Untrusted Root"
leaf server ca "DNS:localhost,IP:127.0.0.1"
leaf other ca "DNS:other.example"
leaf untrusted stranger "DNS:localhost,IP:127.0.0.1"
