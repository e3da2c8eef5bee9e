"""Runs Windows programs under an isolated Wine for Farlink's tests.

Everything a test starts lives under the build folder and dies with the test:

    with WineSession(build_dir, "e2e-default", com_ports=["COM1", "COM3"]) as s:
        app = s.start_farlink(["/DIAL:123"])         # Farlink.exe, trace captured
        ui = s.driver()                              # the Win32 UI driver
        dlg = ui.find_window("Farlink To WinCE")
        assert dlg.text(1008) == "Ready to make a call.\\r\\r\\n"
        s.port("COM1").write(b"...")                 # the far end of COM1
        s.screenshot("default-dialog")
        dlg.close(); app.wait(10)

Pieces:
  * A template prefix per build folder (made once by `wineboot --init`, under a
    lock), cloned for every session: system DLLs are hard-linked, everything
    Wine may write is copied, so a clone costs well under a second.
  * Xvfb on a free display, one per session.
  * COM ports: each wired port is a socat pty pair; the program's end is named
    in HKLM\\Software\\Wine\\Ports, every other COM1..COM8 points at a unix
    socket file, which cannot be opened, so unwired ports are really absent.
  * The modem-line shim (tools/ptyshim) is preloaded into every Wine process;
    each DTR/RTS change lands in the session's line log (see line_log()).
    Port.hold() stands for another program holding a port open.
  * A private wineserver; teardown kills it with `wineserver -k` for this
    prefix only, then the session's own Xvfb and socat processes.

On a host that cannot execute 32-bit programs, i686 executables cannot run
under Wine at all; such tests raise WineUnavailable, which run_cases() turns
into exit code 77 (ctest SKIP_RETURN_CODE).

Only the Python standard library is used.
"""

import argparse
import ctypes
import fcntl
import os
import re
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import termios
import threading
import time
import traceback
from pathlib import Path

SKIP_EXIT_CODE = 77
MAIN_CAPTION = "Farlink To WinCE"
_HERE = Path(__file__).resolve().parent
_WINE_DIR = Path("/usr/lib/wine")
# Wine's own faces ("MS Sans Serif", "Tahoma", the caption buttons' "Marlett", ...),
# from Debian's fonts-wine.
_WINE_FONTS = Path("/usr/share/wine/fonts")
_QUIET_DLLS = "mscoree,mshtml="  # no Mono/Gecko installer prompts
_TRACE_RE = re.compile(r'warn:debugstr:OutputDebugString[AW] "(.*)"\s*$')
_STAMP_RE = re.compile(r"@(\d+\.\d+) ")


class WineUnavailable(Exception):
    """This host cannot run the program under Wine (the test should skip)."""


class HarnessError(Exception):
    """The harness itself failed (start-up, timeout while setting up, ...)."""


# --------------------------------------------------------------------------
# Small helpers


def wait_for(predicate, timeout, interval=0.05, what="condition"):
    """Polls predicate() until it returns a truthy value, which is returned.

    Raises TimeoutError naming `what` after `timeout` seconds.
    """
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise TimeoutError("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(interval)


def project_version():
    """The product version as the top CMakeLists.txt sets it ("1.0.1")."""
    text = (_HERE.parents[1] / "CMakeLists.txt").read_text()
    return re.search(r"^project\(Farlink VERSION (\S+)", text, re.M).group(1)


def find_build_dir(start):
    """Returns the nearest folder at or above `start` holding CMakeCache.txt."""
    path = Path(start).resolve()
    for candidate in [path, *path.parents]:
        if (candidate / "CMakeCache.txt").exists():
            return candidate
    raise HarnessError("no CMake build folder above %s" % start)


def pe_machine(exe):
    """Returns "i386" or "x86_64" from the PE header of `exe`."""
    with open(exe, "rb") as f:
        head = f.read(4096)
    if head[:2] != b"MZ":
        raise HarnessError("%s is not a Windows executable" % exe)
    pe = struct.unpack_from("<I", head, 0x3C)[0]
    machine = struct.unpack_from("<H", head, pe + 4)[0]
    return {0x14C: "i386", 0x8664: "x86_64"}.get(machine, hex(machine))


_host_runs_32bit = None


def host_runs_32bit():
    """True when the kernel executes 32-bit x86 programs (some VMs cannot)."""
    global _host_runs_32bit
    if _host_runs_32bit is None:
        loader = _WINE_DIR / "wine"
        try:
            subprocess.run([str(loader), "--version"], capture_output=True, timeout=30)
            _host_runs_32bit = True
        except OSError:
            _host_runs_32bit = False
    return _host_runs_32bit


def wine_loader():
    """The Wine loader to run programs with, plus the environment it needs."""
    if host_runs_32bit() or not (_WINE_DIR / "wine64").exists():
        wine = shutil.which("wine")
        if not wine:
            raise WineUnavailable("wine is not installed")
        return wine, {}
    # Debian's `wine` script prefers the 32-bit loader, which cannot start
    # here; the 64-bit loader runs 64-bit programs on its own.
    loader = str(_WINE_DIR / "wine64")
    return loader, {"WINELOADER": loader}


def wineserver_program():
    for name in ("wineserver64", "wineserver"):
        candidate = _WINE_DIR / name
        if candidate.exists():
            return str(candidate)
    found = shutil.which("wineserver")
    if not found:
        raise WineUnavailable("wineserver is not installed")
    return found


def require_runnable(exe):
    """Raises WineUnavailable when this host cannot run `exe` under Wine."""
    if pe_machine(exe) == "i386" and not host_runs_32bit():
        raise WineUnavailable(
            "this host cannot execute 32-bit programs, so Wine cannot run %s" % Path(exe).name)


def base_environment():
    """The environment every Wine process of the harness starts from."""
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("WINE", "LC_")) and k not in ("DISPLAY", "LD_PRELOAD", "LANGUAGE")}
    env["LANG"] = "C.UTF-8"
    env["WINEDEBUG"] = "-all"
    env["WINEDLLOVERRIDES"] = _QUIET_DLLS
    return env


def shim_preload(build_dir):
    """LD_PRELOAD value for the pty shim of this build ($LIB picks the word size).

    None when the shim is not built (target ptyshim).
    """
    root = Path(build_dir) / "ptyshim"
    if not (root / "lib" / "x86_64-linux-gnu" / "shim.so").exists():
        return None
    return str(root / "$LIB" / "shim.so")


# --------------------------------------------------------------------------
# Prefixes


def ensure_template(build_dir):
    """Returns the build folder's template prefix, creating it once.

    Safe to call from concurrent tests: creation happens under a file lock and
    a prefix is only used once its ready marker is written.
    """
    wine_root = Path(build_dir) / "wine"
    wine_root.mkdir(parents=True, exist_ok=True)
    template = wine_root / "template"
    marker = template / ".farlink-ready"
    loader, loader_env = wine_loader()
    version = subprocess.run([loader, "--version"], capture_output=True, text=True,
                             env={**base_environment(), **loader_env}).stdout.strip()
    # Bump the number when the template's recipe below changes. The loader is part of it: a
    # prefix booted by wine64 alone (no 32-bit Wine yet) cannot start programs once `wine`
    # finds its 32-bit part.
    recipe = "%s %s recipe 5" % (version, Path(loader).name)
    with open(wine_root / "template.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if marker.exists() and marker.read_text() == recipe:
            return template
        shutil.rmtree(template, ignore_errors=True)
        template.mkdir()
        env = {**base_environment(), **loader_env, "WINEPREFIX": str(template), "WINEARCH": "win64"}
        log = open(wine_root / "template.log", "w")
        # Its own wineserver, started here so it is not tied to our terminal.
        server = subprocess.Popen([wineserver_program(), "-f", "-p"], env=env, stdout=log,
                                  stderr=subprocess.STDOUT, start_new_session=True,
                                  preexec_fn=_die_with_parent)
        try:
            steps = [
                [loader, "wineboot", "--init"],
                # A crash must end the program, not wait for a click.
                [loader, "reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog",
                 "/t", "REG_DWORD", "/d", "0", "/f"],
                # Xvfb has no window manager: a managed window waits 2 s for one
                # to acknowledge each hide, so every closed dialog cost 2 s.
                [loader, "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed",
                 "/t", "REG_SZ", "/d", "N", "/f"],
            ]
            # Services the programs under test never use; each session boots
            # faster without them (device hot-plug, HID and USB buses, network, event
            # log).
            for service in ("PlugPlay", "NDIS", "nsiproxy", "Eventlog", "winebus", "wineusb",
                            "winehid"):
                steps.append([loader, "reg", "add",
                              "HKLM\\System\\CurrentControlSet\\Services\\" + service,
                              "/v", "Start", "/t", "REG_DWORD", "/d", "4", "/f"])
            for step in steps:
                done = subprocess.run(step, env=env, stdout=log, stderr=subprocess.STDOUT,
                                      timeout=300, start_new_session=True)
                if done.returncode != 0:
                    raise HarnessError("%s failed; see %s" % (step[1], log.name))
        finally:
            subprocess.run([wineserver_program(), "-k"], env=env, stdout=log,
                           stderr=subprocess.STDOUT, timeout=60)
            try:
                server.wait(timeout=30)
            except subprocess.TimeoutExpired:
                server.kill()
                server.wait()
        install_wine_fonts(template)
        # The default com1 -> /dev/ttyS0 would shadow the ports a session wires.
        for link in (template / "dosdevices").glob("com*"):
            link.unlink()
        marker.write_text(recipe)
        return template


def install_wine_fonts(prefix):
    """Puts Wine's own fonts into the prefix's Windows fonts folder.

    Wine looks for them in its data folder, which Debian's loader in
    /usr/lib/wine names /usr/lib/wine/../../share/wine, and opens them by an NT
    path that keeps the ".." parts (\\??\\Z:\\usr\\lib\\wine\\..\\..\\...): such a
    path does not resolve, so no prefix ever sees them (WINEDEBUG=+font lists
    none). "MS Sans Serif" then falls back to Liberation Sans, which is wider,
    so labels wrap out of sight, and "Marlett" to Liberation Mono, so the close
    box shows the letter "r". Every Wine process loads the fonts in
    C:\\windows\\Fonts.
    """
    fonts = sorted(f for f in _WINE_FONTS.glob("*") if f.suffix.lower() in (".ttf", ".fon"))
    if not any(f.name.lower() == "sserife.fon" for f in fonts):
        raise HarnessError("Wine's fonts are missing in %s: install fonts-wine "
                           "(tools/setup-debian.sh)" % _WINE_FONTS)
    dest = Path(prefix) / "drive_c" / "windows" / "Fonts"
    dest.mkdir(parents=True, exist_ok=True)
    for font in fonts:
        shutil.copy2(font, dest / font.name)


# Files Wine never writes after wineboot: shared between clones by hard links.
_SHARED_DIRS = ("drive_c/windows/system32", "drive_c/windows/syswow64", "drive_c/windows/winsxs",
                "drive_c/windows/Fonts")


def clone_prefix(template, dest):
    """Makes `dest` a private copy of `template` (hard links for system DLLs)."""
    template = Path(template)
    dest = Path(dest)
    shutil.rmtree(dest, ignore_errors=True)
    for root, dirs, files in os.walk(template):
        rel = os.path.relpath(root, template)
        target = dest / rel
        target.mkdir(parents=True, exist_ok=True)
        shared = any(rel == d or rel.startswith(d + "/") for d in _SHARED_DIRS)
        for name in dirs:
            src = Path(root) / name
            if src.is_symlink():
                os.symlink(os.readlink(src), target / name)
        dirs[:] = [d for d in dirs if not (Path(root) / d).is_symlink()]
        for name in files:
            src = Path(root) / name
            if src.is_symlink():
                os.symlink(os.readlink(src), target / name)
            elif shared:
                os.link(src, target / name)
            else:
                shutil.copy2(src, target / name)
    (dest / ".farlink-ready").unlink(missing_ok=True)


def set_registry_ports(prefix, ports):
    """Writes HKLM\\Software\\Wine\\Ports of a stopped prefix: {"COM1": path}."""
    reg = Path(prefix) / "system.reg"
    text = reg.read_text()
    body = "".join('"%s"="%s"\n' % (name, path.replace("\\", "\\\\").replace('"', '\\"'))
                   for name, path in sorted(ports.items()))
    header = re.compile(r"^\[Software\\\\Wine\\\\Ports\][^\n]*\n((?:#[^\n]*\n)*)((?:\"[^\n]*\n)*)",
                        re.M)
    match = header.search(text)
    if match:
        text = text[:match.start(2)] + body + text[match.end(2):]
    else:
        text += "\n[Software\\\\Wine\\\\Ports] 0\n" + body
    reg.write_text(text)


# --------------------------------------------------------------------------
# Session pieces


class Port:
    """A COM port wired to a pty pair; the test holds the far end.

    `windows_end` is what the program opens (named in the Wine registry);
    the methods here read and write the other end, as the remote side would.
    """

    def __init__(self, name, folder):
        self.name = name
        self.windows_end = str(Path(folder) / name.lower())
        self.peer_end = self.windows_end + ".peer"
        self._socat = None
        self._fd = None
        self._held = None

    def _start(self, log):
        self._socat = subprocess.Popen(
            ["socat", "pty,raw,echo=0,link=" + self.windows_end,
             "pty,raw,echo=0,link=" + self.peer_end],
            stdout=log, stderr=subprocess.STDOUT, start_new_session=True,
            preexec_fn=_die_with_parent)

    def _ready(self):
        return os.path.exists(self.windows_end) and os.path.exists(self.peer_end)

    def tty(self):
        """The real /dev/pts path of the program's end (as the line log names it)."""
        return os.path.realpath(self.windows_end)

    def _peer(self):
        if self._fd is None:
            self._fd = os.open(self.peer_end, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        return self._fd

    def write(self, data):
        """Sends bytes to the program, as the remote side."""
        view = memoryview(bytes(data))
        while view:
            try:
                view = view[os.write(self._peer(), view):]
            except BlockingIOError:
                select.select([], [self._peer()], [], 1.0)

    def read(self, timeout=5.0, size=65536):
        """Returns what the program sent within `timeout` seconds (maybe b"")."""
        fd = self._peer()
        ready, _, _ = select.select([fd], [], [], timeout)
        if not ready:
            return b""
        try:
            return os.read(fd, size)
        except (BlockingIOError, OSError):
            return b""

    def read_until(self, predicate, timeout=10.0):
        """Collects bytes from the program until predicate(collected) is true."""
        deadline = time.monotonic() + timeout
        data = b""
        while not predicate(data):
            left = deadline - time.monotonic()
            if left <= 0:
                raise TimeoutError("%s: got %r before the deadline" % (self.name, data))
            data += self.read(min(left, 0.5))
        return data

    def hold(self):
        """Holds the program's end open exclusively, as another program would.

        Opens of the port by the program then fail (see tools/ptyshim).
        """
        if self._held is None:
            self._held = os.open(self.windows_end, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
            fcntl.ioctl(self._held, termios.TIOCEXCL)

    def release(self):
        """Ends hold()."""
        if self._held is not None:
            fcntl.ioctl(self._held, termios.TIOCNXCL)
            os.close(self._held)
            self._held = None

    def _stop(self):
        self.release()
        if self._fd is not None:
            os.close(self._fd)
            self._fd = None
        _stop_process(self._socat)


class WineProcess:
    """A Windows program started in a session. stderr goes to a log file."""

    def __init__(self, popen, name, stderr_path):
        self.popen = popen
        self.name = name
        self.stderr_path = Path(stderr_path)

    def alive(self):
        return self.popen.poll() is None

    def wait(self, timeout):
        """Waits for the program to end; returns its exit code."""
        try:
            return self.popen.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise TimeoutError("%s still running after %.1f s" % (self.name, timeout)) from None

    @property
    def exit_code(self):
        return self.popen.poll()

    def stderr_text(self):
        try:
            return self.stderr_path.read_text(errors="replace")
        except FileNotFoundError:
            return ""

    def trace(self):
        """OutputDebugString lines so far, unescaped, trailing line ends removed."""
        return [line for _, line in self.stamped_trace()]

    def stamped_trace(self):
        """[(time, line)]: trace() with the time.time() at which each line reached the
        harness, for a program started with stamp=True (None otherwise)."""
        lines = []
        for raw in self.stderr_text().splitlines():
            match = _TRACE_RE.search(raw)
            if match:
                stamp = _STAMP_RE.match(raw)
                lines.append((float(stamp.group(1)) if stamp else None,
                              _unescape(match.group(1)).rstrip("\r\n")))
        return lines

    def wait_trace(self, predicate, timeout=10.0):
        """Waits until a trace line satisfies predicate (a callable or a substring)."""
        test = predicate if callable(predicate) else (lambda line: predicate in line)

        def found():
            hits = [line for line in self.trace() if test(line)]
            return hits[0] if hits else None
        return wait_for(found, timeout, what="trace line %r from %s" % (predicate, self.name))


def _unescape(text):
    """Reverses Wine's debugstr escaping (\\n, \\r, \\t, \\\\, \\", \\xNN, \\NNN)."""
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c != "\\" or i + 1 == len(text):
            out.append(c)
            i += 1
            continue
        n = text[i + 1]
        simple = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"', "'": "'"}
        if n in simple:
            out.append(simple[n])
            i += 2
        elif n == "x":
            digits = re.match(r"[0-9a-fA-F]{1,2}", text[i + 2:])
            out.append(chr(int(digits.group(0), 16)) if digits else "x")
            i += 2 + (len(digits.group(0)) if digits else 0)
        elif n == "u":
            out.append(chr(int(text[i + 2:i + 6], 16)))
            i += 6
        elif n in "01234567":
            digits = re.match(r"[0-7]{1,3}", text[i + 1:]).group(0)
            out.append(chr(int(digits, 8)))
            i += 1 + len(digits)
        else:
            out.append(n)
            i += 2
    return "".join(out)


def _stamp_lines(pipe, path):
    """Copies a program's output to `path` as it comes, each line after its arrival time."""
    def copy():
        with pipe, open(path, "a") as out:
            for raw in iter(pipe.readline, b""):
                out.write("@%.6f %s" % (time.time(), raw.decode("utf-8", "replace")))
                out.flush()
    threading.Thread(target=copy, daemon=True).start()


_prctl = ctypes.CDLL(None, use_errno=True).prctl


def _die_with_parent():
    """Pre-exec hook: a helper gets SIGKILL if the test process dies abruptly
    (a killed wineserver takes the session's Wine processes with it)."""
    PR_SET_PDEATHSIG = 1
    _prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


def _stop_process(popen, grace=5.0):
    if popen is None or popen.poll() is not None:
        return
    popen.terminate()
    try:
        popen.wait(timeout=grace)
    except subprocess.TimeoutExpired:
        popen.kill()
        popen.wait()


def _prefix_processes(prefix):
    """Pids of our processes whose environment names this WINEPREFIX."""
    wanted = b"WINEPREFIX=" + os.fsencode(str(prefix))
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == os.getpid():
            continue
        try:
            with open("/proc/%s/environ" % entry, "rb") as f:
                if wanted in f.read().split(b"\0"):
                    found.append(int(entry))
        except OSError:
            pass  # gone, or not ours to read
    return found


def _kill_prefix_processes(prefix, timeout=10.0):
    """Kills every process of one prefix, and only of that prefix."""
    deadline = time.monotonic() + timeout
    while True:
        pids = _prefix_processes(prefix)
        if not pids:
            return
        for pid in pids:
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        if time.monotonic() >= deadline:
            raise HarnessError("processes of %s survive: %s" % (prefix, pids))
        time.sleep(0.05)


def _make_socket_file(path):
    """Creates a unix socket file at `path`: open() on it fails with ENXIO,
    which makes a COM port named there absent to Wine."""
    # Socket addresses hold at most 107 bytes and build folders can be deep:
    # bind the bare name from inside the folder.
    path = Path(path)
    here = os.getcwd()
    os.chdir(path.parent)
    try:
        sock = socket.socket(socket.AF_UNIX)
        sock.bind(path.name)
        sock.close()
    finally:
        os.chdir(here)


# --------------------------------------------------------------------------
# Secrets: no password a test hands the program may show up in what the
# program writes down (its debug trace and the log files it is asked for).


def profile_password(data):
    """The password held by profile bytes (the program's .cfg format); None if unreadable."""
    try:
        at = 4  # the line index
        texts = []
        for _ in range(4):  # Dial Number, My Number, Username, Password
            count = struct.unpack_from("<H", data, at)[0]
            at += 2
            codes = []
            for _ in range(count):
                size = data[at]
                value = int(data[at + 1:at + 1 + size])
                at += 1 + size
                codes.append((value // count) & 0xFF)
            texts.append(bytes(reversed(codes)))
        return texts[3].decode("cp1252", errors="replace")
    except (IndexError, ValueError, struct.error, ZeroDivisionError):
        return None


def secret_forms(secret):
    """The byte strings by which a secret would show in a file."""
    forms = set()
    for encoding in ("cp1252", "utf-8"):
        try:
            raw = secret.encode(encoding)
        except UnicodeEncodeError:
            continue
        forms.add(raw)
        if len(raw) >= 4:  # hex dumps; shorter ones turn up by chance
            forms.add(raw.hex().encode())
            forms.add(raw.hex().upper().encode())
            forms.add(raw.hex(" ").encode())
            forms.add(raw.hex(" ").upper().encode())
    return forms


def find_secret_leaks(secrets, files, traces=()):
    """[(file, secret)] for each secret found in a file or an unescaped trace file.

    Secrets shorter than two characters are too common to check.
    """
    secrets = sorted(s for s in set(secrets) if s and len(s) >= 2)
    leaks = []
    for path in files:
        try:
            data = Path(path).read_bytes()
        except OSError:
            continue
        for secret in secrets:
            if any(form in data for form in secret_forms(secret)):
                leaks.append((str(path), secret))
    for path in traces:
        try:
            text = Path(path).read_text(errors="replace")
        except OSError:
            continue
        lines = [_unescape(m.group(1)) for m in map(_TRACE_RE.search, text.splitlines()) if m]
        for secret in secrets:
            if any(secret in line for line in lines):
                leaks.append((str(path), secret))
    return leaks


class SecretLeak(AssertionError):
    """A password given to the program turned up in a log or its trace."""


class WineSession:
    """One isolated Wine world: prefix, Xvfb, wineserver, COM ports.

    build_dir  the CMake build folder (prefixes and logs live under it)
    name       a unique name for the run; its files go to
               <build>/wine-runs/<name>/ (wiped at start)
    com_ports  names wired to pty pairs, e.g. ["COM1", "COM3"]; the other
               COM1..COM8 are absent
    keep_prefix  keep the cloned prefix after the session (for debugging;
               also set by FARLINK_KEEP_PREFIX=1)

    Use it as a context manager; close() tears everything down.
    """

    def __init__(self, build_dir, name, com_ports=("COM1",), keep_prefix=False):
        self.build_dir = Path(build_dir).resolve()
        self.name = name
        self.run_dir = self.build_dir / "wine-runs" / name
        self.prefix = self.run_dir / "prefix"
        self.screenshot_dir = self.build_dir / "screenshots"
        self.keep_prefix = keep_prefix or os.environ.get("FARLINK_KEEP_PREFIX") == "1"
        self.line_log_path = self.run_dir / "lines.log"
        self.display = None
        self._ports = {}
        self._processes = []
        self._drivers = []
        self._xvfb = None
        self._server = None
        self._closed = False
        self._loader, self._loader_env = wine_loader()
        self._com_names = list(com_ports)
        self._secrets = set()
        self._log_files = set()
        self._program_dirs = set()
        self._opened_at = time.time()
        self.leaks = []

    # -- life cycle

    def __enter__(self):
        try:
            self.open()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, exc_type, *exc):
        self.close()
        # Checked for every test, after the programs have written their last.
        if self.leaks and exc_type is None:
            raise SecretLeak("a password appears in what the program wrote: %s" % (
                "; ".join("%r in %s" % (secret, path) for path, secret in self.leaks)))
        return False

    def open(self):
        """Clones the prefix, wires the ports, starts Xvfb and the wineserver."""
        # Skip before paying for a prefix when the programs under test cannot run here.
        for program in (os.environ.get("FARLINK_EXE"), os.environ.get("FARLINK_DRIVER")):
            if program and Path(program).exists():
                require_runnable(program)
        template = ensure_template(self.build_dir)
        shutil.rmtree(self.run_dir, ignore_errors=True)
        self.run_dir.mkdir(parents=True)
        self._log = open(self.run_dir / "harness.log", "w")
        with open(template.parent / "template.lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_SH)  # no rebuild while we copy
            clone_prefix(template, self.prefix)

        port_dir = self.run_dir / "ports"
        port_dir.mkdir()
        absent = port_dir / "absent"
        _make_socket_file(absent)
        if self._com_names and not shim_preload(self.build_dir):
            raise HarnessError("COM ports need the pty shim: build target ptyshim")
        for name in self._com_names:
            port = Port(name, port_dir)
            port._start(self._log)
            self._ports[name.upper()] = port
        wait_for(lambda: all(p._ready() for p in self._ports.values()), 10, what="socat ptys")
        # Wine's mount manager makes these links from the registry only some time after the
        # first program has started, which may already be opening its port: make them now.
        for port in self._ports.values():
            os.symlink(port.windows_end, self.prefix / "dosdevices" / port.name.lower())
        set_registry_ports(self.prefix, {
            "COM%d" % n: (self._ports["COM%d" % n].windows_end if "COM%d" % n in self._ports
                          else str(absent)) for n in range(1, 9)})

        self._start_xvfb()
        self._server = subprocess.Popen([wineserver_program(), "-f", "-p"], env=self.environment(),
                                        stdout=self._log, stderr=subprocess.STDOUT,
                                        start_new_session=True,
                                        preexec_fn=_die_with_parent)

    def _start_xvfb(self):
        read_fd, write_fd = os.pipe()
        self._xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp", "-noreset"],
            pass_fds=[write_fd], stdout=self._log, stderr=subprocess.STDOUT,
            start_new_session=True,
            preexec_fn=_die_with_parent)
        os.close(write_fd)
        number = b""
        deadline = time.monotonic() + 15
        while not number.endswith(b"\n"):
            ready, _, _ = select.select([read_fd], [], [], max(0, deadline - time.monotonic()))
            chunk = os.read(read_fd, 16) if ready else b""
            if not chunk:
                os.close(read_fd)
                raise HarnessError("Xvfb did not report a display; see %s" % self._log.name)
            number += chunk
        os.close(read_fd)
        self.display = ":" + number.decode().strip()

    def close(self):
        """Ends every process of the session; safe to call more than once."""
        if self._closed:
            return
        self._closed = True
        for drv in self._drivers:
            drv._stop()
        if self._server is not None:
            if self.keep_prefix:
                # Orderly: the wineserver saves the registry for a post-mortem.
                subprocess.run([wineserver_program(), "-k"], env=self.environment(),
                               stdout=self._log, stderr=subprocess.STDOUT, timeout=60)
            # The prefix is thrown away, so nothing needs saving: killing our
            # wineserver ends its Wine processes; the sweep catches stragglers.
            self._server.kill()
            self._server.wait()
            _kill_prefix_processes(self.prefix)
            for proc in self._processes:
                _stop_process(proc.popen)
        for port in self._ports.values():
            port._stop()
        _stop_process(self._xvfb)
        self.leaks = self._secret_leaks()
        if not self.keep_prefix:
            shutil.rmtree(self.prefix, ignore_errors=True)
        if hasattr(self, "_log"):
            self._log.close()

    # -- environment and programs

    def environment(self, extra=None, trace=False):
        """Environment for a Wine process of this session.

        trace=True turns on OutputDebugString lines on stderr.
        """
        env = base_environment()
        env.update(self._loader_env)
        env["WINEPREFIX"] = str(self.prefix)
        if self.display:
            env["DISPLAY"] = self.display
        preload = shim_preload(self.build_dir)
        if preload:
            env["LD_PRELOAD"] = preload
        env["FARLINK_SHIM_LOG"] = str(self.line_log_path)
        if trace:
            env["WINEDEBUG"] = "-all,warn+debugstr"
        env.update(extra or {})
        return env

    def windows_path(self, unix_path):
        """C:\\... name of a file inside the prefix's drive_c (Z:\\... otherwise)."""
        path = Path(unix_path).resolve()
        drive_c = (self.prefix / "drive_c").resolve()
        try:
            rel = path.relative_to(drive_c)
            return "C:\\" + str(rel).replace("/", "\\")
        except ValueError:
            return "Z:" + str(path).replace("/", "\\")

    def unix_path(self, windows_path, base=None):
        """The unix file a Windows path of this prefix names (relative: to `base`)."""
        text = str(windows_path)
        if len(text) >= 2 and text[1] == ":":
            drive, rest = text[0].upper(), text[2:].lstrip("\\/")
            root = Path("/") if drive == "Z" else self.prefix / "drive_c"
            return root / rest.replace("\\", "/")
        return Path(base or self.prefix / "drive_c") / text.replace("\\", "/")

    def secret(self, text):
        """Registers a password: the session fails if it shows in a log or the trace."""
        if text:
            self._secrets.add(text)

    def note_profile(self, windows_path):
        """Registers the password of a profile the program is about to load."""
        for base in sorted(self._program_dirs) or [None]:
            try:
                data = self.unix_path(windows_path, base).read_bytes()
            except OSError:
                continue
            password = profile_password(data)
            if password:
                self.secret(password)

    def _note_arguments(self, args, folder):
        """Secrets and log files named on a program's command line."""
        self._program_dirs.add(Path(folder))
        for arg in args:
            arg = str(arg)
            upper = arg.upper()
            if upper.startswith("/PASS:"):
                self.secret(arg[6:])
            elif upper.startswith("/PROFILE:"):
                self.note_profile(arg[9:])
            elif upper.startswith("/LOG:") and arg[5:]:
                self._log_files.add(self.unix_path(arg[5:], folder))

    def _secret_leaks(self):
        if not self._secrets:
            return []
        files = set(self._log_files)
        drive_c = self.prefix / "drive_c"
        for root, dirs, names in os.walk(drive_c):
            if Path(root) == drive_c:
                dirs[:] = [d for d in dirs if d.lower() != "windows"]
            for name in names:
                path = Path(root) / name
                try:
                    fresh = path.stat().st_mtime >= self._opened_at - 1
                except OSError:
                    continue
                if fresh and path.suffix.lower() in (".log", ".txt"):
                    files.add(path)
        traces = sorted(self.run_dir.glob("*.stderr"))
        return find_secret_leaks(self._secrets, sorted(files), traces)

    def install(self, exe, *extra_files, folder="Farlink"):
        """Copies a program (and files that go beside it) to C:\\<folder>\\.

        Returns the unix path of the installed program. Running a copy keeps
        whatever it writes beside itself inside this session.
        """
        require_runnable(exe)
        dest = self.prefix / "drive_c" / folder
        dest.mkdir(parents=True, exist_ok=True)
        for item in (exe, *extra_files):
            shutil.copy2(item, dest / Path(item).name)
        return dest / Path(exe).name

    def start(self, program, args=(), env=None, trace=True, name=None, ready=None,
              ready_timeout=30.0, cwd=None, passthrough=False, stamp=False):
        """Starts a Windows program; returns a WineProcess.

        program  unix path of the exe (see install())
        stamp    put on each line of its output the time.time() at which it arrived
                 ("@1765300000.123456 ..."; see WineProcess.stamped_trace())
        ready    optional callable; start() returns once it is truthy. While
                 waiting, a start that Wine itself botched ("ShellExecuteEx
                 failed") is retried; nothing else is.
        """
        require_runnable(program)
        name = name or Path(program).stem
        self._note_arguments(args, cwd or Path(program).parent)
        attempts = 3
        for attempt in range(1, attempts + 1):
            stderr_path = self.run_dir / ("%s-%d.stderr" % (name, len(self._processes) + 1))
            with open(stderr_path, "w") as err:
                out = None if passthrough else subprocess.PIPE if stamp else err
                popen = subprocess.Popen([self._loader, str(program), *args],
                                         env=self.environment(env, trace=trace),
                                         stdin=subprocess.DEVNULL, stdout=out,
                                         stderr=subprocess.STDOUT if stamp else out,
                                         cwd=cwd or Path(program).parent, start_new_session=True)
            if stamp and not passthrough:
                _stamp_lines(popen.stdout, stderr_path)
            proc = WineProcess(popen, name, stderr_path)
            self._processes.append(proc)
            if ready is None:
                ready = lambda: True  # noqa: E731
            deadline = time.monotonic() + ready_timeout
            while True:
                if ready():
                    return proc
                if not proc.alive():
                    if "ShellExecuteEx failed" in proc.stderr_text() and attempt < attempts:
                        self._log.write("retrying start of %s: ShellExecuteEx failed\n" % name)
                        break
                    raise HarnessError("%s ended (exit %s) before it was ready:\n%s" % (
                        name, proc.exit_code, proc.stderr_text()[-2000:]))
                if time.monotonic() >= deadline:
                    raise TimeoutError("%s not ready after %.0f s" % (name, ready_timeout))
                time.sleep(0.05)
        raise HarnessError("unreachable")

    def run(self, program, args=(), env=None, timeout=60.0, trace=False):
        """Runs a program to its end; returns (exit code, stderr text)."""
        proc = self.start(program, args, env=env, trace=trace)
        code = proc.wait(timeout)
        return code, proc.stderr_text()

    def start_farlink(self, args=(), env=None, exe=None, extra_files=(), wait_window=True,
                      tapi=None, stamp=False):
        """Installs and starts Farlink.exe; by default waits for its main dialog.

        The exe comes from `exe` or the FARLINK_EXE environment variable
        (run_cases() sets it from --exe). With `tapi` (a scenario text) the
        test telephony provider becomes the prefix's tapi32.dll, chosen over Wine's stub;
        its log is then `self.tapi_log` (see farlink_tapi.py).
        """
        exe = exe or os.environ.get("FARLINK_EXE")
        if not exe:
            raise HarnessError("no Farlink.exe given (--exe or FARLINK_EXE)")
        installed = self.install(exe, *extra_files)
        if tapi is not None:
            from farlink_tapi import install_provider, provider_env
            self.tapi_log = install_provider(self, tapi, folder=installed.parent.name)
            env = provider_env(env, log=self.tapi_log)
        ready = None
        if wait_window:
            ui = self.driver()
            ready = lambda: ui.try_find_window(MAIN_CAPTION)  # noqa: E731
        return self.start(installed, args, env=env, name="Farlink", ready=ready, stamp=stamp)

    # -- what the test observes

    def port(self, name):
        """The Port wired as `name` ("COM1")."""
        return self._ports[name.upper()]

    def line_log(self):
        """DTR/RTS changes so far, in order: [("COM1", dtr, rts), ...].

        A change on a tty that is not one of the session's ports is reported
        with its tty path instead of a COM name.
        """
        names = {p.tty(): n for n, p in self._ports.items()}
        changes = []
        try:
            text = self.line_log_path.read_text()
        except FileNotFoundError:
            return changes
        for line in text.splitlines():
            match = re.match(r"(\S+) DTR=(\d) RTS=(\d)$", line)
            if match:
                changes.append((names.get(match.group(1), match.group(1)),
                                match.group(2) == "1", match.group(3) == "1"))
        return changes

    def screenshot(self, name, window=None):
        """Saves the screen as <build>/screenshots/<name>.png; returns the path.

        With a driver Window, the window is painted first and the picture is
        cut to it. The picture is taken again until two in a row agree, so it
        never shows a window half drawn.
        """
        self.screenshot_dir.mkdir(parents=True, exist_ok=True)
        path = self.screenshot_dir / (name + ".png")
        crop = []
        if window is not None:
            window.paint()
            left, top, right, bottom = window.rect()
            crop = ["-crop", "%dx%d+%d+%d" % (right - left, bottom - top, max(left, 0),
                                              max(top, 0)), "+repage"]
        previous = [None]

        def steady():
            subprocess.run(["import", "-display", self.display, "-window", "root", *crop,
                            str(path)], check=True, stdout=self._log, stderr=subprocess.STDOUT,
                           timeout=60)
            picture = path.read_bytes()
            same = picture == previous[0]
            previous[0] = picture
            return same
        try:
            wait_for(steady, 10, interval=0.1, what="a steady screen")
        except TimeoutError:
            pass  # an animated screen: keep the last picture
        return path

    def driver(self):
        """The session's UI driver (started on first use)."""
        if not self._drivers:
            from farlink_driver import UiDriver
            exe = os.environ.get("FARLINK_DRIVER")
            if not exe:
                raise HarnessError("no UI driver given (--driver or FARLINK_DRIVER)")
            self._drivers.append(UiDriver(self, exe))
        return self._drivers[0]

    def second_driver(self):
        """Another UI driver, for acting while the first one waits on a long action."""
        self.driver()
        from farlink_driver import UiDriver
        self._drivers.append(UiDriver(self, os.environ["FARLINK_DRIVER"]))
        return self._drivers[-1]


# --------------------------------------------------------------------------
# Test scripts


def run_cases(cases, argv=None, extra_options=()):
    """Command-line entry point for a test script holding a table of cases.

    cases: {"name": function(args)}; each case gets the parsed arguments
    (args.build_dir, args.exe, args.driver) and opens its own session with
    `with args.session(com_ports=[...]) as s:` (a WineSession named after
    the script and the case). Options: --build-dir, --exe, --driver, --case NAME, --list.
    extra_options: further "--name" options the script takes (as args.name).
    Exit code: 0 passed, 1 failed, 77 skipped (WineUnavailable).
    """
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir")
    parser.add_argument("--exe")
    parser.add_argument("--driver")
    parser.add_argument("--case", action="append")
    parser.add_argument("--list", action="store_true")
    for option in extra_options:
        parser.add_argument(option)
    args = parser.parse_args(argv)
    if args.list:
        print(";".join(cases))
        return 0
    if args.exe:
        os.environ["FARLINK_EXE"] = str(Path(args.exe).resolve())
    if args.driver:
        os.environ["FARLINK_DRIVER"] = str(Path(args.driver).resolve())
    args.build_dir = Path(args.build_dir or find_build_dir(Path.cwd())).resolve()
    script = Path(sys.argv[0]).stem
    # ctest ends a test that overruns with SIGTERM: tear down all the same.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    failed = 0
    for name in args.case or list(cases):
        start = time.monotonic()
        args.case_name = name
        args.session = (lambda case: lambda **kw: WineSession(
            args.build_dir, "%s-%s" % (script, case), **kw))(name)
        try:
            cases[name](args)
        except WineUnavailable as skip:
            print("SKIP %s: %s" % (name, skip))
            return SKIP_EXIT_CODE
        except Exception:  # report every case, then fail
            traceback.print_exc()
            print("FAIL %s (%.1f s)" % (name, time.monotonic() - start))
            failed += 1
            continue
        print("PASS %s (%.1f s)" % (name, time.monotonic() - start))
    return 1 if failed else 0


def _emulate(argv):
    """ctest's cross-compiling emulator: runs one Windows program, passes its exit code on."""
    exe = Path(argv[0]).resolve()
    build = find_build_dir(exe.parent)
    try:
        require_runnable(exe)
    except WineUnavailable as skip:
        print("SKIPPED: %s" % skip, file=sys.stderr)
        return SKIP_EXIT_CODE
    name = "run-%s-%d" % (exe.stem, os.getpid())
    with WineSession(build, name, com_ports=()) as session:
        proc = session.start(exe, argv[1:], trace=False, passthrough=True, cwd=Path.cwd())
        code = proc.wait(timeout=None)
    shutil.rmtree(session.run_dir, ignore_errors=True)
    # Wine reports Windows exit codes above 255 modulo 256, like any unix process.
    return code


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "run":
        signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
        sys.exit(_emulate(sys.argv[2:]))
    print("usage: farlink_wine.py run PROGRAM.exe [ARGS...]", file=sys.stderr)
    sys.exit(2)
