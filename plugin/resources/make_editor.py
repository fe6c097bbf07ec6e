#!/usr/bin/env python3
"""Writes the editor's layout (EditorLayout.xml, 'XGUI' 1000) and its images
(editor/*.png, 'PNG_' resources): plain flat drawings made here, 8-bit RGBA.

Run from this folder after changing the tables below: ./make_editor.py
"""

import math
import os
import struct
import xml.etree.ElementTree as ET
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
IMAGES = os.path.join(HERE, "editor")

WIDTH, HEIGHT, COLLAPSED = 1240, 998, 556

# Control sizes (width, height); the fader strips are drawn for these sizes.
VFADER = (24, 120)
HFADER = (70, 14)
SWITCH = (20, 16)
LED = (16, 16)
BUTTON = (40, 18)
POPUP = (70, 18)
METER = (12, 120)
LINE = 15  # a text line of the editor's font, a label's height above its control
TEXT_H = 16  # a value text's box
TITLE = 20  # a section's title bar
VFADER_FRAMES = 31
HFADER_FRAMES = 29

# Image numbers.
ICON, SWITCH_OFF, SWITCH_ON, LED_OFF, LED_ON = 1, 101, 102, 103, 104
VSTRIP, HSTRIP, BUTTON_UP, BUTTON_DOWN, GRAPH_BACK = 105, 106, 107, 108, 110
LINK_OFF, LINK_ON = 111, 112
GRAPH_RECT = (62, 832, 255, 1226)  # top, left, bottom, right
GRAPH_DB = 24  # the graph shows -24..+24 dB
GRAPH_DB_MARKS = (24, 12, 0, -12, -24)
GRAPH_HZ_MARKS = ((20, "20 Hz"), (50, "50"), (100, "100"), (200, "200"), (500, "500"),
                  (1000, "1 kHz"), (2000, "2k"), (5000, "5k"), (10000, "10k"), (20000, "20k"))


def graph_x(hz):
    """The graph's points lie a semitone apart from 16 Hz, 128 of them."""
    top, left, bottom, right = GRAPH_RECT
    return left + round((right - left - 1) * 12 * math.log2(hz / 16) / 127)


def graph_y(db):
    top, left, bottom, right = GRAPH_RECT
    return top + round((bottom - top - 1) * (GRAPH_DB - db) / (2 * GRAPH_DB))


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
    """The grid at the scale's marks: every 12 dB, and the marked frequencies."""
    top, left, bottom, right = GRAPH_RECT
    w, h = right - left, bottom - top
    if x in GRAPH_GRID_X or y in GRAPH_GRID_Y or x == w - 1 or y == h - 1:
        return (58, 62, 72, 255) if y != GRAPH_ZERO_Y else (96, 100, 112, 255)
    return (16, 18, 22, 255)


GRAPH_GRID_X = {graph_x(hz) - GRAPH_RECT[1] for hz, _ in GRAPH_HZ_MARKS} | {0}
GRAPH_GRID_Y = {graph_y(db) - GRAPH_RECT[0] for db in GRAPH_DB_MARKS}
GRAPH_ZERO_Y = graph_y(0) - GRAPH_RECT[0]


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


decorations = []
controls = []
DECOR = 78  # a parameter kept for storage only: what the frames and captions name


def add(cls, params, top, left, size, images=(), label=None, **extra):
    w, h = size
    c = {"Class": cls, "Params": ",".join(str(p) for p in params),
         "Rect": "%d,%d,%d,%d" % (top, left, top + h, left + w)}
    if images:
        c["Images"] = ",".join(str(i) for i in images)
    if label:
        c["Label"] = label
    c.update(extra)
    (decorations if cls in ("Section", "Caption") else controls).append(c)


def section(title, top, left, right, bottom):
    add("Section", [DECOR], top, left, (right - left, bottom - top), Title=title)


def caption(text, top, left, width):
    add("Caption", [DECOR], top, left, (width, TEXT_H), Text=text)


def text_width(text):
    """A generous guess of the text's width; the editor's tests measure it."""
    return 7 * len(text) + 6


# Cells: a control with its label above it (a line and 2 pixels) and, for
# faders, its value with the unit below it. Each returns its bottom.
def slider(params, top, left, label, units="", form=None, value_width=HFADER[0]):
    params = params if isinstance(params, list) else [params]
    top += LINE + 2 if label else 0
    add("Slider", params, top, left, HFADER, [HSTRIP], label)
    value(params[0], top + HFADER[1] + 1, left, units, value_width, form)
    return top + HFADER[1] + 1 + TEXT_H


def value(index, top, left, units, width=HFADER[0], form=None):
    """A value text; `form` is how the editor shows the value ("whole",
    "ratio", "balance"), else the parameter's own text."""
    extra = {"Units": units} if units else {}
    if form:
        extra["Form"] = form
    add("Text", [index], top, left, (width, TEXT_H), **extra)


def fader(index, top, left, label, units, form=None):
    add("Slider", [index], top + LINE + 2, left, VFADER, [VSTRIP], label)
    value(index, top + LINE + 2 + VFADER[1] + 1, left, units, 60, form)
    return top + LINE + 2 + VFADER[1] + 1 + TEXT_H


def toggle(index, top, left, label):
    add("Toggle", [index], top + LINE + 2, left, SWITCH, [SWITCH_OFF, SWITCH_ON], label)
    return top + LINE + 2 + SWITCH[1]


def lamp(index, top, left, label, images):
    add("Toggle", [index], top + LINE + 2, left, LED, images, label, ReadOnly="1")
    return top + LINE + 2 + LED[1]


def popup(index, top, left, label=None):
    top += LINE + 2 if label else 0
    add("Popup", [index], top, left, POPUP, label=label)
    return top + POPUP[1]


def row(cells, top, left, pitch):
    """Cells side by side, `pitch` apart: (function, arguments after top and left)."""
    return max(f(index, top, left + k * pitch, *rest)
               for k, (f, index, *rest) in enumerate(cells))


BAND_W = 76
BAND_H = 33 + 2 + POPUP[1] + 3 * (4 + LINE + 2 + HFADER[1] + 1 + TEXT_H)


def band_column(first, top, left, name):
    """A band's five controls from its state parameter down."""
    state, typ, gain, freq, q = range(first, first + 5)
    y = toggle(state, top, left, name) + 2
    y = popup(typ, y, left) + 4
    y = slider(gain, y, left, "Gain (dB)", "dB") + 4
    y = slider(freq, y, left, "Freq (Hz)", "Hz") + 4
    return slider(q, y, left, "Q")


def bands(title, first, count, top, left, name):
    right = left + count * BAND_W + 8
    section(title, top, left, right, top + TITLE + 4 + BAND_H + 6)
    for b in range(count):
        band_column(first + 5 * b, top + TITLE + 4, left + 4 + b * BAND_W, name % (b + 1))
    return right, top + TITLE + 4 + BAND_H + 6


def group(title, rows, top, left, pitch=80):
    """A titled section of rows of cells; returns its right and bottom."""
    y = top + TITLE + 4
    widest = 0
    for cells in rows:
        y = row(cells, y, left + 4, pitch) + 4
        widest = max(widest, len(cells))
    right = left + 8 + widest * pitch
    section(title, top, left, right, y)
    return right, y


def mixer(title, columns, rows, top, left):
    """A matrix of faders: a caption over each column and before each row."""
    head, pitch = 84, 100
    y = top + TITLE + 4
    for k, name in enumerate(columns):
        caption(name, y, left + 4 + head + k * pitch, pitch - 4)
    y += TEXT_H + 4
    for name, indices in rows:
        caption(name, y, left + 6, head - 6)
        for k, index in enumerate(indices):
            if index is not None:
                slider(index, y, left + 4 + head + k * pitch, None, "dB")
        y += HFADER[1] + 1 + TEXT_H + 3
    right = left + 8 + head + len(columns) * pitch
    section(title, top, left, right, y + 2)
    return right, y + 2


def layout():
    # Upper part (what the collapsed editor shows).
    right, bottom = bands("Left channel equaliser", 0, 10, 32, 6, "Band %d")
    # The response graphs with their scales.
    top, left, gbottom, gright = GRAPH_RECT
    section("Response", 32, 780, 1234, 318)
    # Each curve's switch is named in the curve's colour.
    for k, (index, color, show, name) in enumerate([(81, "90,200,110", 141, "PEQ curve"),
                                                    (82, "90,150,230", 142, "AEQ curve"),
                                                    (144, "235,200,80", 143, "Total curve")]):
        add("Graph", [index], top, left, (gright - left, gbottom - top),
            [GRAPH_BACK] if k == 0 else [], Color=color, Range="%d,%d" % (-GRAPH_DB, GRAPH_DB))
        x = 790 + k * 104
        toggle(show, gbottom + 22, x, None)
        add("Caption", [DECOR], gbottom + 22 + LINE + 2, x + SWITCH[0] + 6,
            (text_width(name), SWITCH[1]), Text=name, Color=color)
    toggle(140, gbottom + 22, 790 + 3 * 104, "AEQ file")
    for db in GRAPH_DB_MARKS:
        text = "0 dB" if db == 0 else "%+d" % db
        caption(text, graph_y(db) - TEXT_H // 2, 786, left - 790)
    for hz, text in GRAPH_HZ_MARKS:
        w = text_width(text)
        caption(text, gbottom + 2, min(graph_x(hz) - w // 2, 1230 - w), w)
    # Outputs.
    y = 324
    section("Output", y, 780, 1234, 504)
    # The output gains are steps of 0 to 128.
    fader(75, y + TITLE + 4, 792, "Left (step)", "of 128", "whole")
    fader(76, y + TITLE + 4, 872, "Right (step)", "of 128", "whole")
    for k, index in enumerate((79, 80)):
        add("VuMeter", [index], y + TITLE + 4 + LINE + 2, 962 + k * 30, METER,
            label="LR"[k])
    lamp(77, y + TITLE + 4, 1030, "Clip", [LED_OFF, LED_ON])
    # Master controls, the board and the connection.
    y = bottom + 6
    _, b1 = group("Master", [
        [(slider, 122, "Balance", "", "balance"), (slider, 116, "Volume (dB)", "dB"),
         (popup, 86, "Analog in"), (popup, 88, "Sample rate"), (popup, 87, "Speakers")],
        [(toggle, 89, "Mute"), (toggle, 84, "Auto trim"), (toggle, 125, "PEQ on"),
         (toggle, 90, "Bypass all")]], y, 6, pitch=76)
    _, b2 = group("Board and connection", [
        [(toggle, 177, "Connect"), (lamp, 123, "Link", [LINK_OFF, LINK_ON]),
         (popup, 164, "Board"), (push_button, 131, "Digital I/O"), (toggle, 124, "Collapse")]],
        y, 392, pitch=76)
    add("Text", [198], b2, 398, (370, TEXT_H), Show="Label")
    section_fix("Board and connection", b2 + TEXT_H + 6)
    y = max(b1, b2 + TEXT_H + 6) + 6
    mixer("Output mixer", ["Digital 0 (dB)", "Digital 1 (dB)", "Analog (dB)", "Analog 2 (dB)",
                           "Sub (dB)"],
          [("Processed", [101, 102, 103, 150, 107]), ("Unprocessed", [104, 105, 106, 149, None])],
          y, 6)

    # Lower part: right and sub-woofer bands, input mixer, output phases,
    # then the enhancers, the volume and leveler, and the chip's modules.
    top = COLLAPSED + 10
    right, bottom = bands("Right channel equaliser", 50, 5, top, 6, "Band %d")
    right, bottom = bands("Sub-woofer equaliser", 184, 2, top, right + 6, "Sub %d")
    _, y = mixer("Input mixer", ["Digital 0 (dB)", "Digital 1 (dB)", "Digital 2 (dB)",
                                 "Analog (dB)"],
                 [("Processed", [93, 94, 95, 96]), ("Unprocessed", [97, 98, 99, 100])],
                 bottom + 6, 6)
    group("Output phase and routing", [
        [(toggle, 145, "Inv. analog"), (toggle, 146, "Inv. dig 1"), (toggle, 147, "Inv. dig 2"),
         (toggle, 148, "Inv. sub"), (toggle, 195, "Inv. left"), (toggle, 196, "Inv. right"),
         (toggle, 197, "L+R sum"), (toggle, 199, "Swap L/R")]], y + 6, 6, pitch=68)
    x0 = right + 6
    r, b = group("Bass", [
        [(toggle, 126, "Bass on"), (toggle, 153, "Original"), (toggle, 139, "High-pass")],
        [(slider, 119, "Amount (%)", "%"), (slider, 112, "Freq (Hz)", "Hz", "whole"),
         (slider, 135, "HP freq (Hz)", "Hz"), (slider, 113, "Sub (Hz)", "Hz", "whole"),
         (slider, 133, "Gate (dB)", "dB"), (slider, 134, "Gap (dB)", "dB")]], top, x0)
    group("Dialog", [[(toggle, 154, "Dialog on")],
                     [(slider, 155, "Level (%)", "%"), (slider, 156, "Side (%)", "%")]],
          top, r + 6)
    r, b2 = group("Treble", [
        [(toggle, 127, "Treble on")],
        [(slider, 118, "Amount (%)", "%"), (slider, 111, "Freq (Hz)", "Hz", "whole"),
         (slider, 136, "Gate (dB)", "dB"), (slider, 137, "Gap (dB)", "dB")]], b + 6, x0)
    group("Stereo", [
        [(toggle, 128, "Stereo on")],
        [(slider, 117, "Amount (%)", "%"), (slider, 132, "Delay (ms)", "ms"),
         (popup, 91, "Width"), (popup, 92, "Low freq")]], b + 6, r + 6)
    r, b3 = group("Volume and leveler", [
        [(toggle, 129, "Volume on"), (toggle, 120, "Leveler"), (toggle, 121, "Hard knee"),
         (toggle, 183, "Midnight"), (toggle, 179, "Correlate")],
        [(slider, 108, "Range (dB)", "dB"), (slider, 109, "Low (dB)", "dB"),
         (slider, 110, "Gate (dB)", "dB"), (slider, 138, "Mute (ms)", "ms"),
         (slider, [130, 178], "Thresh (dB)", "dB")],
        [(slider, 151, "Target (dB)", "dB"), (slider, 152, "Lev. (dB)", "dB"),
         (slider, 180, "Corr. (dB)", "dB"), (slider, 181, "Ratio", "", "ratio"),
         (meter, 182, "Corr. (%)", "%")]], b2 + 6, x0)
    group("Chip modules", [[(toggle, 157, "HP"), (toggle, 158, "X4"), (toggle, 159, "MS")],
                           [(toggle, 160, "MD"), (toggle, 161, "MB"), (toggle, 162, "MT")],
                           [(toggle, 163, "MV")]], b2 + 6, r + 6)
    return max(b3, y)


def push_button(index, top, left, label):
    add("Button", [index], top + LINE + 2, left, BUTTON, [BUTTON_UP, BUTTON_DOWN], label)
    return top + LINE + 2 + BUTTON[1]


def meter(index, top, left, label, units):
    add("VuMeter", [index], top + LINE + 2 + 1, left, (HFADER[0], 12), label=label)
    value(index, top + LINE + 2 + HFADER[1] + 1, left, units)
    return top + LINE + 2 + HFADER[1] + 1 + TEXT_H


def section_fix(title, bottom):
    """Lets a section reach down to `bottom`."""
    for d in decorations:
        if d.get("Title") == title:
            t, l, b, r = (int(v) for v in d["Rect"].split(","))
            d["Rect"] = "%d,%d,%d,%d" % (t, l, max(b, bottom), r)


def write_layout():
    bottom = layout()
    assert bottom + 4 <= HEIGHT, bottom
    root = ET.Element("GUI", Width=str(WIDTH), Height=str(HEIGHT),
                      CollapsedHeight=str(COLLAPSED))
    bar = ET.SubElement(root, "ToolBar")
    x = 10
    for name in ("Prev", "Next", "Undo", "Redo", "Switch", "Reset", "Utilities", "Load", "Save"):
        w = 8 * len(name) + 12
        ET.SubElement(bar, "Button", Name=name, Rect="4,%d,24,%d" % (x, x + w))
        x += w + 6
    # The frames, then the captions in them, then the controls: each is
    # drawn over what comes before it.
    decorations.sort(key=lambda d: d["Class"] != "Section")
    for c in decorations + controls:
        ET.SubElement(root, "Control", c)
    ET.indent(root)
    with open(os.path.join(HERE, "EditorLayout.xml"), "w") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n')
        f.write("<!-- Written by make_editor.py: edit the script, not this file. -->\n")
        f.write(ET.tostring(root, encoding="unicode"))
        f.write("\n")


numbers = write_images()
write_layout()
# The manifest lines of module.txt for these resources.
print("XGUI 1000 EditorLayout.xml")
for n in numbers:
    print("PNG_ %d editor/png%d.png" % (n, n))
