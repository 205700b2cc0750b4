# shellcheck shell=bash
# Authenticode signing for the tests, with Debian's openssl and osslsigncode:
# a CA of the tests' own and a code-signing certificate it issued, made
# fresh in a folder; programs signed by that certificate and checked
# against that CA alone.

# qrw_signing_pki DIR: the CA (DIR/ca.pem) and the maker's key and
# certificate chain (DIR/maker.key, DIR/chain.pem). Fails, saying so, when
# a tool is missing or cannot make them.
qrw_signing_pki() {
  local dir=$1 tool
  for tool in openssl osslsigncode; do
    command -v "$tool" > /dev/null || { echo "$tool is not installed (scripts/install-deps.sh)"; return 1; }
  done
  mkdir -p "$dir"
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=QRW test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" \
    -keyout "$dir/ca.key" -out "$dir/ca.pem" 2> "$dir/log" &&
  openssl req -newkey rsa:2048 -nodes -subj "/CN=QRW test maker" \
    -keyout "$dir/maker.key" -out "$dir/maker.csr" 2>> "$dir/log" &&
  printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' > "$dir/ext" &&
  openssl x509 -req -in "$dir/maker.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" -CAcreateserial \
    -days 2 -extfile "$dir/ext" -out "$dir/maker.pem" 2>> "$dir/log" &&
  cat "$dir/maker.pem" "$dir/ca.pem" > "$dir/chain.pem" ||
    { echo "openssl could not make the certificates:"; cat "$dir/log"; return 1; }
}

# qrw_sign DIR IN OUT: IN signed by DIR's maker certificate, as OUT.
qrw_sign() {
  osslsigncode sign -certs "$1/chain.pem" -key "$1/maker.key" -n "QRW flash program" \
    -in "$2" -out "$3" > "$1/sign.log" 2>&1 || { echo "osslsigncode sign $2:"; cat "$1/sign.log"; return 1; }
}

# qrw_signature_verified DIR FILE: "yes" when osslsigncode verifies FILE
# against DIR's CA alone, else "no" (its output in DIR/verify.log).
qrw_signature_verified() {
  osslsigncode verify -CAfile "$1/ca.pem" -in "$2" > "$1/verify.log" 2>&1 && echo yes || echo no
}
