#!/usr/bin/env python3
"""Draws the logger's pictures (lamps, icon, soft-reset reminder) as PNG
files in this folder. Run it again after changing a drawing."""
import struct
import zlib

FONT = {  # 5x7 glyphs, one string of five columns' rows per character
    'A': ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    'B': ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    'C': ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    'D': ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    'E': ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    'F': ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    'G': ["01110", "10001", "10000", "10111", "10001", "10001", "01111"],
    'H': ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    'I': ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    'L': ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    'M': ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    'N': ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    'O': ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    'P': ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    'R': ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    'S': ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    'T': ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    'U': ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    'V': ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    'W': ["10001", "10001", "10001", "10101", "10101", "10101", "01010"],
    'X': ["10001", "10001", "01010", "00100", "01010", "10001", "10001"],
    'Y': ["10001", "10001", "01010", "00100", "00100", "00100", "00100"],
    ' ': ["00000"] * 7,
    '.': ["00000"] * 6 + ["00100"],
}


class Canvas:
    def __init__(self, w, h, fill=(0, 0, 0, 0)):
        self.w, self.h = w, h
        self.px = [[fill] * w for _ in range(h)]

    def rect(self, x0, y0, x1, y1, c):
        for y in range(max(0, y0), min(self.h, y1)):
            for x in range(max(0, x0), min(self.w, x1)):
                self.px[y][x] = c

    def circle(self, cx, cy, r, c, edge=None):
        for y in range(self.h):
            for x in range(self.w):
                d = ((x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2) ** 0.5
                if d <= r:
                    self.px[y][x] = edge if edge and d > r - 1.2 else c

    def triangle(self, cx, top, bottom, c):
        for y in range(top, bottom):
            half = (y - top) * 0.6
            for x in range(int(cx - half), int(cx + half) + 1):
                self.px[y][x] = c

    def text(self, x, y, s, c, scale=2):
        for ch in s.upper():
            g = FONT.get(ch, FONT[' '])
            for row, bits in enumerate(g):
                for col, bit in enumerate(bits):
                    if bit == '1':
                        self.rect(x + col * scale, y + row * scale, x + (col + 1) * scale,
                                  y + (row + 1) * scale, c)
            x += 6 * scale

    def save(self, name):
        raw = b''.join(b'\0' + b''.join(bytes(p) for p in row) for row in self.px)
        def chunk(kind, data):
            body = kind + data
            return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body))
        png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', self.w, self.h, 8, 6, 0, 0, 0))
        png += chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')
        open(name, 'wb').write(png)


def lamp(name, fill, edge, marker=False):
    c = Canvas(20, 20)
    c.circle(10, 10, 8.5, fill, edge)
    if marker:
        c.triangle(10, 6, 14, (20, 50, 230, 255))
    c.save(name)


lamp('lamp_blank.png', (200, 200, 200, 255), (128, 128, 128, 255))
lamp('lamp_red.png', (210, 20, 20, 255), (100, 0, 0, 255))
lamp('lamp_green.png', (20, 180, 20, 255), (0, 80, 0, 255))
lamp('lamp_marker.png', (20, 180, 20, 255), (0, 80, 0, 255), marker=True)

icon = Canvas(32, 32, (32, 48, 96, 255))
for i, top in enumerate((20, 14, 8, 4)):
    icon.rect(4 + 6 * i, top, 8 + 6 * i, 28, (240, 240, 240, 255))
icon.save('icon.png')

# The editor's menu bar with "Utilities" open and "Soft Reset" highlighted.
menu = Canvas(440, 161, (236, 236, 236, 255))
menu.rect(0, 0, 440, 24, (250, 250, 250, 255))
menu.text(8, 5, 'File', (0, 0, 0, 255))
menu.text(70, 5, 'View', (0, 0, 0, 255))
menu.rect(130, 0, 250, 24, (60, 110, 200, 255))
menu.text(136, 5, 'Utilities', (255, 255, 255, 255))
menu.rect(130, 24, 330, 150, (255, 255, 255, 255))
menu.rect(130, 24, 131, 150, (128, 128, 128, 255))
menu.rect(329, 24, 330, 150, (128, 128, 128, 255))
menu.rect(130, 149, 330, 150, (128, 128, 128, 255))
items = ['Read Version', 'Read Status', 'Soft Reset', 'Load File', 'Export']
for i, item in enumerate(items):
    y = 30 + i * 24
    if item == 'Soft Reset':
        menu.rect(132, y - 4, 328, y + 18, (60, 110, 200, 255))
        menu.text(140, y, item, (255, 255, 255, 255))
    else:
        menu.text(140, y, item, (0, 0, 0, 255))
menu.save('reminder.png')

# Speaker rotation: the device in four orientations, each a quarter turn
# from the last, with its speakers numbered 1 to 4; plain and checked.
FONT.update({
    '1': ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    '2': ["01110", "10001", "00001", "00010", "00100", "01000", "11111"],
    '3': ["11110", "00001", "00001", "01110", "00001", "00001", "11110"],
    '4': ["00010", "00110", "01010", "10010", "11111", "00010", "00010"],
})
CORNERS = [(14, 14), (76, 14), (76, 76), (14, 76)]  # clockwise from top left


def rotation(name, turns, checked):
    c = Canvas(90, 90, (255, 255, 255, 255))
    c.rect(8, 8, 82, 82, (60, 60, 70, 255))
    c.rect(11, 11, 79, 79, (120, 160, 210, 255))
    # The device's top edge, turned with it.
    bars = [(30, 11, 60, 16), (74, 30, 79, 60), (30, 74, 60, 79), (11, 30, 16, 60)]
    c.rect(*bars[turns], (40, 40, 40, 255))
    for speaker in range(4):
        cx, cy = CORNERS[(speaker + turns) % 4]
        c.circle(cx, cy, 8, (30, 30, 30, 255))
        c.text(cx - 2, cy - 3, str(speaker + 1), (255, 255, 255, 255), scale=1)
    if checked:
        for i in range(10):
            c.rect(30 + i, 44 + i, 34 + i, 48 + i, (20, 170, 20, 255))
        for i in range(20):
            c.rect(40 + i, 53 - i, 44 + i, 57 - i, (20, 170, 20, 255))
    c.save(name)


for state in range(4):
    rotation('rotation_%d.png' % state, state, False)
    rotation('rotation_%d_checked.png' % state, state, True)
