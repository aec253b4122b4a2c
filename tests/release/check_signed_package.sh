#!/usr/bin/env bash
# The signed release package, built twice from this source tree, each time in a build tree of its own
# under WORK, with a throwaway certificate authority made there. Both archives must be the same, byte
# for byte; in the first one, MXVLaunch.exe and ZeToolSim.dll must each carry a SHA-1 signature and a
# nested SHA-256 one, both by the one signing certificate, that osslsigncode verifies against that
# authority (and not against another), signed at the commit's time, still pass
# check_launcher_image.py as signed images and be the unsigned build once the signatures are removed;
# SHA256SUMS must match them. The second tree then signs again with a second certificate for the
# SHA-1 signature, from an authority that signs with SHA-1: the SHA-1 signature must be by that one
# and the SHA-256 signature by the first, and each must verify only with its own authority at hand.
# The first archive is left unpacked in WORK/package for the Wine test of the launcher.
#
#   check_signed_package.sh SOURCE_DIR WORK GENERATOR TOOLCHAIN_FILE PAYLOAD_DIR PYTHON
set -euo pipefail
src=$1 work=$2 generator=$3 toolchain=$4 payload=$5 python=$6
rm -rf "$work"
mkdir -p "$work/ca" "$work/package"
cd "$work/ca"
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
  >signer.ext
#      authority  its digest  signer
while read -r ca digest signer; do
  openssl req -x509 -"$digest" -newkey rsa:2048 -nodes -days 30 -subj "/CN=MXVLaunch test $ca" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign \
    -keyout "$ca.key" -out "$ca.pem" 2>/dev/null
  [ "$signer" = - ] && continue
  openssl req -newkey rsa:2048 -nodes -subj "/CN=MXVLaunch test $signer" -keyout "$signer.key" \
    -out "$signer.csr" 2>/dev/null
  openssl x509 -req -"$digest" -in "$signer.csr" -CA "$ca.pem" -CAkey "$ca.key" -CAcreateserial \
    -days 30 -extfile signer.ext -out "$signer.pem" 2>/dev/null
done <<'AUTHORITIES'
ca      sha256  signer
other   sha256  -
sha1ca  sha1    sha1signer
AUTHORITIES
cat ca.pem sha1ca.pem >both.pem

for tree in a b; do
  if ! { cmake -S "$src" -B "$work/$tree" -G "$generator" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
           -DCMAKE_BUILD_TYPE=Release -DPython3_EXECUTABLE="$python" -DBUILD_TESTING=OFF \
           -DMXV_PAYLOAD_DIR="$payload" -DMXV_SIGNING_CERT="$work/ca/signer.pem" \
           -DMXV_SIGNING_KEY="$work/ca/signer.key" &&
         cmake --build "$work/$tree" --target package -j2; } >"$work/$tree.log" 2>&1; then
    tail -n 30 "$work/$tree.log"
    echo "FAIL: the signed package did not build in $work/$tree"
    exit 1
  fi
done
zips=("$work"/a/package/*.zip)
cmp "${zips[0]}" "$work/b/package/$(basename "${zips[0]}")"
echo "two signed builds: $(basename "${zips[0]}") is the same, byte for byte"

# The second tree signs again, its SHA-1 signature with the certificate of the SHA-1 authority.
if ! { cmake -S "$src" -B "$work/b" -DMXV_SIGNING_CERT_SHA1="$work/ca/sha1signer.pem" \
         -DMXV_SIGNING_KEY_SHA1="$work/ca/sha1signer.key" &&
       cmake --build "$work/b" --target package -j2; } >"$work/b-sha1.log" 2>&1; then
  tail -n 30 "$work/b-sha1.log"
  echo "FAIL: the package signed with a second certificate for SHA-1 did not build in $work/b"
  exit 1
fi

signed_at=$(LC_ALL=C date -u -d "@${SOURCE_DATE_EPOCH:-$(git -C "$src" log -1 --format=%ct)}" \
  '+%b %e %H:%M:%S %Y GMT')
# signatures CAFILE BINARY LOG: for each signature of BINARY, its digest, the name of its signing
# certificate and osslsigncode's verdict against CAFILE; the whole report goes to LOG. (osslsigncode's
# own exit code is 0 when any one signature verifies.)
signatures() {
  { osslsigncode verify -CAfile "$1" -in "$2" 2>/dev/null || true; } | tee "$3" | awk '
    /^Message digest algorithm +: / { digest = $NF; signer = "" }
    signer == "" && /Subject:/ { signer = $0; sub(/.*CN=MXVLaunch test /, "", signer) }
    /^Signature verification: / { printf "%s:%s:%s ", digest, signer, $NF }'
}
# check_package ZIP DIR CAFILE VERDICTS [CAFILE VERDICTS]...: unpacks ZIP into DIR and checks its
# binaries; against each CAFILE, their signatures must be the VERDICTS (see signatures), and against
# the first, both must have been made at the commit's time.
check_package() {
  local zip=$1 dir=$2 binary found times i
  shift 2
  local args=("$@")
  "$python" -m zipfile -e "$zip" "$dir"
  cd "$dir"/*/
  "$python" "$src/tests/release/check_launcher_image.py" --signed --launcher MXVLaunch.exe \
    --library ZeToolSim.dll
  sha256sum -c SHA256SUMS
  for binary in MXVLaunch.exe ZeToolSim.dll; do
    for ((i = 0; i < ${#args[@]}; i += 2)); do
      found=$(signatures "${args[i]}" "$binary" "$dir.$binary.$i.verify")
      if [ "$found" != "${args[i + 1]}" ]; then
        echo "FAIL: against $(basename "${args[i]}"), $binary's signatures are '$found', not" \
          "'${args[i + 1]}'"
        exit 1
      fi
    done
    times=$(grep -c "Signing time: $signed_at\$" "$dir.$binary.0.verify" || true)
    if [ "$times" != 2 ]; then
      echo "FAIL: $binary has $times signatures made at $signed_at, not 2"
      exit 1
    fi
    # Signing adds the signatures and nothing else: without them the file is the unsigned build's.
    osslsigncode remove-signature -in "$binary" -out "$dir.$binary.unsigned" >/dev/null
    cmp "$dir.$binary.unsigned" "$work/a/MXVLaunch/$binary"
    echo "$binary: signatures ${args[1]}made at $signed_at; without them it is the unsigned build"
  done
}
# One certificate makes both signatures; its authority verifies both, another neither.
check_package "${zips[0]}" "$work/package" \
  "$work/ca/ca.pem" "SHA1:signer:ok SHA256:signer:ok " \
  "$work/ca/other.pem" "SHA1:signer:failed SHA256:signer:failed "
# The certificate from the SHA-1 authority makes the SHA-1 signature; each authority alone verifies
# only the signature of its own certificate.
check_package "$work/b/package/$(basename "${zips[0]}")" "$work/package-sha1" \
  "$work/ca/both.pem" "SHA1:sha1signer:ok SHA256:signer:ok " \
  "$work/ca/ca.pem" "SHA1:sha1signer:failed SHA256:signer:ok " \
  "$work/ca/sha1ca.pem" "SHA1:sha1signer:ok SHA256:signer:failed "
