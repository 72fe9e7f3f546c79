#!/usr/bin/env bash
# Regenerates resources/windows.ico and the desktop icons resources/hicolor/NxN.png
# (the hicolor theme's sizes, 16 to 256 pixels) from resources/icon.svg (and
# icon-16.svg, the same picture laid out for 16 pixels, used up to 24 pixels).
# The icon files are kept in the repository, so building the program needs
# neither ImageMagick nor this script.
#
# The icon holds four images: 16x16, 32x32 and 48x48 as 8-bit palette bitmaps
# (256 colours, 1-bit transparency mask) and 256x256 as a 32-bit RGBA PNG.
# ImageMagick rasterises and reduces the colours; the ICO container itself is
# written here, since ImageMagick does not write palette entries reliably.
#
# Usage: scripts/make-icon.sh        needs: convert (ImageMagick 6), python3
set -euo pipefail
cd "$(dirname "$0")/.."

src=resources/icon.svg
src16=resources/icon-16.svg
out=resources/windows.ico
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Rasterise at four times the target size, then scale down: smooth edges.
render() { # svg size output
    convert -background none -density $((96 * 4 * $2 / 256)) "$1" \
        -resize "$2x$2" -strip -define png:exclude-chunks=date,time "png32:$3"
}
render "$src16" 16 "$tmp/16.png"
render "$src" 32 "$tmp/32.png"
render "$src" 48 "$tmp/48.png"
render "$src" 256 "$tmp/256.png"

mkdir -p resources/hicolor
for s in 16 22 24 32 48 64 128 256; do
    svg="$src"
    [[ $s -le 24 ]] && svg="$src16"
    render "$svg" "$s" "resources/hicolor/${s}x${s}.png"
done

# Palette images: alpha cut at one half (the mask is one bit), then at most 255
# colours; raw RGBA bytes for the assembler.
for s in 16 32 48; do
    convert "$tmp/$s.png" -channel A -threshold 50% +channel +dither -colors 255 \
        -depth 8 "rgba:$tmp/$s.rgba"
done

python3 - "$tmp" "$out" <<'EOF'
import struct, sys

tmp, out = sys.argv[1], sys.argv[2]

def palette_dib(size):
    """BITMAPINFOHEADER, 256-entry palette, bottom-up 8-bit pixels, AND mask."""
    raw = open(f"{tmp}/{size}.rgba", "rb").read()
    assert len(raw) == size * size * 4, "unexpected raster size"
    palette = [(0, 0, 0)]  # index 0: under transparent pixels
    index = {}
    pixels, mask_bits = [], []
    for i in range(size * size):
        r, g, b, a = raw[4 * i:4 * i + 4]
        if a < 128:
            pixels.append(0)
            mask_bits.append(1)
            continue
        key = (r, g, b)
        if key not in index:
            index[key] = len(palette)
            palette.append(key)
        pixels.append(index[key])
        mask_bits.append(0)
    if len(palette) > 256:
        sys.exit(f"{size}x{size}: {len(palette)} colours do not fit a palette")
    palette += [(0, 0, 0)] * (256 - len(palette))

    xor_stride = (size + 3) // 4 * 4
    and_stride = (size + 31) // 32 * 4
    xor, andm = bytearray(), bytearray()
    for y in reversed(range(size)):  # bottom-up rows
        row = bytes(pixels[y * size:(y + 1) * size])
        xor += row + bytes(xor_stride - size)
        bits = bytearray(and_stride)
        for x in range(size):
            if mask_bits[y * size + x]:
                bits[x // 8] |= 0x80 >> (x % 8)
        andm += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 8, 0,
                         len(xor) + len(andm), 0, 0, 256, 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    return header + pal + bytes(xor) + bytes(andm)

images = [(16, 8, palette_dib(16)), (32, 8, palette_dib(32)), (48, 8, palette_dib(48)),
          (256, 32, open(f"{tmp}/256.png", "rb").read())]

# PNG entry must be 8-bit RGBA (colour type 6).
png = images[3][2]
assert png[:8] == b"\x89PNG\r\n\x1a\n" and png[24] == 8 and png[25] == 6, "PNG is not RGBA"

data = struct.pack("<HHH", 0, 1, len(images))
offset = 6 + 16 * len(images)
for size, bpp, blob in images:
    dim = 0 if size == 256 else size
    data += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, bpp, len(blob), offset)
    offset += len(blob)
data += b"".join(blob for _, _, blob in images)
open(out, "wb").write(data)

# Read the directory back, as a check of what was written.
blob = open(out, "rb").read()
reserved, kind, count = struct.unpack_from("<HHH", blob, 0)
assert (reserved, kind, count) == (0, 1, 4)
for i in range(count):
    w, h, colours, _, planes, bpp, length, at = struct.unpack_from("<BBBBHHII", blob, 6 + 16 * i)
    body = blob[at:at + length]
    kind = "PNG" if body[:4] == b"\x89PNG" else "BMP %d colours" % struct.unpack_from("<I", body, 32)
    print(f"  {w or 256}x{h or 256}  {bpp} bpp  {length} bytes  {kind}")
EOF

identify "$out"
