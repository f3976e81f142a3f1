#!/usr/bin/env python3
"""Writes examples/example_form.pdf: a one-page form with a text field, a check box, a highlight
and a square annotation, so the command-line program has something to count and flatten."""
import pathlib
import zlib

def stream(dict_entries: str, data: bytes, flate: bool = False) -> bytes:
    if flate:
        data = zlib.compress(data)
        dict_entries += " /Filter /FlateDecode"
    return (f"<< {dict_entries} /Length {len(data)} >>\nstream\n").encode() + data + b"\nendstream"

objects = {
    1: b"<< /Type /Catalog /Pages 2 0 R /AcroForm 5 0 R >>",
    2: b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
    3: b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R"
       b" /Resources << /Font << /F1 6 0 R >> >> /Annots [7 0 R 9 0 R 12 0 R 14 0 R] >>",
    4: stream("", b"BT /F1 18 Tf 72 720 Td (kestrin example form) Tj ET\n"
                  b"BT /F1 12 Tf 72 660 Td (Name:) Tj ET\nBT /F1 12 Tf 72 620 Td (Agree:) Tj ET\n",
              flate=True),
    5: b"<< /Fields [7 0 R 9 0 R] /DR << /Font << /Helv 6 0 R >> >> /DA (/Helv 12 Tf 0 g) >>",
    6: b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
    7: b"<< /Type /Annot /Subtype /Widget /FT /Tx /T (name) /V (Ada Lovelace) /F 4"
       b" /Rect [130 652 330 672] /AP << /N 8 0 R >> /DA (/Helv 12 Tf 0 g) >>",
    8: stream("/Type /XObject /Subtype /Form /BBox [0 0 200 20] /Resources << /Font << /Helv 6 0 R >> >>",
              b"0.9 0.9 1 rg 0 0 200 20 re f /Tx BMC BT /Helv 12 Tf 0 g 2 5 Td (Ada Lovelace) Tj ET EMC\n"),
    9: b"<< /Type /Annot /Subtype /Widget /FT /Btn /T (agree) /V /Yes /AS /Yes /F 4"
       b" /Rect [130 612 146 628] /AP << /N << /Yes 10 0 R /Off 11 0 R >> >> >>",
    10: stream("/Type /XObject /Subtype /Form /BBox [0 0 16 16]",
               b"0 0 0 RG 1 w 0.5 0.5 15 15 re S 3 8 m 7 3 l 13 13 l S\n"),
    11: stream("/Type /XObject /Subtype /Form /BBox [0 0 16 16]", b"0 0 0 RG 1 w 0.5 0.5 15 15 re S\n"),
    12: b"<< /Type /Annot /Subtype /Highlight /Rect [70 714 300 740] /C [1 1 0]"
        b" /QuadPoints [70 740 300 740 70 714 300 714] /AP << /N 13 0 R >> >>",
    13: stream("/Type /XObject /Subtype /Form /BBox [70 714 300 740]"
               " /Resources << /ExtGState << /G0 << /CA 0.4 /ca 0.4 >> >> >>",
               b"/G0 gs 1 1 0 rg 70 714 230 26 re f\n"),
    14: b"<< /Type /Annot /Subtype /Square /Rect [400 600 540 700] /C [0.8 0 0] /Border [0 0 2] >>",
}

out = bytearray(b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n")
offsets = {}
for num in sorted(objects):
    offsets[num] = len(out)
    out += f"{num} 0 obj\n".encode() + objects[num] + b"\nendobj\n"
xref = len(out)
size = max(objects) + 1
out += f"xref\n0 {size}\n0000000000 65535 f \n".encode()
for num in range(1, size):
    out += f"{offsets[num]:010d} 00000 n \n".encode()
out += f"trailer\n<< /Size {size} /Root 1 0 R >>\nstartxref\n{xref}\n%%EOF\n".encode()
path = pathlib.Path(__file__).with_name("example_form.pdf")
path.write_bytes(bytes(out))
print(path)
