#!/usr/bin/env python3
"""Writes the bytes spelled out in a hex fixture: pairs of hexadecimal digits, blanks
between them, "#" to the end of a line a comment. Usage: hex_to_file.py IN.hex OUT"""
import re
import sys

text = open(sys.argv[1], encoding="utf-8").read()
digits = " ".join(re.sub(r"#.*", "", line) for line in text.splitlines()).split()
with open(sys.argv[2], "wb") as out:
    out.write(bytes(int(pair, 16) for pair in digits))
