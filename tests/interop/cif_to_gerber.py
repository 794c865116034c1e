#!/usr/bin/python3
"""Writes the geometry of a flat CIF file (as `zandor-cli convert --flatten` writes it) as a plain
RS-274X file in millimetres: polygons and boxes as regions, wires as draws of a round aperture of
their width, round flashes as flashes.  The Gerber reader check lets gerbv draw this file beside
the original, so that what Zandor read is drawn by the same renderer as the file it came from.
Usage: cif_to_gerber.py IN.cif OUT.gbr"""
import re
import sys


def statements(text):
    depth, current = 0, []
    for ch in text:
        if ch == "(":
            depth += 1
        elif ch == ")":
            depth -= 1
        elif depth == 0:
            if ch == ";":
                yield "".join(current).strip()
                current = []
            else:
                current.append(ch)


def main():
    src, out = sys.argv[1], sys.argv[2]
    scale = 1.0  # nanometres per CIF unit inside the current definition
    lines = ["%FSLAX46Y46*%", "%MOMM*%", "%LPD*%", "G01*", "G75*"]
    apertures = {}
    body = []
    inside = False

    def mm(v):
        return "%d" % round(v * scale)  # 6 decimals of a millimetre are nanometres

    def aperture(width):
        key = round(width * scale)
        if key not in apertures:
            apertures[key] = 10 + len(apertures)
            lines.append("%%ADD%dC,%.6f*%%" % (apertures[key], key / 1e6))
        return "D%d*" % apertures[key]

    def region(points):
        body.append("G36*")
        body.append("X%sY%sD02*" % (mm(points[0][0]), mm(points[0][1])))
        for x, y in points[1:] + points[:1]:
            body.append("X%sY%sD01*" % (mm(x), mm(y)))
        body.append("G37*")

    for s in statements(open(src, encoding="latin-1").read()):
        if not s:
            continue
        numbers = [int(v) for v in re.findall(r"-?\d+", s[1:])] if s[0] in "PWBRD" else []
        if s.startswith("DS"):
            a, b = (numbers[1], numbers[2]) if len(numbers) >= 3 else (1, 1)
            scale = 10.0 * a / b  # CIF units are hundredths of a micrometre
            inside = True
        elif s[0] == "P":
            region(list(zip(numbers[0::2], numbers[1::2])))
        elif s[0] == "W":
            body.append(aperture(numbers[0]))
            pts = list(zip(numbers[1::2], numbers[2::2]))
            body.append("X%sY%sD02*" % (mm(pts[0][0]), mm(pts[0][1])))
            for x, y in pts[1:]:
                body.append("X%sY%sD01*" % (mm(x), mm(y)))
        elif s[0] == "R":
            body.append(aperture(numbers[0]))
            body.append("X%sY%sD03*" % (mm(numbers[1]), mm(numbers[2])))
        elif s[0] == "B":
            length, width, cx, cy = numbers[:4]
            dx, dy = (numbers[4], numbers[5]) if len(numbers) >= 6 else (1, 0)
            norm = (dx * dx + dy * dy) ** 0.5 or 1
            ux, uy = dx / norm, dy / norm
            hl, hw = length / 2, width / 2
            region([(cx - ux * hl + uy * hw, cy - uy * hl - ux * hw), (cx + ux * hl + uy * hw, cy + uy * hl - ux * hw),
                    (cx + ux * hl - uy * hw, cy + uy * hl + ux * hw), (cx - ux * hl - uy * hw, cy - uy * hl + ux * hw)])
        elif s.startswith("DF"):
            inside = False
        elif s.startswith("C") and inside:
            sys.exit("cif_to_gerber.py: the CIF file must be flat (convert --flatten)")
    with open(out, "w") as f:
        f.write("\n".join(lines + body + ["M02*"]) + "\n")


main()
