#!/usr/bin/env python3
"""Writes the standard 14 fonts' metrics and the standard encodings as C++ tables.

Sources, all public and found on a Debian machine:
  - metrics: the AFM files of fonts-urw-base35, metric-compatible with Adobe's standard 14 fonts;
  - StandardEncoding and the built-in encodings of Symbol and ZapfDingbats: the character codes of
    those AFM files (NimbusSans-Regular, StandardSymbolsPS, D050000L);
  - WinAnsiEncoding and MacRomanEncoding: Python's cp1252 and mac_roman codecs, with the changes of
    ISO 32000-1 Annex D (see winansi() and mac_roman());
  - PDFDocEncoding: ISO 32000-1 Annex D, Table D.2 (written out below: no codec exists);
  - glyph name to Unicode: the Adobe Glyph List, read as text from python3-fonttools' fontTools/agl.py
    (which holds glyphlist.txt verbatim). It has no entries for ZapfDingbats' names (a1 ... a191),
    and neither has D050000L.otf's cmap (it maps the built-in codes), so those glyphs have none.

Usage: tools/generate_font_tables.py [OUTPUT_DIR]   (default src/generate)
Only the standard library is used; the tables it writes are checked in.
"""

import re
import sys
from pathlib import Path

AFM_DIR = Path("/usr/share/fonts/type1/urw-base35")
AGL_SOURCE = Path("/usr/lib/python3/dist-packages/fontTools/agl.py")

# The standard 14 names and the URW fonts that carry their metrics.
STANDARD_14 = [
    ("Courier", "NimbusMonoPS-Regular"),
    ("Courier-Bold", "NimbusMonoPS-Bold"),
    ("Courier-BoldOblique", "NimbusMonoPS-BoldItalic"),
    ("Courier-Oblique", "NimbusMonoPS-Italic"),
    ("Helvetica", "NimbusSans-Regular"),
    ("Helvetica-Bold", "NimbusSans-Bold"),
    ("Helvetica-BoldOblique", "NimbusSans-BoldItalic"),
    ("Helvetica-Oblique", "NimbusSans-Italic"),
    ("Symbol", "StandardSymbolsPS"),
    ("Times-Bold", "NimbusRoman-Bold"),
    ("Times-BoldItalic", "NimbusRoman-BoldItalic"),
    ("Times-Italic", "NimbusRoman-Italic"),
    ("Times-Roman", "NimbusRoman-Regular"),
    ("ZapfDingbats", "D050000L"),
]

# ISO 32000-1 Annex D, Table D.2: PDFDocEncoding where it is not ISO Latin-1.
PDFDOC_OUTSIDE_LATIN1 = {
    0x18: 0x02D8, 0x19: 0x02C7, 0x1A: 0x02C6, 0x1B: 0x02D9, 0x1C: 0x02DD, 0x1D: 0x02DB,
    0x1E: 0x02DA, 0x1F: 0x02DC,
    0x80: 0x2022, 0x81: 0x2020, 0x82: 0x2021, 0x83: 0x2026, 0x84: 0x2014, 0x85: 0x2013,
    0x86: 0x0192, 0x87: 0x2044, 0x88: 0x2039, 0x89: 0x203A, 0x8A: 0x2212, 0x8B: 0x2030,
    0x8C: 0x201E, 0x8D: 0x201C, 0x8E: 0x201D, 0x8F: 0x2018, 0x90: 0x2019, 0x91: 0x201A,
    0x92: 0x2122, 0x93: 0xFB01, 0x94: 0xFB02, 0x95: 0x0141, 0x96: 0x0152, 0x97: 0x0160,
    0x98: 0x0178, 0x99: 0x017D, 0x9A: 0x0131, 0x9B: 0x0142, 0x9C: 0x0153, 0x9D: 0x0161,
    0x9E: 0x017E, 0xA0: 0x20AC,
}
PDFDOC_UNDEFINED = set(range(0x00, 0x18)) - {0x09, 0x0A, 0x0D} | {0x7F, 0x9F, 0xAD}


def read_afm(path):
    """The AFM's header values, its (code, name, width, bbox) metrics."""
    header, metrics = {}, []
    for line in path.read_text(encoding="latin-1").splitlines():
        if line.startswith("C "):
            fields = dict(part.strip().split(" ", 1) for part in line.split(";") if part.strip())
            metrics.append((int(fields["C"]), fields["N"], int(float(fields["WX"])),
                            [int(float(v)) for v in fields["B"].split()]))
        elif " " in line:
            key, value = line.split(" ", 1)
            header.setdefault(key, value)
    return header, metrics


def ascent_descent(header, metrics):
    """Ascender and Descender; where the AFM leaves them 0, the top of "d" and the bottom of "p" as
    the AFM format defines them, else the font's bounding box."""
    ascent, descent = int(header.get("Ascender", 0)), int(header.get("Descender", 0))
    bbox = [int(v) for v in header["FontBBox"].split()]
    boxes = {name: box for _, name, _, box in metrics}
    if ascent == 0:
        ascent = boxes["d"][3] if "d" in boxes else bbox[3]
    if descent == 0:
        descent = boxes["p"][1] if "p" in boxes else bbox[1]
    return ascent, descent, bbox


def read_agl():
    text = AGL_SOURCE.read_text(encoding="utf-8")
    block = re.search(r'_aglText = """\\\n(.*?)"""', text, re.S).group(1)
    names = {}
    for line in block.splitlines():
        if not line or line.startswith("#"):
            continue
        name, codes = line.split(";")
        names[name] = int(codes.split()[0], 16)  # a sequence: its first character stands for it
    return names


def builtin_encoding(afm_name):
    _, metrics = read_afm(AFM_DIR / (afm_name + ".afm"))
    table = [None] * 256
    for code, name, _, _ in metrics:
        if 0 <= code <= 255:
            table[code] = name
    return table


def names_from_codec(codec, agl_inverse, overrides):
    table = [None] * 256
    for code in range(32, 256):
        if code in overrides:
            table[code] = overrides[code]
            continue
        try:
            table[code] = agl_inverse[ord(bytes([code]).decode(codec))]
        except (UnicodeDecodeError, KeyError):
            pass
    table[127] = None
    return table


def winansi(agl_inverse):
    # Annex D: 0xA0 shows "space" and 0xAD "hyphen"; the codes cp1252 leaves out are not encoded.
    return names_from_codec("cp1252", agl_inverse, {0xA0: "space", 0xAD: "hyphen"})


# Mac OS Roman's mathematical and Greek characters and its Apple logo, which the Latin character set
# of Annex D leaves out of MacRomanEncoding.
MAC_ROMAN_UNDEFINED = [0xAD, 0xB0, 0xB2, 0xB3, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xBD, 0xC3, 0xC5, 0xC6,
                       0xD7, 0xF0]


def mac_roman(agl_inverse):
    # Annex D keeps the currency sign at 0xDB, where the codec has the later euro.
    table = names_from_codec("mac_roman", agl_inverse, {0xCA: "space", 0xDB: "currency"})
    for code in MAC_ROMAN_UNDEFINED:
        table[code] = None
    return table


def pdfdoc(agl_inverse):
    table = [None] * 256
    for code in range(0x18, 256):  # below: control characters, no glyphs
        if code in PDFDOC_UNDEFINED:
            continue
        table[code] = agl_inverse.get(PDFDOC_OUTSIDE_LATIN1.get(code, code))
    return table


def agl_inverse_of(agl):
    # The name of a character: the StandardEncoding name, else the name Helvetica's AFM uses (the
    # names of the standard Latin set), else the shortest AGL name.
    standard = set(n for n in builtin_encoding("NimbusSans-Regular") if n)
    helvetica = {name for _, name, _, _ in read_afm(AFM_DIR / "NimbusSans-Regular.afm")[1]}
    rank = lambda name: (name not in standard, name not in helvetica, len(name), name)
    inverse = {}
    for name, cp in sorted(agl.items(), key=lambda kv: rank(kv[0])):
        inverse.setdefault(cp, name)
    return inverse


def cpp_string(s):
    return '"' + s.replace("\\", "\\\\").replace('"', '\\"') + '"'


HEADER = """// Generated by tools/generate_font_tables.py; do not edit. Sources: {sources}.
"""


def write_metrics(out_dir):
    lines = [HEADER.format(sources="the AFM files of Debian's fonts-urw-base35 (URW++ metrics, "
                           "compatible with Adobe's standard 14 fonts)"),
             '#include "generate/font_tables.h"', "", "namespace kestrin::generate::table {", ""]
    fonts = []
    for pdf_name, urw in STANDARD_14:
        header, metrics = read_afm(AFM_DIR / (urw + ".afm"))
        ascent, descent, bbox = ascent_descent(header, metrics)
        ident = pdf_name.replace("-", "_").lower()
        widths = sorted({name: width for _, name, width, _ in metrics}.items())
        lines.append("// %s from %s.afm" % (pdf_name, urw))
        lines.append("const glyph_width %s_widths[] = {" % ident)
        row = []
        for name, width in widths:
            row.append("{%s, %d}," % (cpp_string(name), width))
            if len(row) == 5:
                lines.append("    " + " ".join(row))
                row = []
        if row:
            lines.append("    " + " ".join(row))
        lines.append("};")
        lines.append("")
        fonts.append("    {%s, %s, %d, %d, %d, {%s}, %s_widths}," % (
            cpp_string(pdf_name), cpp_string(urw), ascent, descent, int(header["CapHeight"]),
            ", ".join(str(v) for v in bbox), ident))
    lines.append("// Sorted by name.")
    lines.append("const font_metrics standard_fonts[14] = {")
    lines.extend(fonts)
    lines.append("};")
    lines.append("")
    lines.append("}  // namespace kestrin::generate::table")
    (out_dir / "font_metrics_table.cpp").write_text("\n".join(lines) + "\n")


def write_encodings(out_dir, agl):
    inverse = agl_inverse_of(agl)
    encodings = [
        ("standard", builtin_encoding("NimbusSans-Regular")),
        ("win_ansi", winansi(inverse)),
        ("mac_roman", mac_roman(inverse)),
        ("pdf_doc", pdfdoc(inverse)),
        ("symbol", builtin_encoding("StandardSymbolsPS")),
        ("zapf_dingbats", builtin_encoding("D050000L")),
    ]
    glyph_unicode = {}
    names = {n for _, table in encodings for n in table if n}
    for _, urw in STANDARD_14:
        names |= {name for _, name, _, _ in read_afm(AFM_DIR / (urw + ".afm"))[1]}
    for name in names:
        if name in agl:
            glyph_unicode[name] = agl[name]
    lines = [HEADER.format(sources="the built-in encodings of fonts-urw-base35's AFM files "
                           "(Standard, Symbol, ZapfDingbats), Python's cp1252 and mac_roman codecs "
                           "with ISO 32000-1 Annex D's changes (WinAnsi, MacRoman), Annex D Table D.2 "
                           "(PDFDoc) and the Adobe Glyph List from python3-fonttools (glyph names to "
                           "Unicode)"),
             '#include "generate/encoding_tables.h"', "", "namespace kestrin::generate::table {", ""]
    for ident, table in encodings:
        lines.append("const char* const %s_names[256] = {" % ident)
        for start in range(0, 256, 8):
            lines.append("    " + " ".join(cpp_string(n or "") + "," for n in table[start:start + 8]))
        lines.append("};")
        lines.append("")
        pairs = sorted({(glyph_unicode[n], code) for code, n in enumerate(table)
                        if n and n in glyph_unicode})
        lines.append("// Unicode to code, sorted by Unicode, then code.")
        lines.append("const unicode_code %s_codes[] = {" % ident)
        row = []
        for cp, code in pairs:
            row.append("{0x%04X, %d}," % (cp, code))
            if len(row) == 8:
                lines.append("    " + " ".join(row))
                row = []
        if row:
            lines.append("    " + " ".join(row))
        lines.append("};")
        lines.append("")
    lines.append("// Glyph name to Unicode, sorted by name.")
    lines.append("const glyph_unicode glyph_unicodes[] = {")
    for name in sorted(glyph_unicode):
        lines.append("    {%s, 0x%04X}," % (cpp_string(name), glyph_unicode[name]))
    lines.append("};")
    lines.append("")
    lines.append("const std::span<const glyph_unicode> glyph_unicode_index(glyph_unicodes);")
    for ident, _ in encodings:
        lines.append("const std::span<const unicode_code> %s_index(%s_codes);" % (ident, ident))
    lines.append("")
    lines.append("}  // namespace kestrin::generate::table")
    (out_dir / "encoding_table.cpp").write_text("\n".join(lines) + "\n")


def main():
    out_dir = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).parent.parent / "src/generate"
    write_metrics(out_dir)
    write_encodings(out_dir, read_agl())


if __name__ == "__main__":
    main()
