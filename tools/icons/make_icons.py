#!/usr/bin/env python3
"""Draws the programs' icons (16 colours, 32x32 and 16x16) and writes them as
.ico files: the updater's floppy disk with an arrow, the launcher's CD."""
import struct
import sys

# The standard 16-colour palette (RGB).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DKBLUE, GREY, LTGREY, WHITE, GREEN, DKGREEN, YELLOW, CYAN, BLUE, RED = 0, 4, 8, 7, 15, 10, 2, 11, 14, 12, 9
CLEAR = None


def blank(n):
    return [[CLEAR] * n for _ in range(n)]


def rect(img, x0, y0, x1, y1, c):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            img[y][x] = c


def floppy(n):
    s = n / 32.0
    p = lambda v: int(round(v * s))
    img = blank(n)
    rect(img, p(2), p(2), p(29) - (1 if n == 16 else 0), p(29) - (1 if n == 16 else 0), DKBLUE)
    rect(img, p(8), p(2), p(23), p(11), LTGREY)        # shutter
    rect(img, p(18), p(4), p(21), p(9), DKBLUE)        # shutter window
    rect(img, p(6), p(16), p(25), p(28), WHITE)        # label
    # a green arrow on the label, pointing down: the update going in
    cx = p(16)
    rect(img, cx - p(2), p(17), cx + p(1), p(22), DKGREEN)
    for i in range(p(4) + 1):
        rect(img, cx - p(5) + i, p(22) + i, cx + p(4) - i, p(22) + i, DKGREEN)
    return img


def disc(n):
    img = blank(n)
    c = (n - 1) / 2.0
    r_out, r_in, r_hole = n / 2.0 - 0.5, n * 0.17, n * 0.06
    for y in range(n):
        for x in range(n):
            d = ((x - c) ** 2 + (y - c) ** 2) ** 0.5
            if d <= r_hole:
                img[y][x] = CLEAR
            elif d <= r_in:
                img[y][x] = GREY
            elif d <= r_out:
                shine = (x - c) * (y - c) > 0 and abs(x - y) < n * 0.12
                img[y][x] = WHITE if shine else (CYAN if (x + y) % 7 else LTGREY)
    for y in range(n):  # a dark rim
        for x in range(n):
            d = ((x - c) ** 2 + (y - c) ** 2) ** 0.5
            if r_out - 1 < d <= r_out:
                img[y][x] = GREY
    return img


def bitmap(img):
    n = len(img)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    xor = b''
    mask = b''
    for row in reversed(img):
        bits = bytearray()
        for x in range(0, n, 2):
            hi = row[x] if row[x] is not None else 0
            lo = row[x + 1] if row[x + 1] is not None else 0
            bits.append(hi << 4 | lo)
        while len(bits) % 4:
            bits.append(0)
        xor += bytes(bits)
        m = bytearray()
        for x in range(0, n, 8):
            v = 0
            for b in range(8):
                if row[x + b] is None:
                    v |= 0x80 >> b
            m.append(v)
        while len(m) % 4:
            m.append(0)
        mask += bytes(m)
    return header + palette + xor + mask


def ico(images):
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    data = b''
    for img in images:
        bmp = bitmap(img)
        n = len(img)
        out += struct.pack('<BBBBHHII', n, n, 16, 0, 1, 4, len(bmp), offset + len(data))
        data += bmp
    return out + data


if __name__ == '__main__':
    target = sys.argv[1] if len(sys.argv) > 1 else '.'
    with open(target + '/updater.ico', 'wb') as f:
        f.write(ico([floppy(32), floppy(16)]))
    with open(target + '/launcher.ico', 'wb') as f:
        f.write(ico([disc(32), disc(16)]))
