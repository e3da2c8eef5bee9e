"""The test telephony provider in a Wine session (see tests/tapi/README.md).

    log = install_provider(session, SCENARIO)       # tapi32.dll into the system folder,
                                                     # the scenario and log beside the exe
    app = session.start_farlink([], env=provider_env(log=log))
    log.wait(lambda e: e.call("lineShutdown"))
    opens = log.calls("lineOpen")                    # [Entry, ...] in order
    assert opens[0]["privileges"] == "0x1"

start_farlink(tapi=SCENARIO) does both steps for Farlink.exe.
"""

import re
import shutil
from pathlib import Path

from farlink_wine import _QUIET_DLLS, HarnessError, pe_machine, wait_for

_FIELD_RE = re.compile(r'(\w[\w-]*)=("(?:[^"\\]|\\.)*"(?:\(no-nul\))?|\S*)')


def provider_dll(build_dir):
    """The provider built in this build folder."""
    dll = Path(build_dir) / "tests" / "tapi" / "provider" / "tapi32.dll"
    if not dll.exists():
        raise HarnessError("test telephony provider not built (target tapi_provider): %s" % dll)
    return dll


def provider_env(extra=None, log=None):
    """Environment that makes Wine load the provider installed in the system folder.

    With `log` (what install_provider returned) the provider reads that scenario and
    writes that log; without it, the files beside itself.
    """
    env = {"WINEDLLOVERRIDES": _QUIET_DLLS + ";tapi32=n"}
    if log is not None:
        env.update(log.files)
    env.update(extra or {})
    return env


def comm_fault_env(session, folder="Farlink"):
    """Environment in which the provider's comm-fault events fail the port (tools/ptyshim):
    the shim watches the file the provider makes in C:\\<folder>\\ (install_provider names it)."""
    return {"FARLINK_SHIM_FAULT_FILE": str(session.prefix / "drive_c" / folder / "comm-fault")}


def system_folder(session, dll):
    """The prefix's system folder for a DLL of `dll`'s word size (the prefixes are 64-bit)."""
    windows = session.prefix / "drive_c" / "windows"
    return windows / ("syswow64" if pe_machine(dll) == "i386" else "system32")


def install_provider(session, scenario, folder="Farlink"):
    """Installs the provider as the prefix's tapi32.dll, where a real one lives, and puts
    `scenario` (text) into C:\\<folder>\\, where its log goes too; returns the ProviderLog.
    Start programs with provider_env(log=...) so that the provider finds both."""
    dll = provider_dll(session.build_dir)
    installed = system_folder(session, dll) / "tapi32.dll"
    # The prefix shares its system files with the template by hard links: replace the
    # link, never write through it.
    installed.unlink(missing_ok=True)
    shutil.copy2(dll, installed)
    dest = session.prefix / "drive_c" / folder
    dest.mkdir(parents=True, exist_ok=True)
    (dest / "tapi-scenario.txt").write_text(scenario)
    log = dest / "tapi.log"
    log.unlink(missing_ok=True)
    (dest / "comm-fault").unlink(missing_ok=True)
    return ProviderLog(log, {"FARLINK_TAPI_SCENARIO": session.windows_path(dest / "tapi-scenario.txt"),
                             "FARLINK_TAPI_LOG": session.windows_path(log),
                             "FARLINK_TAPI_COMM_FAULT": session.windows_path(dest / "comm-fault")})


def install_control_panel(session, folder="Farlink"):
    """Puts the CONTROL.EXE stand-in into C:\\<folder>\\ and on the PATH.

    Wine has a control.exe of its own in system32, which a program's search
    finds before the PATH: the stand-in goes beside the program, searched first.
    Returns (environment for the program, path of the log the stub appends its
    command line to).
    """
    stub = Path(session.build_dir) / "tests" / "tapi" / "CONTROL.exe"
    if not stub.exists():
        raise HarnessError("CONTROL.EXE stand-in not built (target control_stub)")
    installed = session.install(stub, folder=folder)
    return ({"WINEPATH": session.windows_path(installed.parent)},
            installed.parent / "control.log")


def _unquote(value):
    if value.startswith('"'):
        end = value.rfind('"')
        return re.sub(r"\\x([0-9a-f]{2})|\\(.)",
                      lambda m: chr(int(m.group(1), 16)) if m.group(1) else m.group(2),
                      value[1:end]) + value[end + 1:]
    return value


class Entry(dict):
    """One log line: kind ("call", "callback", "scenario", ...), name and fields."""

    def __init__(self, line):
        head = line.split(" ", 2)
        super().__init__((k, _unquote(v)) for k, v in _FIELD_RE.findall(line))
        self.kind = head[0]
        self.name = head[1] if len(head) > 1 and "=" not in head[1] else ""
        self.line = line

    def call(self, name):
        return self.kind == "call" and self.name == name

    def callback(self, name):
        return self.kind == "callback" and self.name == name

    def num(self, key):
        """A field as a number (decimal or 0x hex)."""
        return int(self[key], 0)

    def __repr__(self):
        return self.line


class ProviderLog:
    """The provider's log file, read afresh on every question."""

    def __init__(self, path, files=None):
        self.path = Path(path)
        # The provider's environment naming its scenario and this log.
        self.files = dict(files or {})

    def entries(self):
        try:
            lines = self.path.read_text(errors="replace").splitlines()
        except FileNotFoundError:
            return []
        entries = [Entry(line) for line in lines if line]
        errors = [e.line for e in entries if e.kind == "scenario-error"]
        if errors:
            raise HarnessError("the provider rejected its scenario: %s" % errors)
        return entries

    def calls(self, name=None):
        return [e for e in self.entries() if e.kind == "call" and name in (None, e.name)]

    def callbacks(self, name=None):
        return [e for e in self.entries() if e.kind == "callback" and name in (None, e.name)]

    def wait(self, predicate, timeout=20.0, what=None):
        """Waits for an entry satisfying predicate(entry); returns it."""
        def found():
            hits = [e for e in self.entries() if predicate(e)]
            return hits[0] if hits else None
        return wait_for(found, timeout, what=what or "provider log entry")

    def wait_call(self, name, timeout=20.0):
        return self.wait(lambda e: e.call(name), timeout, what="a call of %s" % name)
