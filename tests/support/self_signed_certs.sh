# Self-signed test certificates with the openssl command line, for the test scripts that source
# this file:
#   certs_begin                  a work folder ($certs_work) and its signing configuration
#   certs_sign KEY CSR SERIAL START END PEM
#                                signs the request with its own key for the given period; the
#                                subject as requested, its extensions copied
# The work folder goes when the sourcing script ends.
certs_begin() {
  certs_work=$(mktemp -d)
  trap 'rm -rf "$certs_work"' EXIT
  mkdir -p "$certs_work/new"
  cat > "$certs_work/ca.cnf" <<CNF
[ca]
default_ca = test_ca
[test_ca]
dir = $certs_work
database = $certs_work/index.txt
new_certs_dir = $certs_work/new
serial = $certs_work/serial
default_md = sha256
policy = any
unique_subject = no
copy_extensions = copy
[any]
countryName = optional
stateOrProvinceName = optional
localityName = optional
organizationName = optional
organizationalUnitName = optional
commonName = supplied
CNF
}

certs_sign() {
  : > "$certs_work/index.txt"
  echo "$3" > "$certs_work/serial"
  openssl ca -batch -config "$certs_work/ca.cnf" -selfsign -preserveDN -notext -keyfile "$1" \
    -in "$2" -startdate "$4" -enddate "$5" -out "$6" 2>/dev/null
}
