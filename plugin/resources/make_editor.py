#!/usr/bin/env python3
"""Writes the editor's layout (EditorLayout.xml, 'XGUI' 1000) and its images
(editor/*.png, 'PNG_' resources): plain flat drawings made here, 8-bit RGBA.

Run from this folder after changing the tables below: ./make_editor.py
"""

import os
import struct
import xml.etree.ElementTree as ET
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
IMAGES = os.path.join(HERE, "editor")

WIDTH, HEIGHT, COLLAPSED = 1240, 940, 556

# Control sizes (width, height); the fader strips are drawn for these sizes.
VFADER = (24, 120)
HFADER = (56, 14)
SWITCH = (20, 16)
LED = (16, 16)
BUTTON = (40, 18)
POPUP = (56, 18)
TEXT_H = 14
VFADER_FRAMES = 31
HFADER_FRAMES = 29

# Image numbers.
ICON, SWITCH_OFF, SWITCH_ON, LED_OFF, LED_ON = 1, 101, 102, 103, 104
VSTRIP, HSTRIP, BUTTON_UP, BUTTON_DOWN, GRAPH_BACK = 105, 106, 107, 108, 110
LINK_OFF, LINK_ON = 111, 112
GRAPH_RECT = (44, 650, 254, 990)  # top, left, bottom, right


# --- PNG writing ------------------------------------------------------------

def png(path, width, height, pixel):
    """pixel(x, y) -> (r, g, b, a)"""
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows.extend(pixel(x, y))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    data = b"\x89PNG\r\n\x1a\n"
    data += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(bytes(rows), 9))
    data += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


def inside(x, y, box):
    left, top, right, bottom = box
    return left <= x < right and top <= y < bottom


def switch(on):
    w, h = SWITCH
    knob = (w // 2, 2, w - 2, h - 2) if on else (2, 2, w // 2, h - 2)
    track = (70, 160, 90, 255) if on else (60, 60, 66, 255)
    return lambda x, y: (225, 225, 230, 255) if inside(x, y, knob) else track


def led(on, lit=(255, 80, 60, 255), dark=(70, 30, 28, 255)):
    """A round lamp: red (the clip light) unless other colours are given."""
    w, h = LED
    c = lit if on else dark

    def pixel(x, y):
        dx, dy = x - (w - 1) / 2, y - (h - 1) / 2
        return c if dx * dx + dy * dy <= (w / 2 - 1) ** 2 else (0, 0, 0, 0)
    return pixel


def vstrip(x, y):
    """Frame f of the vertical fader: a track and a thumb at f's height."""
    w, h = VFADER
    f, yy = divmod(y, h)
    travel = h - 10
    thumb_top = h - 10 - round(f * travel / (VFADER_FRAMES - 1))
    if thumb_top <= yy < thumb_top + 10:
        return (220, 220, 225, 255)
    if w // 2 - 2 <= x < w // 2 + 2:
        return (90, 90, 98, 255)
    return (36, 36, 40, 255)


def hstrip(x, y):
    w, h = HFADER
    f, yy = divmod(y, h)
    travel = w - 8
    thumb_left = round(f * travel / (HFADER_FRAMES - 1))
    if thumb_left <= x < thumb_left + 8:
        return (220, 220, 225, 255)
    if h // 2 - 1 <= yy < h // 2 + 1:
        return (90, 90, 98, 255)
    return (36, 36, 40, 255)


def button(down):
    w, h = BUTTON
    face = (200, 200, 205, 255) if down else (80, 80, 88, 255)
    return lambda x, y: (20, 20, 22, 255) if x in (0, w - 1) or y in (0, h - 1) else face


def graph_back(x, y):
    top, left, bottom, right = GRAPH_RECT
    w, h = right - left, bottom - top
    if x % (w // 10) == 0 or y % (h // 8) == 0 or x == w - 1 or y == h - 1:
        return (52, 56, 64, 255)
    return (16, 18, 22, 255)


def icon(x, y):
    if inside(x, y, (4, 4, 28, 28)):
        return (70, 160, 90, 255) if (x // 4 + y // 4) % 2 == 0 else (30, 90, 50, 255)
    return (24, 24, 28, 255)


def write_images():
    os.makedirs(IMAGES, exist_ok=True)
    top, left, bottom, right = GRAPH_RECT
    drawn = [
        (ICON, 32, 32, icon),
        (SWITCH_OFF, *SWITCH, switch(False)),
        (SWITCH_ON, *SWITCH, switch(True)),
        (LED_OFF, *LED, led(False)),
        (LED_ON, *LED, led(True)),
        # The link lamp lights green: the chip answers.
        (LINK_OFF, *LED, led(False, dark=(28, 60, 34, 255))),
        (LINK_ON, *LED, led(True, lit=(80, 220, 100, 255))),
        (VSTRIP, VFADER[0], VFADER[1] * VFADER_FRAMES, vstrip),
        (HSTRIP, HFADER[0], HFADER[1] * HFADER_FRAMES, hstrip),
        (BUTTON_UP, *BUTTON, button(False)),
        (BUTTON_DOWN, *BUTTON, button(True)),
        (GRAPH_BACK, right - left, bottom - top, graph_back),
    ]
    for number, w, h, pixel in drawn:
        png(os.path.join(IMAGES, "png%d.png" % number), w, h, pixel)
    return [number for number, *_ in drawn]


# --- layout -------------------------------------------------------------------

PARAMS = ET.parse(os.path.join(HERE, "Parameters.xml")).getroot()


def scale_of(index):
    s = PARAMS[index].find("Scale")
    if s is None:
        return None
    return s.findtext("ScaleType"), float(s.findtext("Maximum")) - float(s.findtext("Minimum"))


controls = []


def add(cls, params, top, left, size, images=(), label=None, **extra):
    w, h = size
    c = {"Class": cls, "Params": ",".join(str(p) for p in params),
         "Rect": "%d,%d,%d,%d" % (top, left, top + h, left + w)}
    if images:
        c["Images"] = ",".join(str(i) for i in images)
    if label:
        c["Label"] = label
    c.update(extra)
    controls.append(c)


def value_text(index, top, left, width=HFADER[0]):
    add("Text", [index], top, left, (width, TEXT_H))


def control(index, top, left, label=None, vertical=False):
    """The control a parameter's scale calls for; returns its bottom."""
    kind, span = scale_of(index)
    if kind == "toggle":
        states = int(float(PARAMS[index].find("Scale").findtext("Resolution")))
        if states > 2:
            add("Popup", [index], top, left, POPUP, label=label)
            return top + POPUP[1]
        add("Toggle", [index], top, left, SWITCH, [SWITCH_OFF, SWITCH_ON], label)
        return top + SWITCH[1]
    if kind in ("StereoScale", "LowFreqScale"):
        add("Popup", [index], top, left, POPUP, label=label)
        return top + POPUP[1]
    if vertical:
        add("Slider", [index], top, left, VFADER, [VSTRIP], label)
        value_text(index, top + VFADER[1] + 2, left - 8, 44)
        return top + VFADER[1] + 2 + TEXT_H
    add("Slider", [index], top, left, HFADER, [HSTRIP], label)
    value_text(index, top + HFADER[1] + 2, left)
    return top + HFADER[1] + 2 + TEXT_H


def band_column(first, top, left, name):
    """A band's five controls from its state parameter down."""
    state, typ, gain, freq, q = range(first, first + 5)
    control(state, top + 12, left, name)
    add("Popup", [typ], top + 34, left, POPUP)
    control(gain, top + 62, left + 16, vertical=True)
    control(freq, top + 218, left, "Freq")
    control(q, top + 262, left, "Q")


def grid(indices, top, left, columns, dx=90, dy=46):
    for k, index in enumerate(indices):
        label = PARAMS[index].findtext("Label")
        control(index, top + 12 + (k // columns) * dy, left + (k % columns) * dx, label[:14])


def layout():
    # Upper part (what the collapsed editor shows): the left bands, the
    # graphs, the outputs and the editor's own switches.
    for b in range(10):
        band_column(b * 5, 40, 10 + b * 62, "Band %d" % (b + 1))
    top, left, bottom, right = GRAPH_RECT
    for k, (index, color, show) in enumerate([(81, "90,200,110", 141), (82, "90,150,230", 142),
                                              (144, "235,200,80", 143)]):
        add("Graph", [index], top, left, (right - left, bottom - top),
            [GRAPH_BACK] if k == 0 else [], Color=color, Range="-24,24")
        control(show, bottom + 18, left + k * 70, ["PEQ", "AEQ", "Total"][k])
    control(140, bottom + 18, left + 230, "AEQ On")
    for k, index in enumerate((75, 76)):
        control(index, 310, 660 + k * 50, "LR"[k], vertical=True)
    for k, index in enumerate((79, 80)):
        add("VuMeter", [index], 310, 750 + k * 20, (12, 120), label="LR"[k] if k == 0 else None)
    add("Toggle", [77], 440, 750, LED, [LED_OFF, LED_ON], "Clip", ReadOnly="1")
    add("Toggle", [123], 310, 800, LED, [LINK_OFF, LINK_ON], "Link", ReadOnly="1")
    control(177, 310, 830, "Connect")
    control(124, 310, 900, "Collapse")
    control(125, 350, 800, "PEQ Bypass")
    control(90, 350, 900, "Bypass")
    add("Button", [131], 390, 800, BUTTON, [BUTTON_UP, BUTTON_DOWN], "Digital IO")
    control(164, 390, 900, "Board")
    control(84, 430, 800, "Auto Trim")
    control(89, 430, 900, "Mute")
    add("Text", [198], 520, 650, (330, TEXT_H), Show="Label")
    control(122, 480, 650, "Balance")
    control(116, 480, 740, "Volume")
    control(86, 480, 830, "Analog")
    control(88, 480, 910, "Sample")
    # Lower part: right bands, sub-woofer bands, enhancers, leveler, mixer,
    # phases and switches.
    for b in range(5):
        band_column(50 + b * 5, 570, 10 + b * 62, "Right %d" % (b + 1))
    for b in range(2):
        band_column(184 + b * 5, 570, 330 + b * 62, "Sub %d" % (b + 1))
    grid([112, 119, 126, 133, 134, 135, 139, 153, 113, 87,
          111, 118, 127, 136, 137, 91, 92, 117, 128, 132,
          154, 155, 156, 108, 109, 110, 129, 138, 120, 121,
          130, 151, 152, 178], 570, 460, 6, dx=90, dy=46)
    grid([93, 94, 95, 96, 97, 98, 99, 100, 101, 102, 103, 104, 105, 106, 107, 149, 150],
         570, 1010, 3, dx=76, dy=46)
    grid([145, 146, 147, 148, 157, 158, 159, 160, 161, 162, 163, 183, 195, 196, 197, 199, 179],
         860, 10, 17, dx=60, dy=40)
    control(180, 860, 1030, "Corr Thresh")
    control(181, 860, 1100, "Corr Ratio")
    add("VuMeter", [182], 872, 1170, (56, 12), label="Correlation")
    value_text(182, 886, 1170)

    root = ET.Element("GUI", Width=str(WIDTH), Height=str(HEIGHT),
                      CollapsedHeight=str(COLLAPSED))
    bar = ET.SubElement(root, "ToolBar")
    x = 10
    for name in ("Prev", "Next", "Undo", "Redo", "Switch", "Reset", "Utilities", "Load", "Save"):
        w = 8 * len(name) + 12
        ET.SubElement(bar, "Button", Name=name, Rect="4,%d,24,%d" % (x, x + w))
        x += w + 6
    for c in controls:
        ET.SubElement(root, "Control", c)
    ET.indent(root)
    with open(os.path.join(HERE, "EditorLayout.xml"), "w") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n')
        f.write("<!-- Written by make_editor.py: edit the script, not this file. -->\n")
        f.write(ET.tostring(root, encoding="unicode"))
        f.write("\n")


numbers = write_images()
layout()
# The manifest lines of module.txt for these resources.
print("XGUI 1000 EditorLayout.xml")
for n in numbers:
    print("PNG_ %d editor/png%d.png" % (n, n))
