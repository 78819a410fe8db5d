#!/usr/bin/python3
"""scale-icon.py SOURCE OUTPUT SIZE: the icon at SIZE x SIZE pixels."""
import sys

from PIL import Image

Image.open(sys.argv[1]).resize((int(sys.argv[3]),) * 2, Image.LANCZOS).save(sys.argv[2])
