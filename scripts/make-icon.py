#!/usr/bin/python3
"""Draws the reader's application icon: an open book and "Volm", 87 x 31.

Saved as an 8-bit palette PNG. Shapes and lettering are drawn without
anti-aliasing so the palette holds only the few colours used.

Usage: make-icon.py [OUTPUT.png]   (default resources/reader/orvane.png)
       make-icon.py --check [FILE.png]   exit 1 unless FILE has the same pixels
"""
import sys

from picturescript import same_pixels, target_and_check
from PIL import Image, ImageDraw, ImageFont

FONT_FILE = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
NAVY = (0, 0, 128)
WHITE = (255, 255, 255)
AMBER = (255, 176, 0)
PAPER = (236, 236, 244)


def main():
    target, check = target_and_check("orvane.png")
    image = Image.new("RGB", (87, 31), WHITE)
    draw = ImageDraw.Draw(image)
    draw.fontmode = "1"
    draw.rounded_rectangle((0, 0, 86, 30), radius=6, fill=NAVY)
    # The open book: two pages meeting at the spine, lines of text on each.
    draw.polygon([(5, 8), (15, 6), (15, 24), (5, 26)], fill=PAPER)
    draw.polygon([(16, 6), (26, 8), (26, 26), (16, 24)], fill=PAPER)
    for y in range(11, 23, 3):
        draw.line((7, y + 1, 13, y - 1), fill=NAVY)
        draw.line((18, y - 1, 24, y + 1), fill=NAVY)
    draw.line((15, 6, 15, 25), fill=AMBER)
    font = ImageFont.truetype(FONT_FILE, 17)
    draw.text((31, 15), "Volm", font=font, fill=WHITE, anchor="lm")
    draw.line((32, 25, 80, 25), fill=AMBER, width=2)
    palette = image.convert("P", palette=Image.ADAPTIVE, colors=8)
    if check:
        sys.exit(same_pixels(palette, target))
    palette.save(target, bits=8, optimize=False)


if __name__ == "__main__":
    main()
