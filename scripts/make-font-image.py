#!/usr/bin/python3
"""Draws the reader's default font image from DejaVu Sans Mono.

16 x 16 cells of 11 x 11 pixels, cell of byte b at column b mod 16, row
b div 16; the glyphs of Windows-1251, navy on white, each kept within the
left 8 columns of its cell (the reader shows 8 of 11). Control codes and the
unassigned 0x98 show a small 3 x 3 box; 0x20 and 0xA0 are blank. Pixels are
either navy or white: the font is rasterised without anti-aliasing.

Usage: make-font-image.py [OUTPUT.png]   (default resources/reader/Font.png)
       make-font-image.py --check [FILE.png]   exit 1 unless FILE has the same pixels
"""
import sys

from picturescript import same_pixels, target_and_check
from PIL import Image, ImageDraw, ImageFont

FONT_FILE = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"
CELL = 11
SHOWN = 8          # columns the reader shows: 3 * 11 div 4
BASELINE = 9       # baseline row inside the cell; descenders use rows 9 and 10
SIZE = 10          # pixel size handed to the rasteriser
NAVY = (0, 0, 128)
WHITE = (255, 255, 255)


def character(b):
    """The character of byte b in Windows-1251, or None for a box."""
    if b < 0x20 or b == 0x7F:
        return None
    try:
        return bytes([b]).decode("cp1251")
    except UnicodeDecodeError:      # 0x98 has no character
        return None


def glyph_mask(font, ch):
    """A CELL x CELL 1-bit mask of ch, inked pixels 1, moved into SHOWN columns."""
    mask = Image.new("1", (CELL * 2, CELL), 0)
    draw = ImageDraw.Draw(mask)
    draw.fontmode = "1"
    draw.text((1, BASELINE), ch, font=font, fill=1, anchor="ls")
    box = mask.getbbox()
    if box is None:
        return Image.new("1", (CELL, CELL), 0)
    left, _, right, _ = box
    shift = 0
    if right > SHOWN:
        shift = min(left, right - SHOWN)
    out = Image.new("1", (CELL, CELL), 0)
    out.paste(mask.crop((shift, 0, shift + CELL, CELL)), (0, 0))
    return out


def box_mask():
    out = Image.new("1", (CELL, CELL), 0)
    ImageDraw.Draw(out).rectangle((2, BASELINE - 4, 4, BASELINE - 2), outline=1)
    return out


def main():
    target, check = target_and_check("Font.png")
    font = ImageFont.truetype(FONT_FILE, SIZE)
    image = Image.new("RGB", (16 * CELL, 16 * CELL), WHITE)
    wide = []
    for b in range(256):
        ch = character(b)
        if ch is None:
            mask = box_mask()
        elif ch.isspace() or b == 0xA0:
            continue
        else:
            mask = glyph_mask(font, ch)
        box = mask.getbbox()
        if box and box[2] > SHOWN:
            wide.append("%02X" % b)
        image.paste(NAVY, ((b % 16) * CELL, (b // 16) * CELL), mask)
    # Two colours: a 1-bit palette image is half the bytes of RGB.
    image = image.convert("P", palette=Image.ADAPTIVE, colors=2)
    if check:
        sys.exit(same_pixels(image, target))
    image.save(target, optimize=True, bits=1)
    if wide:
        print("wider than %d columns: %s" % (SHOWN, " ".join(wide)))


if __name__ == "__main__":
    main()
