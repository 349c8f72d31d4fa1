#!/usr/bin/python3
"""Drives the X display in $DISPLAY through the XTest extension: xdrive.py COMMAND...
   key KEYSYM[+KEYSYM...]    press and release a key combination (e.g. Control_L+r)
   click X Y                 left click at a screen position
   wait NAME [SECONDS]       wait until a window named NAME is mapped; print its x y w h
"""
import ctypes
import re
import subprocess
import sys
import time

x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
xtst = ctypes.cdll.LoadLibrary("libXtst.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XStringToKeysym.restype = ctypes.c_ulong
x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]


def display():
    d = x11.XOpenDisplay(None)
    if not d:
        sys.exit("xdrive: cannot open the display")
    return d


def key(combo):
    d = display()
    codes = [x11.XKeysymToKeycode(d, x11.XStringToKeysym(k.encode())) for k in combo.split("+")]
    for c in codes:
        xtst.XTestFakeKeyEvent(d, c, 1, 0)
    for c in reversed(codes):
        xtst.XTestFakeKeyEvent(d, c, 0, 0)
    x11.XFlush(d)
    x11.XCloseDisplay(d)


def click(x, y):
    d = display()
    xtst.XTestFakeMotionEvent(d, -1, x, y, 0)
    x11.XFlush(d)
    time.sleep(0.1)
    xtst.XTestFakeButtonEvent(d, 1, 1, 0)
    xtst.XTestFakeButtonEvent(d, 1, 0, 0)
    x11.XFlush(d)
    x11.XCloseDisplay(d)


def wait(name, seconds=20.0):
    end = time.time() + seconds
    while time.time() < end:
        out = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True).stdout
        for line in out.splitlines():
            m = re.search(r'"([^"]*)".*\s(\d+)x(\d+)\+(-?\d+)\+(-?\d+)\s+\+(-?\d+)\+(-?\d+)', line)
            if m and m.group(1) == name and int(m.group(2)) > 10:
                print(m.group(6), m.group(7), m.group(2), m.group(3))
                return
        time.sleep(0.2)
    sys.exit("xdrive: no window named %r" % name)


if __name__ == "__main__":
    cmd = sys.argv[1]
    if cmd == "key":
        key(sys.argv[2])
    elif cmd == "click":
        click(int(sys.argv[2]), int(sys.argv[3]))
    elif cmd == "wait":
        wait(sys.argv[2], float(sys.argv[3]) if len(sys.argv) > 3 else 20.0)
    else:
        sys.exit(__doc__)
