#!/usr/bin/env python3
"""Writes the plug-in's parameter list (Parameters.xml, 'XPRM' 1000) and its
factory presets (FactoryPresets.xml, 'XPST' 1000) from the tables below.

Run from this folder: ./make_params.py
"""

# name, (min, max, resolution, scale) or None, initial (value, type) or None,
# label, units, display function, flags
P = []


def add(name, scale, initial, label, units="", display=None, flags=(), reset=None, draw=None,
        parent=None):
    P.append(dict(name=name, scale=scale, initial=initial, label=label, units=units,
                  display=display, flags=flags, reset=reset, draw=draw, parent=parent))


LEFT_TYPES = [1, 0, 0, 0, 0, 0, 0, 0, 0, 2]
LEFT_FREQS = [32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384]
RIGHT_TYPES = [1, 0, 0, 0, 2]
RIGHT_FREQS = [43, 125, 499, 1998, 7991]


def band(names, type_max, type_init, freq, display_type, drag_flags=()):
    state, typ, gain, frq, q = names
    add(state, (0, 1, 2, "toggle"), None, "In/Out")
    add(typ, (0, type_max, type_max + 1, "toggle"), (type_init, "state"), "Type",
        display=display_type)
    add(gain, (-18, 17.7, 0.1, "linear"), (0.0, "RealWorld"), "Gain", "dB", "DisplayFloat1",
        drag_flags)
    add(frq, (16, 24548, 1, "FreqScale"), (freq, "RealWorld"), "Freq", "Hz", "DisplayFloat0",
        drag_flags)
    add(q, (0.4, 6.00, 0.01, "logarithmic"), (3.00, "RealWorld"), "Q", "", "DisplayFloat2",
        drag_flags, reset=(3.00, "RealWorld"))


band(["PARAM_BAND1_STATE", "PARAM_BAND1_TYPE", "PARAM_BAND1_GAIN", "PARAM_BAND1_FRQ",
      "PARAM_BAND1_QF"], 4, LEFT_TYPES[0], LEFT_FREQS[0], "DisplayLowType")
for n in range(2, 11):
    band([f"PARAM_BAND{n}_STATE_L", f"PARAM_BAND{n}_TYPE_L", f"PARAM_BAND{n}_GAIN_L",
          f"PARAM_BAND{n}_FREQ_L", f"PARAM_BAND{n}_Q_L"], 4, LEFT_TYPES[n - 1], LEFT_FREQS[n - 1],
         "DisplayLowType" if n <= 3 else "DisplayHighType")
for n in range(1, 6):
    band([f"PARAM_BAND{n}_STATE_R", f"PARAM_BAND{n}_TYPE_R", f"PARAM_BAND{n}_GAIN_R",
          f"PARAM_BAND{n}_FREQ_R", f"PARAM_BAND{n}_Q_R"], 4 if n == 1 else 2, RIGHT_TYPES[n - 1],
         RIGHT_FREQS[n - 1], "DisplayLowType")

T = "toggle"
L = "linear"
NS = ("NotSavable",)
RW = "RealWorld"
ST = "state"
DB = "double"
MIX_IN = (-80.0, 18.0, 0.01, "AnalogDBScale")
MIX_OUT = (-80.0, 0.0, 0.01, L)
GRAPH = (16, 24548, 1, "FreqScale")

rows = [
    ("PARAM_OUT_GAIN_L", (0, 128, 2, L), (64, RW), "Output", "dB", "DisplayFloat1"),
    ("PARAM_OUT_GAIN_R", (0, 128, 2, L), (64, RW), "Output", "dB", "DisplayFloat1"),
    ("PARAM_CLIP_LIGHT", (0, 1, 2, T), (0, ST), "Clip", "", None, NS),
    ("PARAM_DUMMY", (0, 1, 2, T), (0, ST), "Clip", "", None, NS),
    ("PARAM_OUT_VU_L", (-30, 0, 0.1, L), (0, ST), "Out", "dB", "DisplayVuHold", NS),
    ("PARAM_OUT_VU_R", (-30, 0, 0.1, L), (0, ST), "Out", "dB", "DisplayVuHold", NS),
    ("PARAM_GRAPH_PEQ", GRAPH, (0, ST), None, "", None, NS, (255, 255, 100)),
    ("PARAM_GRAPH_AEQ", GRAPH, (0, ST), None, "", None, NS, (0, 49, 255)),
    ("PARAM_QUANTIZE", (0, 2, 3, T), (0, ST), "Quantize", "Bits", "DisplayFloat0"),
    ("PARAM_AUTO_TRIM", (0, 1, 2, T), (0, ST), "Trim", "", "DisplayFloat1", NS),
    ("PARAM_DULM_3D", (-80, 20, 2, L), (0, RW), "DulmVolume", "dB", "DisplayFloat1"),
    ("PARAM_ANALOG", (0, 2, 3, T), (0, RW), "Analog", "", "DisplayAnalogInputs"),
    ("PARAM_SPEAKER", (0, 1, 2, T), (0, RW), "Speaker", "", "DisplaySpeakerType"),
    ("PARAM_SAMPLE", (0, 1, 2, T), (0, RW), "Sample", "", "DisplaySampleRate"),
    ("PARAM_MUTE", (0, 1, 2, T), (0, RW), "Mute", "", "DisplayState"),
    ("PARAM_MASTERBP", (0, 1, 2, T), (0, RW), "MasterBP", "", "DisplayState"),
    ("PARAM_STEREO_SPAN", (0, 2, 3, "StereoScale"), (1, ST), "StereoSpan", "", "DisplayStereoSpan"),
    ("PARAM_STEREO_LOW_FREQ", (0, 10, 11, "LowFreqScale"), (0, RW), "StereoLowFreq", "",
     "DisplayLowFreq"),
    ("PARAM_P_DIGITAL_INPUT_CHANEL0", MIX_IN, (-80.0, RW), "ProAnalaogInCh0", "dB",
     "DisplayMixerInputValue"),
    ("PARAM_P_DIGITAL_INPUT_CHANEL1", MIX_IN, (-80.0, RW), "ProAnalaogInCh1", "dB",
     "DisplayMixerInputValue"),
    ("PARAM_P_DIGITAL_INPUT_CHANEL2", MIX_IN, (-80.0, RW), "ProAnalaogInCh2", "dB",
     "DisplayMixerInputValue"),
    ("PARAM_P_ANALOG_INPUT_CHANEL", MIX_IN, (0, RW), "ProAnalaogInCh", "dB",
     "DisplayMixerInputValue"),
    ("PARAM_UP_DIGITAL_INPUT_CHANEL0", MIX_IN, (-80.0, RW), "UnProAnalaogInCh0", "dB",
     "DisplayMixerInputValue"),
    ("PARAM_UP_DIGITAL_INPUT_CHANEL1", MIX_IN, (-80.0, RW), "UnProAnalaogInCh1", "dB",
     "DisplayMixerInputValue"),
    ("PARAM_UP_DIGITAL_INPUT_CHANEL2", MIX_IN, (-80.0, RW), "UnProAnalaogInCh2", "dB",
     "DisplayMixerInputValue"),
    ("PARAM_UP_ANALOG_INPUT_CHANEL", MIX_IN, (-80.0, RW), "UnProAnalaogInCh", "dB",
     "DisplayMixerInputValue"),
    ("PARAM_P_DIGITAL_OUTPUT_CHANEL0", MIX_OUT, (-80.0, RW), "ProAnalaogOutCh0", "dB",
     "DisplayMixerOutputValue"),
    ("PARAM_P_DIGITAL_OUTPUT_CHANEL1", MIX_OUT, (-80.0, RW), "ProAnalaogOutCh1", "dB",
     "DisplayMixerOutputValue"),
    ("PARAM_P_ANALOG_OUTPUT_CHANEL", MIX_OUT, (0.0, RW), "ProAnalaogOutCh", "dB",
     "DisplayMixerOutputValue"),
    ("PARAM_UP_DIGITAL_OUTPUT_CHANEL0", MIX_OUT, (-80.0, RW), "UnProAnalaogOutCh0", "dB",
     "DisplayMixerOutputValue"),
    ("PARAM_UP_DIGITAL_OUTPUT_CHANEL1", MIX_OUT, (-80.0, RW), "UnProAnalaogOutCh1", "dB",
     "DisplayMixerOutputValue"),
    ("PARAM_UP_ANALOG_OUTPUT_CHANEL", MIX_OUT, (-80.0, RW), "UnProAnalaogOutCh", "dB",
     "DisplayMixerOutputValue"),
    ("PARAM_OUTPUT_SUB", MIX_OUT, (-80.0, RW), "ProAnalaogOutCh2", "dB", "DisplayMixerOutputValue"),
    ("PARAM_VOLUME_DYN_RANGE", (-80, -20, 1, L), (0.0, DB), "VolDynRange", "dB", "DisplayFloat1"),
    ("PARAM_VOLUME_LOW_GAIN", (0, 40, 1, L), (0.0, DB), "VolLowGain", "dB", "DisplayFloat1"),
    ("PARAM_VOLUME_GATE", (-96, -30, 1, L), (0.0, DB), "VolGate", "dB", "DisplayFloat1"),
    ("PARAM_DULM_TREBLE_FREQUENCY", (508.0, 20000.0, 0.1, L), (20000.0, RW), "TrebleFreq", "dB",
     "DisplayFloat1"),
    ("PARAM_DULM_BASS_FREQUENCY", (20, 650, 0.1, L), (20.0, RW), "BassFreq", "dB", "DisplayFloat1"),
    ("PARAM_SUB_FREQ", (20, 3000, 0.1, L), (20.0, RW), "SubFreq", "dB", "DisplayFloat1"),
    ("PARAM_DIG_IO_CONFIG_LB", (0, 255, 1, L), (213, RW), "DigIO Config", "dB", "DisplayDigitalIO"),
    ("PARAM_DIG_IO_CONFIG_HB", (0, 255, 1, L), (191, RW), "DigIO Config", "dB", "DisplayDigitalIO"),
    ("PARAM_DULM_VOLUME_SLIDER", (-80, 20, 0.2, "VolumeScale"), (0.0, RW), "DulmVolume", "dB",
     "DisplayFloat1"),
    ("PARAM_DULM_STEREO_INTENSITY", (0, 100, 1, L), (0.0, DB), "DulmStereo", "dB", "DisplayFloat0"),
    ("PARAM_DULM_TREBLE_INTENSITY", (0, 100, 1, L), (0.0, DB), "DulmTreble", "dB", "DisplayFloat0"),
    ("PARAM_DULM_BASS_INTENSITY", (0, 100, 1, L), (0.0, DB), "DulmBass", "dB", "DisplayFloat0"),
    ("PARAM_LEVELER_ON_OFF", (0, 1, 2, T), (1, RW), "Leveler", "", "DisplayState"),
    ("PARAM_HARD_KNEE", (0, 1, 2, T), (1, RW), "HardKnee", "", "DisplayState"),
    ("PARAM_BALANCE", (0, 240, 1, L), (120, RW), "Balance", "", "DisplayBalance"),
    ("PARAM_CONNECTIVITY_LED", (0, 1, 2, T), (0, RW), "Connectivity", "", "DisplayState"),
    ("PARAM_COLLAPSE", (0, 1, 2, T), (1, RW), "Collapse", "", "DisplayState",
     ("DontSaveToPreset",)),
    ("PARAM_PEQ_BYPASS", (0, 1, 2, T), (1, RW), "PEQ Bypass", "", "DisplayState"),
    ("PARAM_DULM_BASS_BYPASS", (0, 1, 2, T), (1, RW), "DulmBass Bypass", "", "DisplayState"),
    ("PARAM_DULM_TREBLE_BYPASS", (0, 1, 2, T), (1, RW), "DulmTreble Bypass", "", "DisplayState"),
    ("PARAM_DULM_STEREO_BYPASS", (0, 1, 2, T), (1, RW), "DulmStereo Bypass", "", "DisplayState"),
    ("PARAM_DULM_VOLUME_BYPASS", (0, 1, 2, T), (1, RW), "DulmVolume Bypass", "", "DisplayState"),
    ("PARAM_LEVELER_THRESHOLD", (-30, 0, 0.2, L), (-21.2, RW), "Threshold", "dB", "DisplayFloat1"),
    ("PARAM_DIGITAL_IO_EDIT", (0, 1, 2, T), (0, RW), "DigitalIO Edit", "", "DisplayState"),
    ("PARAM_DELAY", (0, 100, 1, L), (0.0, DB), "Delay", "ms", "DisplayFloat0"),
    ("PARAM_DULM_BASS_NG_THRESHOLD", (-100, -20, 1, L), (-100.0, RW), "BassNGThreshold", "dB",
     "DisplayFloat0"),
    ("PARAM_DULM_BASS_NG_GAP", (-47, 0, 1, L), (-47.0, RW), "BassNGGap", "dB", "DisplayFloat0"),
    ("PARAM_DULM_BASS_HP_FREQ", (20, 320, 1, L), (20, RW), "BassHPFreq", "Hz", "DisplayFloat0"),
    ("PARAM_DULM_TREBLE_NG_THRESHOLD", (-100, -20, 1, L), (-100.0, RW), "TrebleNGThreshold", "dB",
     "DisplayFloat0"),
    ("PARAM_DULM_TREBLE_NG_GAP", (-47, 0, 1, L), (-47, RW), "TrebleNGGap", "dB", "DisplayFloat0"),
    ("PARAM_MUTE_TIME", (1, 255, 1, L), (10, RW), "MuteTime", "ms", "DisplayFloat0"),
    ("PARAM_ENABLE_BASS_HP_FREQ", (0, 1, 2, T), (0, RW), "EnableBassHPFreq", "", "DisplayState"),
    ("PARAM_AEQ_ACTIVE", (0, 1, 2, T), (0, RW), "Mute", "", "DisplayState"),
    ("PARAM_SHOW_GRAPH_PEQ", (0, 1, 2, T), (1, RW), "Mute", "", "DisplayState"),
    ("PARAM_SHOW_GRAPH_AEQ", (0, 1, 2, T), (1, RW), "Mute", "", "DisplayState"),
    ("PARAM_SHOW_GRAPH_TOTAL", (0, 1, 2, T), (1, RW), "Mute", "", "DisplayState"),
    ("PARAM_GRAPH_TOTAL", GRAPH, (0, ST), None, "", None, NS, (49, 255, 49)),
    ("PARAM_OUTPUT_ANALOG_PHASE", (0, 1, 2, T), (0, RW), "Output Phase Analog", "", "DisplayState"),
    ("PARAM_OUTPUT_DIGITAL1_PHASE", (0, 1, 2, T), (0, RW), "Output Phase Digital 1", "",
     "DisplayState"),
    ("PARAM_OUTPUT_DIGITAL2_PHASE", (0, 1, 2, T), (0, RW), "Output Phase Digital 2", "",
     "DisplayState"),
    ("PARAM_OUTPUT_SUB_PHASE", (0, 1, 2, T), (0, RW), "Output Phase Sub", "", "DisplayState"),
    ("PARAM_UP_ANALOG_OUTPUT_CHANNEL1", MIX_OUT, (-80.0, RW), "UnProAnalaogOutCh1", "dB",
     "DisplayMixerOutputValue"),
    ("PARAM_P_ANALOG_OUTPUT_CHANNEL1", MIX_OUT, (0.0, RW), "UnProAnalaogOutCh1", "dB",
     "DisplayMixerOutputValue"),
    ("PARAM_LEVELER_TARGET", (-20, 0, 0.2, L), (-6.0, RW), "Leveler Target", "dB", "DisplayFloat1"),
    ("PARAM_LEVELER_RANGE", (-50, 0, 0.2, L), (-24.0, RW), "Leveler Range", "dB", "DisplayFloat1"),
    ("PARAM_DULM_BASS_ORIGINAL_BASS", (0, 1, 2, T), (0, RW), "DlBsOnOff", "", "DisplayOnOff"),
    ("PARAM_DULM_DIALOG_BYPASS", (0, 1, 2, T), (1, RW), "DulmDialog Bypass", "", "DisplayState"),
    ("PARAM_DULM_DIALOG_LEVEL", (0, 100, 1, L), (50, RW), "DulmDialogLevel", "dB", "DisplayFloat0"),
    ("PARAM_DULM_DIALOG_SIDE_LEVEL", (0, 100, 1, L), (50, RW), "DulmDialogSideLevel", "dB",
     "DisplayFloat0"),
    ("PARAM_HP_ON_OFF", (0, 1, 2, T), (0.0, RW), "HP", "", "DisplayOnOff"),
    ("PARAM_X4_ON_OFF", (0, 1, 2, T), (0.0, RW), "X4", "", "DisplayOnOff"),
    ("PARAM_MS_ON_OFF", (0, 1, 2, T), (0.0, RW), "MS", "", "DisplayOnOff"),
    ("PARAM_MD_ON_OFF", (0, 1, 2, T), (0.0, RW), "MD", "", "DisplayOnOff"),
    ("PARAM_MB_ON_OFF", (0, 1, 2, T), (0.0, RW), "MB", "", "DisplayOnOff"),
    ("PARAM_MT_ON_OFF", (0, 1, 2, T), (0.0, RW), "MT", "", "DisplayOnOff"),
    ("PARAM_MV_ON_OFF", (0, 1, 2, T), (0.0, RW), "MV", "", "DisplayOnOff"),
    ("PARAM_BOARD_TYPE", (0, 1, 2, T), (1.0, RW), "BoardType", "", "DisplayBoardType"),
    "PARAM_TO",
    ("PARAM_INPUT_CLOCK", (0, 2, 3, T), (2, RW), "Analog", "", "DisplayAnalogInputs"),
    ("PARAM_ADC_PRE_AMP", (-18, 34, 0.1, L), (0, RW), "ADCPreAmp", "dB", "DisplayFloat0"),
    ("PARAM_ADC_VOL", (-96, 30, 0.1, L), (0, RW), "ADCVol", "dB", "DisplayFloat1"),
    ("PARAM_DAC1_VOL", (-126, 0, 0.1, L), (0, RW), "DAC1Vol", "dB", "DisplayFloat1"),
    ("PARAM_DAC2_VOL", (-126, 0, 0.1, L), (0, RW), "DAC2Vol", "dB", "DisplayFloat1"),
    ("PARAM_ADC_PRE_AMP_MUTE", (0, 1, 2, T), (0, RW), "ADCPreAmpMute", "", "DisplayOnOff"),
    ("PARAM_ADC_VOL_MUTE", (0, 1, 2, T), (0, RW), "ADCVolMute", "", "DisplayOnOff"),
    ("PARAM_DAC1_VOL_MUTE", (0, 1, 2, T), (0, RW), "DAC1VolMute", "", "DisplayOnOff"),
    ("PARAM_DAC2_VOL_MUTE", (0, 1, 2, T), (0, RW), "DAC2VolMute", "", "DisplayOnOff"),
    ("PARAM_ADC_ENABLE", (0, 1, 2, T), (1, RW), "ADCEnalble", "", "DisplayOnOff"),
    ("PARAM_DAC_ENABLE", (0, 1, 2, T), (1, RW), "DACEnable", "", "DisplayOnOff"),
    ("PARAM_ADC_INPUT", (0, 1, 2, T), (1, RW), "DACInput", "", "DisplayOnOff"),
    ("PARAM_CONNECTIVITY_ON_OFF", (0, 1, 2, T), (0, RW), "ConnectOnOff", "", "DisplayState"),
    ("PARAM_LABEL_LEVELER_THREASHOLD", (0, 0, 2, T), (0, RW), "ThresholdLabel", "", None),
    ("PARAM_MV_MB_CORRELATION_ACTIVE", (0, 1, 2, T), (0, RW), "MV-MB Correlation Active", "",
     "DisplayState"),
    ("PARAM_MV_MB_CORRELATION_THRESHOLD", (0, 20, 1, L), (14.0, RW), "MV-MB Correlation Threshold",
     "dB", "DisplayFloat0"),
    ("PARAM_MV_MB_CORRELATION_RATIO", (1, 10, 1, L), (1.0, RW), "MV-MB Correlation Ratio", "Ratio",
     "DisplayFloat0"),
    ("PARAM_MV_MB_CORRELATION_INTENSITY", (0, 100, 1, L), (0.0, RW),
     "MV-MB Correlation Intensity", "", "DisplayFloat0", ("DontSaveToPreset",)),
    ("PARAM_MIDNIGHT_MODE", (0, 1, 2, T), (0, RW), "Midnight Mode", "", "DisplayState"),
]

for r in rows:
    if r == "PARAM_TO":
        P.append("PARAM_TO")
        continue
    name, scale, initial, label, units, display = r[:6]
    flags = r[6] if len(r) > 6 else ()
    draw = r[7] if len(r) > 7 else None
    add(name, scale, initial, label, units, display, flags, draw=draw)

SUB = [(1, 32, 3.00), (0, 64, 3.0)]
for n, (typ, freq, q) in enumerate(SUB, 1):
    drag = ("DontUpdateWhileDrag",)
    add(f"PARAM_SUBEQ_BAND{n}_STATE", (0, 1, 2, T), None, "In/Out")
    add(f"PARAM_SUBEQ_BAND{n}_TYPE", (0, 4, 5, T), (typ, ST), "Type", display="DisplayLowType")
    add(f"PARAM_SUBEQ_BAND{n}_GAIN", (-18, 17.7, 0.1, L), (0.0, RW), "Gain", "dB", "DisplayFloat1",
        drag)
    add(f"PARAM_SUBEQ_BAND{n}_FREQ", (16, 24548, 1, "FreqScale"), (freq, RW), "Freq", "Hz",
        "DisplayFloat0", drag)
    add(f"PARAM_SUBEQ_BAND{n}_Q", (0.4, 6.00, 0.01, "logarithmic"), (q, RW), "Q", "",
        "DisplayFloat2", drag, reset=(q, RW))

for r in [
    ("PARAM_SUBEQ_UPDATE", (0, 1, 2, T), (0, RW), "Update SubEQ", "", "DisplayState"),
    ("PARAM_CHANNEL_INVERSE_LEFT", (0, 1, 2, T), (0, RW), "Midnight Mode", "", "DisplayState"),
    ("PARAM_CHANNEL_INVERSE_RIGHT", (0, 1, 2, T), (0, RW), "Midnight Mode", "", "DisplayState"),
    ("PARAM_CHANNEL_SUM", (0, 1, 2, T), (0, RW), "Midnight Mode", "", "DisplayState"),
    ("PARAM_LABEL_POPFILE", None, None, "POP File", "", "DisplayIgnore",
     ("NotSavable", "DontSaveToPreset")),
    ("PARAM_SWAP_CHANNELS", (0, 1, 2, T), (0, RW), "Swap Channels", "", "DisplayState"),
]:
    add(*r)


def num(v):
    return repr(float(v)) if isinstance(v, float) else str(v)


def element(p):
    lines = [f'\t<Parameter Name="{p["name"]}">']
    if p["scale"]:
        lo, hi, res, kind = p["scale"]
        lines.append(f"\t\t<Scale><Minimum>{num(lo)}</Minimum><Maximum>{num(hi)}</Maximum>"
                     f"<Resolution>{num(res)}</Resolution><ScaleType>{kind}</ScaleType></Scale>")
    for tag in ("initial", "reset"):
        if p[tag]:
            v, t = p[tag]
            name = "InitialValue" if tag == "initial" else "ResetValue"
            lines.append(f'\t\t<{name} Type="{t}">{num(v)}</{name}>')
    if p["label"] is not None:
        lines.append(f'\t\t<Label>{p["label"]}</Label>')
    if p["units"]:
        lines.append(f'\t\t<Units>{p["units"]}</Units>')
    if p["display"]:
        lines.append(f'\t\t<DisplayFunction>{p["display"]}</DisplayFunction>')
    if p["flags"]:
        lines.append("\t\t<Flags>" + "".join(f"<{f}/>" for f in p["flags"]) + "</Flags>")
    if p["draw"]:
        r, g, b = p["draw"]
        lines.append('\t\t<DrawClass Type="DrawLineStrip"><Data Type="Point">128</Data>'
                     f'<LineColor red="{r}" green="{g}" blue="{b}"/>'
                     "<LineThickness>2.0</LineThickness></DrawClass>")
    lines.append("\t</Parameter>")
    return "\n".join(lines)


out = ['<?xml version="1.0" encoding="UTF-8"?>', "<Parameter_List>"]
values = []
for p in P:
    if p == "PARAM_TO":
        out.append('\t<!-- <Parameter Name="PARAM_TO"><Scale><Minimum>0</Minimum>'
                   "<Maximum>2</Maximum><Resolution>3</Resolution><ScaleType>toggle</ScaleType>"
                   '</Scale><InitialValue Type="RealWorld">1</InitialValue><Label>TO</Label>'
                   "<DisplayFunction>DisplayTapeOutNumber</DisplayFunction></Parameter> -->")
        continue
    out.append(element(p))
    lo_hi = p["scale"]
    if p["initial"] is None:
        values.append("0" if lo_hi else "*")
    else:
        v, t = p["initial"]
        if t == ST and lo_hi:
            lo, hi, res, kind = lo_hi
            if kind == "toggle":
                v = lo + v * (hi - lo) / (res - 1) if res > 1 else lo
            elif kind == "StereoScale":
                v = {1: 10, 2: 15}.get(int(v) % 3, 5)
            else:
                v = lo + (hi - lo) * v / 1000
        values.append(num(v))
out.append("</Parameter_List>")
assert len(values) == 200, len(values)
with open("Parameters.xml", "w") as f:
    f.write("\n".join(out) + "\n")


def preset(name, read_only):
    return (f'\t<Preset Name="{name}" GenericType="PEQ_">\n'
            "\t\t<PresetHeader><PluginName>DulmDSP</PluginName>"
            f"<PluginVersion>1.0</PluginVersion><ReadOnly>{read_only}</ReadOnly></PresetHeader>\n"
            '\t\t<PresetData Setup="CURRENT"><Parameters Type="RealWorld">'
            + " ".join(values) + "</Parameters></PresetData>\n\t</Preset>")


with open("FactoryPresets.xml", "w") as f:
    f.write('<?xml version="1.0" encoding="UTF-8"?>\n<PresetXMLTree version="1">\n'
            + preset("Full Reset - All", "true") + "\n"
            + preset("Full Reset - Process Only", "false") + "\n</PresetXMLTree>\n")
