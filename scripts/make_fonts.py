#!/usr/bin/python3
"""Rebuilds Resources/LumavexSans-{Regular,Bold}.otf from Debian's Inter fonts.

The brand family "Lumavex Sans" is Inter (SIL Open Font License 1.1) with its
family names changed; the licence travels beside the fonts in Resources/.
Needs the Debian packages fonts-inter and python3-fonttools.
"""
import pathlib
import sys

from fontTools.ttLib import TTFont

SOURCE_DIR = pathlib.Path("/usr/share/fonts/opentype/inter")
FAMILY = "Lumavex Sans"
STYLES = ("Regular", "Bold")

# name IDs: 1 family, 2 subfamily, 3 unique id, 4 full name, 6 PostScript name,
# 16 typographic family, 17 typographic subfamily
def rename(font: TTFont, style: str) -> None:
    postscript = FAMILY.replace(" ", "") + "-" + style
    names = {1: FAMILY, 2: style, 3: f"{postscript};1.0", 4: f"{FAMILY} {style}",
             6: postscript, 16: FAMILY, 17: style}
    table = font["name"]
    for record in list(table.names):
        if record.nameID in (16, 17, 21, 22):
            table.removeNames(nameID=record.nameID)
    for name_id, text in names.items():
        table.setName(text, name_id, 3, 1, 0x409)
        table.setName(text, name_id, 1, 0, 0)
    if "CFF " in font:
        cff = font["CFF "].cff
        cff.fontNames = [postscript]
        top = cff.topDictIndex[0]
        top.FamilyName = FAMILY
        top.FullName = f"{FAMILY} {style}"


def main() -> int:
    target = pathlib.Path(__file__).resolve().parent.parent / "Resources"
    for style in STYLES:
        font = TTFont(SOURCE_DIR / f"Inter-{style}.otf")
        rename(font, style)
        out = target / f"LumavexSans-{style}.otf"
        font.save(out)
        print(f"wrote {out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
