#!/usr/bin/env python3
"""Draws the updater's pictures with ImageMagick's convert and writes them
into updater/resources/images/ (or the folder given):

  logotype.bmp        472 x 144, 24-bit: the picture behind the connection group
  Success.bmp          41 x 41,  24-bit: outcome of a successful run (green tick)
  Errors.bmp           41 x 41,  24-bit: outcome of a failed run (red cross)
  Updater_Tamber.ico  16, 32 and 48 pixels: the program's icon

Every picture is drawn at four times its size and scaled down, which gives
smooth edges. The results are committed; run this again after a change:
  python3 scripts/make-pictures.py [FOLDER]
"""
import os
import subprocess
import sys
import tempfile

CONVERT = os.environ.get("CONVERT", "convert")
FONT_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
S = 4  # drawing scale
ROUND = "stroke-linecap round stroke-linejoin round "  # prefix of a -draw with round ends


def run(*args):
    subprocess.run([CONVERT, *map(str, args)], check=True)


def p(*values):
    """Coordinates of the final picture at the drawing scale, as text."""
    return ",".join(f"{v * S:g}" for v in values)


def bmp24(source, target, size):
    """Scales a drawing down and stores it as an uncompressed 24-bit BMP with
    the plain Windows 3 header (what LoadImage and the outcome boxes read)."""
    run(source, "-filter", "Lanczos", "-resize", f"{size}!", "-background", "white", "-alpha", "remove",
        "-alpha", "off", "-type", "TrueColor", "-depth", "8", f"BMP3:{target}")


def database(cx, top, w, h, fill, edge, bands=True):
    """Draw primitives of a database cylinder: centre x, top, width, height."""
    rx, ry = w / 2, w / 7
    x0, x1 = cx - rx, cx + rx
    bottom = top + h
    out = [
        "-fill", fill, "-stroke", edge, "-strokewidth", f"{1.2 * S:g}",
        "-draw", f"path 'M {p(x0, top)} L {p(x0, bottom)} A {p(rx, ry)} 0 0 0 {p(x1, bottom)} L {p(x1, top)} Z'",
        "-draw", f"ellipse {p(cx, top)} {p(rx, ry)} 0,360",
        "-fill", "none",
    ]
    for y in (top + h / 3, top + 2 * h / 3) if bands else ():
        out += ["-draw", f"path 'M {p(x0, y)} A {p(rx, ry)} 0 0 0 {p(x1, y)}'"]
    return out


def circular_arrows(cx, cy, r, colour, width):
    """Two arrows chasing each other around a circle (the sign of an update)."""
    import math

    def at(deg):
        a = math.radians(deg)
        return cx + r * math.cos(a), cy - r * math.sin(a)

    out = ["-fill", "none", "-stroke", colour, "-strokewidth", f"{width * S:g}"]
    heads = []
    for start, end in ((340, 200), (160, 20)):
        (x0, y0), (x1, y1) = at(start), at(end)
        # clockwise on the screen: right to left through the bottom, left to right over the top
        out += ["-draw", f"{ROUND}path 'M {p(x0, y0)} A {p(r, r)} 0 0 1 {p(x1, y1)}'"]
        # arrow head at the end of the arc, pointing along the clockwise direction
        a = math.radians(end)
        tx, ty = math.sin(a), math.cos(a)  # clockwise tangent on the screen
        nx, ny = math.cos(a), -math.sin(a)  # outward normal
        hl, hw = width * 2.2, width * 1.9
        tip = (x1 + tx * hl * 0.9, y1 + ty * hl * 0.9)
        l = (x1 + nx * hw - tx * hl * 0.3, y1 + ny * hw - ty * hl * 0.3)
        rr = (x1 - nx * hw - tx * hl * 0.3, y1 - ny * hw - ty * hl * 0.3)
        heads += ["-draw", f"polygon {p(*tip)} {p(*l)} {p(*rr)}"]
    return out + ["-stroke", "none", "-fill", colour] + heads


def logotype(folder, tmp):
    # The main window draws this picture into its connection group, below the
    # group's caption, and puts its labels and edit boxes on top of it: the
    # location label and box take the top 40 rows, the password labels and
    # box the lower left from row 84. The name goes into the free band
    # between them, the emblem and the subtitle to the lower right.
    w, h = 472, 144
    ex, ey, er = 424, 90, 33  # emblem centre and radius
    glow = 2 * 95
    draw = os.path.join(tmp, "logo.png")
    run(
        "-size", f"{w * S}x{h * S}", "gradient:#0f3d68-#071a30",
        # a soft light behind the emblem
        "(", "-size", f"{glow * S}x{glow * S}", "radial-gradient:rgba(80,160,225,0.55)-rgba(80,160,225,0)", ")",
        "-geometry", f"+{(ex - glow // 2) * S}+{(ey - glow // 2) * S}", "-compose", "over", "-composite",
        # the product's name (offsets are of the baseline), with a fine line under it
        "-font", FONT_BOLD, "-pointsize", f"{26 * S:g}", "-fill", "#ffffff",
        "-annotate", f"+{11 * S}+{70 * S}", "Updater",
        "-fill", "#f6b042", "-annotate", f"+{139 * S}+{70 * S}", "Tamber",
        "-stroke", "#5fa8dc", "-strokewidth", f"{0.8 * S:g}",
        "-draw", f"line {p(12, 80)} {p(370, 80)}",
        "-stroke", "none",
        # what it does, right of the password box
        "-font", FONT, "-pointsize", f"{9.5 * S:g}", "-fill", "#bcd7ee",
        "-annotate", f"+{200 * S}+{135 * S}", "Firebird database & program update",
        # the emblem: a database with the arrows of an update around it
        *circular_arrows(ex, ey, er, "#f6b042", 3.8),
        *database(ex, ey - 16, 30, 30, "#e9f2fa", "#9cc3e2"),
        draw,
    )
    bmp24(draw, os.path.join(folder, "logotype.bmp"), f"{w}x{h}")


def outcome(folder, tmp, name, disc, edge, mark):
    size = 41
    draw = os.path.join(tmp, name + ".png")
    c = size / 2
    run(
        "-size", f"{size * S}x{size * S}", "xc:white",
        # a faint shadow, the disc, and a light rim
        "-fill", "#d9d9d9", "-draw", f"circle {p(c + 0.8, c + 1.2)} {p(c + 0.8, c + 1.2 + 18.6)}",
        "-fill", disc, "-stroke", edge, "-strokewidth", f"{1.2 * S:g}",
        "-draw", f"circle {p(c, c)} {p(c, c + 18.4)}",
        "-stroke", "none",
        "-fill", "none", "-stroke", "white", "-strokewidth", f"{4.2 * S:g}",
        *mark,
        draw,
    )
    bmp24(draw, os.path.join(folder, name + ".bmp"), f"{size}x{size}")


def icon(folder, tmp):
    sizes = (48, 32, 16)
    frames = []
    for n in sizes:
        big = 48  # every frame is drawn on the 48-pixel plan, then scaled to its size
        draw = os.path.join(tmp, f"icon{n}.png")
        # the smallest frame gets heavier arrows and a plain cylinder, which
        # stay readable at 16 pixels
        small = n <= 16
        run(
            "-size", f"{big * S}x{big * S}", "xc:none",
            "-fill", "#0d3357", "-stroke", "#5fa8dc", "-strokewidth", f"{1.5 * S:g}",
            "-draw", f"roundrectangle {p(1.5, 1.5)} {p(46.5, 46.5)} {p(8, 8)}",
            "-stroke", "none",
            *circular_arrows(24, 24, 16.5, "#f6b042", 6.0 if small else 4.0),
            *(database(24, 16, 15, 14, "#ffffff", "#ffffff", bands=False) if small
              else database(24, 15, 16, 17, "#ffffff", "#9cc3e2")),
            draw,
        )
        frame = os.path.join(tmp, f"frame{n}.png")
        run(draw, "-filter", "Lanczos", "-resize", f"{n}x{n}", frame)
        frames.append(frame)
    run(*frames, os.path.join(folder, "Updater_Tamber.ico"))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "updater", "resources", "images")
    os.makedirs(folder, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        logotype(folder, tmp)
        c = 41 / 2
        tick = ["-draw", f"{ROUND}path 'M {p(c - 9, c + 0.5)} L {p(c - 2.5, c + 7)} L {p(c + 9.5, c - 7)}'"]
        cross = ["-draw", f"{ROUND}line {p(c - 7, c - 7)} {p(c + 7, c + 7)}", "-draw", f"{ROUND}line {p(c + 7, c - 7)} {p(c - 7, c + 7)}"]
        outcome(folder, tmp, "Success", "#2e9d3f", "#1f7a2e", tick)
        outcome(folder, tmp, "Errors", "#d3312b", "#a5221d", cross)
        icon(folder, tmp)


if __name__ == "__main__":
    main()
