#!/usr/bin/env python3
"""Writes expected.ulog: the log that the write test builds, spelled out by hand.

UTF-16 little-endian with the byte-order mark, every line ended by CR LF.
Check it with: iconv -f UTF-16LE expected.ulog | cat -A | less
"""
from pathlib import Path

app = "C:\\Program Files\\Gradiva 7"
menu = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Gradiva 7"
lines = [
    "// Uninstall Log File v1",
    "// ############ WARNING: Do not delete or modify this file. ############",
    "// Install Gradiva 7.18f -- Update (Gradiva 7.18e)",
    "// Install Path : " + app,
    "// Shortcut Path : " + menu,
    "// " + "-" * 100,
    # this run's entries, in the order the changes were made
    "0000:00ff:1 -- " + app,
    "0001:00ff:1 -- " + app + "\\Lang",
    "0002:0100:1 -- " + app + "\\Lang\\de.dll",
    "0003:0101:1 -- " + app + "\\Gradiva.exe",
    "0004:0102:1 -- " + app + "\\Uninstall.exe",
    "0005:0103:0 -- C:\\Users\\Public\\Documents\\Gradiva\\Settings.ini",
    "0006:0104:1 -- C:\\ProgramData\\Varnholt\\Beispiele\\\u00dcbersicht \u0394.gdv",
    "0007:02ff:1 -- " + menu + "\\Gradiva 7.18f.lnk",
    "0008:04ff:1 -- C:\\Users\\Public\\Desktop\\Gradiva 7.18f.lnk",
    "0009:07ff:0 -- DirectX Update",
    "0010:05ff:1 -- HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Gradiva 7",
    "0011:06ff:1 -- HKEY_CLASSES_ROOT\\...",
    # carried over from the earlier log, in its order
    "0012:0100:1 -- " + app + "\\Lang\\old.dll",
    "0013:03ff:1 -- " + app + "\\Legacy.txt",
]
data = "\ufeff" + "".join(line + "\r\n" for line in lines)
Path(__file__).with_name("expected.ulog").write_bytes(data.encode("utf-16-le"))
