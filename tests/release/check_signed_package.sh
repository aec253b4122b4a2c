#!/usr/bin/env bash
# The signed release package, built twice from this source tree, each time in a build tree of its own
# under WORK, with a throwaway certificate authority made there. Both archives must be the same, byte
# for byte; in the first one, MXVLaunch.exe and ZeToolSim.dll must each carry a SHA-1 signature and a
# nested SHA-256 one that osslsigncode verifies against that authority (and not against another),
# signed at the commit's time, still pass check_launcher_image.py as signed images and be the unsigned
# build once the signatures are removed; SHA256SUMS must match them. The archive is left unpacked in
# WORK/package for the Wine test of the launcher.
#
#   check_signed_package.sh SOURCE_DIR WORK GENERATOR TOOLCHAIN_FILE PAYLOAD_DIR PYTHON
set -euo pipefail
src=$1 work=$2 generator=$3 toolchain=$4 payload=$5 python=$6
rm -rf "$work"
mkdir -p "$work/ca" "$work/package"
cd "$work/ca"
for name in ca other; do
  openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=MXVLaunch test $name" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign \
    -keyout $name.key -out $name.pem 2>/dev/null
done
openssl req -newkey rsa:2048 -nodes -subj "/CN=MXVLaunch test signer" -keyout signer.key \
  -out signer.csr 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
  >signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 \
  -extfile signer.ext -out signer.pem 2>/dev/null

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

"$python" -m zipfile -e "${zips[0]}" "$work/package"
cd "$work/package"/*/
"$python" "$src/tests/release/check_launcher_image.py" --signed --launcher MXVLaunch.exe \
  --library ZeToolSim.dll
sha256sum -c SHA256SUMS
signed_at=$(LC_ALL=C date -u -d "@${SOURCE_DATE_EPOCH:-$(git -C "$src" log -1 --format=%ct)}" \
  '+%b %e %H:%M:%S %Y GMT')
for binary in MXVLaunch.exe ZeToolSim.dll; do
  osslsigncode verify -CAfile "$work/ca/ca.pem" -in "$binary" >"$work/$binary.verify"
  if osslsigncode verify -CAfile "$work/ca/other.pem" -in "$binary" >/dev/null 2>&1; then
    echo "FAIL: $binary verifies against an authority that did not issue its certificate"
    exit 1
  fi
  digests=$(grep -E '^Message digest algorithm +: ' "$work/$binary.verify" | awk '{print $NF}' |
    tr '\n' ' ')
  times=$(grep -c "Signing time: $signed_at\$" "$work/$binary.verify" || true)
  if [ "$digests" != "SHA1 SHA256 " ] || [ "$times" != 2 ]; then
    echo "FAIL: $binary has signatures with digests '$digests', $times of them made at $signed_at"
    exit 1
  fi
  # Signing adds the signatures and nothing else: without them the file is the unsigned build's.
  osslsigncode remove-signature -in "$binary" -out "$work/$binary.unsigned" >/dev/null
  cmp "$work/$binary.unsigned" "$work/a/MXVLaunch/$binary"
  echo "$binary: SHA-1 and nested SHA-256 signatures verified, both made at $signed_at; without"
  echo "  them it is the unsigned build"
done
