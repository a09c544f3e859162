# Sourced by the signing checks: throwaway certificates made afresh with openssl, a SoftHSM token
# whose key is generated inside it, and a local RFC 3161 timestamp server. Everything goes into
# the folder $pki; nothing of it is kept in the sources.

mkdir -p "$pki/issued"
: >"$pki/index.txt"
cat >"$pki/openssl.cnf" <<EOF
[ca]
default_ca = throwaway
[throwaway]
database = $pki/index.txt
new_certs_dir = $pki/issued
rand_serial = yes
default_md = sha256
policy = anything
unique_subject = no
[anything]
countryName = optional
organizationName = optional
commonName = supplied
[authority]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[codesign]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[webserver]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
[timestamping]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = critical,timeStamping
[tsa]
default_tsa = tsa_config
[tsa_config]
serial = $pki/tsa-serial
signer_digest = sha256
default_policy = 1.3.6.1.4.1.4146.2.3
digests = sha256
ess_cert_id_alg = sha256
EOF
echo 01 >"$pki/tsa-serial"
pki_openssl() { openssl "$@" >>"$pki/openssl.log" 2>&1 || { echo "openssl $1 failed: see $pki/openssl.log" >&2; exit 1; }; }

# pki_root NAME SUBJECT: a self-signed root authority, NAME.pem and NAME.key.
pki_root() {
  pki_openssl req -x509 -newkey rsa:2048 -nodes -keyout "$pki/$1.key" -out "$pki/$1.pem" -subj "$2" \
    -days 2 -config "$pki/openssl.cnf" -extensions authority
}

# pki_issue NAME SUBJECT ISSUER PROFILE [START END]: a new key and a certificate of the given
# profile (a section above) from ISSUER, valid from now for a day unless dates are given.
pki_issue() {
  local dates=(-days 1)
  [ $# -lt 5 ] || dates=(-startdate "$5" -enddate "$6")
  pki_openssl req -new -newkey rsa:2048 -nodes -keyout "$pki/$1.key" -out "$pki/$1.csr" -subj "$2"
  pki_openssl ca -batch -notext -config "$pki/openssl.cnf" -cert "$pki/$3.pem" -keyfile "$pki/$3.key" \
    -extensions "$4" "${dates[@]}" -in "$pki/$1.csr" -out "$pki/$1.pem"
}

# pki_pkcs12 NAME PASSWORD-FILE CHAIN...: NAME.p12 with the key, the certificate and the chain.
pki_pkcs12() {
  local name=$1 pass=$2
  shift 2
  cat "${@/#/$pki/}" >"$pki/$name-chain.pem"
  pki_openssl pkcs12 -export -inkey "$pki/$name.key" -in "$pki/$name.pem" -certfile "$pki/$name-chain.pem" \
    -passout "file:$pass" -out "$pki/$name.p12"
}

# pki_token LABEL PIN SUBJECT ISSUER: a SoftHSM token whose RSA key is generated inside it; the
# issuer certifies the token's public key, and the certificate is stored beside the key under
# the same label. Sets token_module and token_key (the key's PKCS#11 URI).
pki_token() {
  local label=$1 pin=$2
  token_module=/usr/lib/softhsm/libsofthsm2.so
  mkdir -p "$pki/tokens"
  printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' "$pki/tokens" \
    >"$pki/softhsm2.conf"
  export SOFTHSM2_CONF=$pki/softhsm2.conf
  local p11=(pkcs11-tool --module "$token_module" --token-label "$label")
  { softhsm2-util --init-token --free --label "$label" --so-pin 0000 --pin "$pin" &&
    "${p11[@]}" --login --pin "$pin" --keypairgen --key-type rsa:2048 --id 01 --label signer &&
    "${p11[@]}" --read-object --type pubkey --id 01 -o "$pki/token-public.der"; } >>"$pki/token.log" 2>&1 ||
    { echo "the SoftHSM token could not be made: see $pki/token.log" >&2; exit 1; }
  pki_openssl x509 -new -force_pubkey "$pki/token-public.der" -subj "$3" -CA "$pki/$4.pem" -CAkey "$pki/$4.key" \
    -days 1 -extfile "$pki/openssl.cnf" -extensions codesign -out "$pki/token.pem"
  pki_openssl x509 -in "$pki/token.pem" -outform DER -out "$pki/token.der"
  "${p11[@]}" --login --pin "$pin" --write-object "$pki/token.der" --type cert --id 01 --label signer \
    >>"$pki/token.log" 2>&1 || { echo "the certificate could not be stored on the token" >&2; exit 1; }
  token_key="pkcs11:token=${label// /%20};object=signer;type=private"
}

# pki_tsa_start NAME: the timestamp server with NAME's key and certificate; sets tsa_url.
pki_tsa_start() {
  python3 "$(dirname "${BASH_SOURCE[0]}")/tsa_server.py" "$pki/openssl.cnf" "$pki/$1.key" "$pki/$1.pem" \
    >"$pki/tsa.port" 2>"$pki/tsa.log" &
  tsa_pid=$!
  local i
  for i in $(seq 200); do [ -s "$pki/tsa.port" ] && break; sleep 0.1; done
  tsa_url="http://127.0.0.1:$(cat "$pki/tsa.port")/"
}

# A port on this machine where nothing listens.
pki_closed_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
