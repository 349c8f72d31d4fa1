"""A private desktop for one end-to-end case: Xvfb, a D-Bus session, the accessibility
bus, and the program started from a throw-away copy of the build's program folder.

pyatspi talks to whatever accessibility bus the environment names when it is first
imported, so this module sets the environment up before importing it (see `start`).
"""

import ctypes
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

_PYATSPI = None


def pyatspi():
    if _PYATSPI is None:
        raise RuntimeError("the accessibility bus is not up yet")
    return _PYATSPI


class Timeout(AssertionError):
    pass


TRACE = os.environ.get("PLATTERLY_E2E_TRACE") == "1"
_T0 = time.monotonic()


def wait_for(what, check, timeout=30.0, interval=0.1):
    """Polls check() until it returns something truthy; fails naming `what`. A check that
    fails an assertion ends the wait at once; other errors (a widget that vanished between
    two calls) count as "not yet"."""
    started = time.monotonic()
    deadline = started + timeout
    last_error = None
    while True:
        try:
            value = check()
            if value:
                if TRACE:
                    now = time.monotonic()
                    print(f"[{now - _T0:6.1f}] {now - started:5.1f} s  {what}", flush=True)
                return value
        except AssertionError:
            raise
        except Exception as e:  # noqa: BLE001
            last_error = e
        if time.monotonic() > deadline:
            detail = f" (last error: {last_error})" if last_error else ""
            raise Timeout(f"timed out after {timeout:.0f} s waiting for {what}{detail}")
        time.sleep(interval)


def _die_with_parent():
    """Runs in each helper before exec: the kernel ends it when the test process dies, so
    a case killed by its time-out leaves no X server or bus behind."""
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def _stop(proc, grace=5.0):
    if proc is None or proc.poll() is not None:
        return
    proc.terminate()
    try:
        proc.wait(grace)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


class Desktop:
    """Xvfb + D-Bus session + accessibility bus, torn down in reverse order."""

    def __init__(self, log_dir):
        self.log_dir = log_dir
        self.display = None
        self.env = None
        self._xvfb = None
        self._dbus_pid = None
        self._a11y = None
        self._logs = []
        self.runtime_dir = None

    def _log(self, name):
        f = open(os.path.join(self.log_dir, name), "wb")
        self._logs.append(f)
        return f

    def start(self):
        global _PYATSPI
        read_fd, write_fd = os.pipe()
        # -displayfd lets Xvfb pick a free display: cases may run side by side.
        self._xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_fd,), stdout=self._log("xvfb.log"), stderr=subprocess.STDOUT,
            preexec_fn=_die_with_parent)
        os.close(write_fd)
        number = b""
        with os.fdopen(read_fd, "rb") as r:
            while not number.endswith(b"\n"):
                chunk = r.read(1)
                if not chunk:
                    raise RuntimeError("Xvfb did not start (see xvfb.log)")
                number += chunk
        self.display = ":" + number.decode().strip()

        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("DBUS_", "AT_SPI", "XDG_CURRENT", "QT_", "DESKTOP_SESSION",
                                    "WAYLAND", "GTK_"))}
        env["DISPLAY"] = self.display
        # The accessibility bus puts its socket here rather than in the user's cache.
        self.runtime_dir = tempfile.mkdtemp(prefix="platterly-e2e-run-")
        env["XDG_RUNTIME_DIR"] = self.runtime_dir
        # The bus daemon forks away from us; --exit-with-x11 ends it with our X server.
        out = subprocess.run(["dbus-launch", "--exit-with-x11"], env=env, check=True,
                             capture_output=True, text=True, timeout=30).stdout
        for line in out.splitlines():
            key, _, value = line.partition("=")
            if key == "DBUS_SESSION_BUS_ADDRESS":
                env[key] = value
            elif key == "DBUS_SESSION_BUS_PID":
                self._dbus_pid = int(value)
        if "DBUS_SESSION_BUS_ADDRESS" not in env or not self._dbus_pid:
            raise RuntimeError(f"dbus-launch gave no session bus: {out!r}")

        self._a11y = subprocess.Popen(
            ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], env=env,
            stdout=self._log("at-spi.log"), stderr=subprocess.STDOUT, preexec_fn=_die_with_parent)
        wait_for("the accessibility bus", lambda: subprocess.run(
            ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
             "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
            env=env, capture_output=True, timeout=10).returncode == 0, timeout=30)
        self.env = env

        # pyatspi finds the bus through these when it is first imported.
        os.environ.update({k: env[k] for k in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS")})
        if _PYATSPI is None:
            import pyatspi as module  # noqa: PLC0415 (must follow the environment)
            _PYATSPI = module
        return self

    def screenshot(self, path):
        """Saves the whole screen; returns the path, or None when it could not be taken."""
        try:
            subprocess.run(["/usr/bin/import", "-display", self.display, "-window", "root", path],
                           check=True, capture_output=True, timeout=30)
            return path
        except Exception as e:  # noqa: BLE001 (a screenshot must never hide the failure)
            print(f"screenshot failed: {e}", file=sys.stderr)
            return None

    def stop(self):
        _stop(self._a11y)
        if self._dbus_pid:
            try:
                os.kill(self._dbus_pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        _stop(self._xvfb)
        for f in self._logs:
            f.close()
        if self.runtime_dir:
            shutil.rmtree(self.runtime_dir, ignore_errors=True)


class ProgramFolder:
    """A copy of the build's program folder, so its options.ini and cdinfo.dat stay untouched."""

    def __init__(self, build_bin, parent):
        self.build_bin = build_bin
        self.path = tempfile.mkdtemp(prefix="platterly-e2e-", dir=parent)
        for name in ("platterly", "WM8EUTIL", "Tracksmith.html"):
            src = os.path.join(build_bin, name)
            if os.path.exists(src):
                shutil.copy2(src, self.path)
        shutil.copytree(os.path.join(build_bin, "discs"), os.path.join(self.path, "discs"))
        self.home = os.path.join(self.path, "home")
        os.makedirs(self.home)
        # Nothing leaves the machine: a case that wants a lookup points it at its own server.
        self.write_options("[MusicBrainz]\r\nAutoLookup=0\r\n[AccurateRip]\r\nEnabled=0\r\n")

    def write_options(self, text):
        with open(self.file("options.ini"), "w", encoding="utf-8", newline="") as f:
            f.write(text)

    def replace_discs(self, name, *lengths):
        """Puts a disc of our own, written by the build's makedisc, in place of the demo disc."""
        discs = self.file("discs")
        shutil.rmtree(discs)
        os.makedirs(discs)
        subprocess.run([os.path.join(self.build_bin, "makedisc"), "--seed", "11", discs, name,
                        *lengths], check=True, capture_output=True, timeout=60)

    def file(self, *parts):
        return os.path.join(self.path, *parts)

    def remove(self):
        shutil.rmtree(self.path, ignore_errors=True)


class Program:
    """The running program and its entry in the accessibility tree."""

    def __init__(self, desktop, folder, log_dir, run_number, extra_env=None):
        self.desktop = desktop
        self.folder = folder
        env = dict(desktop.env)
        env.update({
            "QT_QPA_PLATFORM": "xcb",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_ACCESSIBILITY": "1",
            "HOME": folder.home,
            "XDG_CONFIG_HOME": os.path.join(folder.home, ".config"),
            "XDG_DATA_HOME": os.path.join(folder.home, ".local", "share"),
            "XDG_CACHE_HOME": os.path.join(folder.home, ".cache"),
            "LANG": "C.UTF-8",
            "LC_ALL": "C.UTF-8",
        })
        env.update(extra_env or {})
        self._log = open(os.path.join(log_dir, f"platterly-{run_number}.log"), "wb")
        self.proc = subprocess.Popen([folder.file("platterly")], env=env, cwd=folder.path,
                                     stdout=self._log, stderr=subprocess.STDOUT,
                                     preexec_fn=_die_with_parent)
        self.app = wait_for("the program on the accessibility bus", self._find_app, timeout=60)

    def _find_app(self):
        if self.proc.poll() is not None:
            raise AssertionError(f"the program exited early with code {self.proc.returncode}")
        desktop = pyatspi().Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.get_process_id() == self.proc.pid:
                return app
        return None

    def wait_exit(self, timeout=30.0):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired as e:
            raise Timeout(f"the program did not exit within {timeout:.0f} s") from e

    def kill(self):
        _stop(self.proc, grace=3.0)
        self._log.close()
