"""What the scripts that draw the reader's pictures share: the command line
([--check] [TARGET]) and the check that a stored picture is what they draw."""
import os
import sys

from PIL import Image


def target_and_check(default_name):
    """(target path, check only) from the command line; the default target is
    resources/reader/<default_name>."""
    args = sys.argv[1:]
    check = args[:1] == ["--check"]
    if check:
        args = args[1:]
    target = args[0] if args else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "resources", "reader", default_name)
    return target, check


def same_pixels(image, path):
    """0 when the picture in path has the pixels and the format of image, else 1."""
    with Image.open(path) as stored:
        if stored.mode != image.mode or stored.size != image.size:
            print("%s: %s %s, expected %s %s" % (path, stored.mode, stored.size,
                                                 image.mode, image.size))
            return 1
        if list(stored.convert("RGB").getdata()) != list(image.convert("RGB").getdata()):
            print("%s: pixels differ from what the script draws" % path)
            return 1
    return 0
