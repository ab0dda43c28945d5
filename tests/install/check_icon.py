#!/usr/bin/env python3
"""Checks the icon resource dumped from a program file and the desktop PNG.

usage: check_icon.py RESOURCE PNG

The resource must name icon group 500 with icon 1 and hold an icon file of
one 32x32 image with a 256-colour palette; the PNG must be a valid file
(every CRC and the zlib checksum right) showing the same pixels."""
import struct
import sys
import zlib

SIZE = 32


def fail(message):
    sys.exit(f'check_icon: {message}')


def check(condition, message):
    if not condition:
        fail(message)


def read_icon(resource):
    magic, group, number, length = struct.unpack_from('<8sHHI', resource, 0)
    check(magic == b'ICONRSRC', f'resource magic is {magic!r}')
    check((group, number) == (500, 1), f'resource names group {group}, icon {number}')
    ico = resource[16:]
    check(len(ico) == length, f'icon file is {len(ico)} bytes, header says {length}')

    reserved, kind, count = struct.unpack_from('<HHH', ico, 0)
    check((reserved, kind, count) == (0, 1, 1), 'icon file is not one icon image')
    width, height, colours, _, planes, bits, size, offset = struct.unpack_from('<BBBBHHII', ico, 6)
    check((width, height, colours, planes, bits) == (SIZE, SIZE, 0, 1, 8),
          f'directory entry: {width}x{height}, {colours} colours, {bits} bpp')
    check(offset + size == len(ico), 'image does not fill the icon file')

    header = struct.unpack_from('<IiiHHIIiiII', ico, offset)
    check(header[:6] == (40, SIZE, 2 * SIZE, 1, 8, 0), f'bitmap header {header[:6]}')
    palette_at = offset + 40
    palette = [ico[palette_at + 4 * i: palette_at + 4 * i + 3][::-1] for i in range(256)]
    pixels_at = palette_at + 1024
    rows = [ico[pixels_at + SIZE * r: pixels_at + SIZE * (r + 1)] for r in range(SIZE)][::-1]
    mask_at = pixels_at + SIZE * SIZE
    mask = [ico[mask_at + 4 * r: mask_at + 4 * (r + 1)] for r in range(SIZE)][::-1]
    check(mask_at + 4 * SIZE == len(ico), 'icon image has the wrong length')
    transparent = [[bool(mask[y][x // 8] & (0x80 >> (x % 8))) for x in range(SIZE)] for y in range(SIZE)]
    return palette, rows, transparent


def read_png(data):
    check(data[:8] == b'\x89PNG\r\n\x1a\n', 'PNG signature')
    chunks, at = {}, 8
    while at < len(data):
        length, kind = struct.unpack_from('>I4s', data, at)
        body = data[at + 8: at + 8 + length]
        crc, = struct.unpack_from('>I', data, at + 8 + length)
        check(zlib.crc32(kind + body) == crc, f'CRC of the {kind!r} chunk')
        chunks[kind] = chunks.get(kind, b'') + body
        at += 12 + length
    check(struct.unpack('>IIBBBBB', chunks[b'IHDR']) == (SIZE, SIZE, 8, 3, 0, 0, 0),
          'PNG is not a 32x32 8-bit palette image')
    raw = zlib.decompress(chunks[b'IDAT'])
    check(len(raw) == SIZE * (SIZE + 1), 'PNG image data length')
    rows = [raw[r * (SIZE + 1): (r + 1) * (SIZE + 1)] for r in range(SIZE)]
    check(all(row[0] == 0 for row in rows), 'PNG rows use a filter')
    plte = chunks[b'PLTE']
    palette = [plte[3 * i: 3 * i + 3] for i in range(len(plte) // 3)]
    return palette, [row[1:] for row in rows], chunks.get(b'tRNS', b'')


def main():
    resource = open(sys.argv[1], 'rb').read()
    ico_palette, ico_rows, transparent = read_icon(resource)
    png_palette, png_rows, trns = read_png(open(sys.argv[2], 'rb').read())
    check(png_rows == ico_rows, 'PNG and icon pixels differ')
    check(png_palette == ico_palette, 'PNG and icon palettes differ')
    check(trns == b'\x00', 'PNG does not mark exactly index 0 transparent')
    for y in range(SIZE):
        for x in range(SIZE):
            check(transparent[y][x] == (ico_rows[y][x] == 0), f'mask and pixel disagree at {x},{y}')
    check(transparent[0][0] and not transparent[SIZE // 2][SIZE // 2], 'no rounded tile')
    used = {index for row in ico_rows for index in row}
    check(len(used) > 32, f'only {len(used)} colours used')
    print(f'icon: group 500, icon 1, 32x32, 8 bpp, {len(used)} colours; PNG matches')


if __name__ == '__main__':
    main()
