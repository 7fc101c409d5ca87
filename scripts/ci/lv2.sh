#!/usr/bin/env bash
# CI: the LV2 plug-in through the tools hosts and packagers use, on the build tree's bundle
# (BUILD_DIR, default build, already built by scripts/test.sh): lilv's lv2info finds both
# plug-ins, lv2apply runs a WAV file through each and the audio comes out unchanged, and
# sord_validate checks the generated Turtle against the schemas lv2-dev installs. Then the
# Debian package is built, extracted into a scratch folder, and the plug-in and marvex are run
# from there.
set -euo pipefail
cd "$(dirname "$0")/../.."
bash scripts/setup.sh
build_dir=$(realpath "${BUILD_DIR:-build}")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Only our bundle and the LV2 vocabularies lv2-dev installs on the search path.
mkdir -p "$scratch/lv2"
ln -s "$build_dir/marvex.lv2" "$scratch/lv2/marvex.lv2"
export LV2_PATH="$scratch/lv2:/usr/lib/lv2"

echo "-- lv2info"
for kind in mono stereo; do
  info=$(lv2info "urn:marvex:tuner:$kind")
  grep -q "Class: *Analyser Plugin" <<<"$info" || { echo "$info"; echo "urn:marvex:tuner:$kind: not an analyser"; exit 1; }
  grep -q "Binary: *file://$scratch/lv2/marvex.lv2/marvex_lv2.so" <<<"$info" || { echo "$info"; exit 1; }
  # Hosts find the X11 UI through the plug-in's description.
  grep -qx "[[:space:]]*urn:marvex:tuner:ui" <<<"$info" && grep -q "Class: *http://lv2plug.in/ns/extensions/ui#X11UI" <<<"$info" &&
    grep -q "Binary: *file://$scratch/lv2/marvex.lv2/marvex_ui.so" <<<"$info" || { echo "$info"; echo "urn:marvex:tuner:$kind: no X11 UI"; exit 1; }
done

echo "-- lv2apply: the audio comes out as it went in"
# wav.py: the samples of a WAV file (its data chunk; headers may differ), and a stereo file from
# a mono one (the signal left, silence right).
cat > "$scratch/wav.py" <<'PY'
import struct, sys
def chunks(path):
    data = open(path, "rb").read()
    at, out = 12, {}
    while at + 8 <= len(data):
        tag, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        out.setdefault(tag, data[at + 8:at + 8 + size])
        at += 8 + size + (size & 1)
    return out
if sys.argv[1] == "samples":
    sys.stdout.buffer.write(chunks(sys.argv[2])[b"data"])
else:
    c = chunks(sys.argv[2])
    fmt, samples = bytearray(c[b"fmt "]), c[b"data"]
    width = struct.unpack("<H", fmt[14:16])[0] // 8
    struct.pack_into("<HIIH", fmt, 2, 2, struct.unpack("<I", fmt[4:8])[0],
                     struct.unpack("<I", fmt[8:12])[0] * 2, width * 2)
    silence = bytes(width)
    stereo = b"".join(samples[i:i + width] + silence for i in range(0, len(samples), width))
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + bytes(fmt) + b"data" + \
        struct.pack("<I", len(stereo)) + stereo
    open(sys.argv[3], "wb").write(b"RIFF" + struct.pack("<I", len(body)) + body)
PY
same_samples() {
  cmp <(python3 "$scratch/wav.py" samples "$1") <(python3 "$scratch/wav.py" samples "$2")
}
"$build_dir/bin/marvex" perform -o "$scratch/strings.wav" > /dev/null
lv2apply -i "$scratch/strings.wav" -o "$scratch/mono.wav" urn:marvex:tuner:mono
same_samples "$scratch/strings.wav" "$scratch/mono.wav"
python3 "$scratch/wav.py" stereo "$scratch/strings.wav" "$scratch/stereo-in.wav"
lv2apply -i "$scratch/stereo-in.wav" -o "$scratch/stereo.wav" urn:marvex:tuner:stereo
same_samples "$scratch/stereo-in.wav" "$scratch/stereo.wav"

echo "-- sord_validate"
mapfile -t schemas < <(dpkg -L lv2-dev | grep '^/usr/lib/lv2/.*\.ttl$')
sord_validate "${schemas[@]}" "$build_dir/marvex.lv2/manifest.ttl" "$build_dir/marvex.lv2/marvex.ttl"
echo "-- the Debian package"
(cd "$build_dir" && rm -f marvex_*.deb && cpack -G DEB > "$scratch/cpack.log") || { cat "$scratch/cpack.log"; exit 1; }
deb=$(ls "$build_dir"/marvex_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for library in libcairo2 libplist3 libsndfile1 libstdc++6; do
  grep -q "$library" <<<"$depends" || { echo "the package does not depend on $library: $depends"; exit 1; }
done
dpkg-deb -x "$deb" "$scratch/root"
for file in usr/bin/marvex usr/share/man/man1/marvex.1.gz usr/lib/marvex/Marvex.bundle/Marvex.so \
  usr/lib/lv2/marvex.lv2/manifest.ttl usr/lib/lv2/marvex.lv2/marvex_lv2.so \
  usr/lib/lv2/marvex.lv2/Marvex.bundle/Marvex.so; do
  [ -f "$scratch/root/$file" ] || { echo "the package lacks /$file"; exit 1; }
done
# Whole outputs are read before searching: grep -q leaving a pipe early would fail the writer
# with SIGPIPE under pipefail.
contents=$(dpkg-deb -c "$deb")
if grep -q ' ./usr/lib/lib' <<<"$contents"; then
  echo "the package puts private libraries in /usr/lib"; exit 1
fi
manual=$(man -l "$scratch/root/usr/share/man/man1/marvex.1.gz" 2>/dev/null)
grep -q "marvex analyze" <<<"$manual" || { echo "the man page lacks the commands"; exit 1; }
# Nothing of the build tree may be needed: run from the extracted files only.
info=$(LV2_PATH="$scratch/root/usr/lib/lv2" lv2info urn:marvex:tuner:stereo)
grep -q "Binary: *file://$scratch/root/" <<<"$info" || { echo "$info"; exit 1; }
LV2_PATH="$scratch/root/usr/lib/lv2" lv2apply -i "$scratch/strings.wav" -o "$scratch/packaged.wav" \
  urn:marvex:tuner:mono
same_samples "$scratch/strings.wav" "$scratch/packaged.wav"
tuned=$("$scratch/root/usr/bin/marvex" tune "$scratch/strings.wav")
grep -q "E2 " <<<"$tuned" || { echo "$tuned"; exit 1; }
echo "lv2: ok"
