#!/usr/bin/env python3
"""Started from a folder that holds stray DLLs (a download folder, a USB stick), Farlink.exe
loads none of them. A DLL that records being loaded lies beside the exe as tapi32.dll (loaded
at run time) and under every name the exe imports that the loader does not always take from
the system folder (comctl32.dll, which the manifest takes from the side-by-side store), and
Wine is told to prefer such native files over its own. Telephony still works through the
system folder's tapi32, and without one the program says a telephony component is missing."""

import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parents[0] / "wine"))
sys.path.insert(0, str(HERE.parents[0] / "tapi"))
sys.path.insert(0, str(HERE.parents[0] / "serial"))

from check_exports import Pe  # noqa: E402
from check_imports import SYSTEM, imports  # noqa: E402
from farlink_driver import IDOK  # noqa: E402
from farlink_tapi import system_folder  # noqa: E402
from farlink_wine import run_cases, wait_for  # noqa: E402
from startup_test import TWO_MODEMS, answer, line_list, main_dialog, start  # noqa: E402

# Loaded by name at run time, whatever the exe imports (shell32 is too, but it is a known
# DLL, which Windows always takes from the system folder; Wine's own libraries load it by name).
LOADED_BY_NAME = ["tapi32.dll"]
# The libraries Windows always takes from the system folder (known DLLs).
KNOWN = SYSTEM - {"comctl32.dll"}
NODRIVER_TEXT = ("One of the components of the Telephony device driver is missing.\nUse the "
                 "Control Panel to set up the driver properly.")


def planted_names(exe):
    imported = [name.lower() for name in imports(Pe(exe))]
    return sorted(set(LOADED_BY_NAME) | {n for n in imported if n not in KNOWN})


def plant(s, exe):
    """Copies the recording DLL beside the exe under each name; returns the names."""
    folder = s.prefix / "drive_c" / "Farlink"
    folder.mkdir(parents=True, exist_ok=True)
    dll = Path(s.build_dir) / "tests" / "hardening" / "planted_dll.dll"
    names = planted_names(exe)
    for name in names:
        (folder / name).write_bytes(dll.read_bytes())
    return folder, names


def check(args, system_tapi):
    with args.session(com_ports=[]) as s:
        folder, names = plant(s, args.exe)
        assert "comctl32.dll" in names, names  # the manifest's library is covered too
        others = ",".join(Path(n).stem for n in names if n != "tapi32.dll")
        # Native first everywhere; without a system tapi32, native only, so that Wine's
        # built-in one does not stand in for the missing file.
        overrides = "mscoree,mshtml=;%s=n,b;tapi32=%s" % (others, "n,b" if system_tapi else "n")
        problem = None
        try:
            if system_tapi:
                app = start(s, TWO_MODEMS, env={"WINEDLLOVERRIDES": overrides})
            else:
                (system_folder(s, args.exe) / "tapi32.dll").unlink()
                app = s.start_farlink([], env={"WINEDLLOVERRIDES": overrides}, wait_window=False)
                # Only the system folder counts: the tapi32 beside the exe is not taken instead.
                answer(s, "Warning", NODRIVER_TEXT, [IDOK], IDOK)
            dlg = main_dialog(s)
            if system_tapi:
                expected = (0, ["Modem A", "Modem B"])
                wait_for(lambda: line_list(dlg) == expected, 10, what="the line list")
            dlg.close()
            app.wait(20)
        except Exception as error:  # a planted DLL may break the start: name it first
            problem = error
        loaded = sorted(p.name for p in folder.glob("*.loaded"))
        assert not loaded, "DLLs beside the exe were loaded: %s" % loaded
        if problem:
            raise problem


def probe_loads_from_system_folder(args, probe):
    """The loading code alone, both ways (with the system-folder flag, and by the full path as
    on XP): a tapi32.dll beside the program is passed over for the system folder's."""
    exe = args.build_dir / "tests" / "hardening" / probe
    with args.session(com_ports=[]) as s:
        installed = s.install(exe)
        dll = Path(s.build_dir) / "tests" / "hardening" / "planted_dll.dll"
        (installed.parent / "tapi32.dll").write_bytes(dll.read_bytes())
        code, output = s.run(installed, env={"WINEDLLOVERRIDES": "mscoree,mshtml=;tapi32=n,b"})
        loaded = output.strip().splitlines()[-1] if output.strip() else ""
        assert code == 0 and loaded.lower() == r"c:\windows\system32\tapi32.dll", (code, output)
        assert not list(installed.parent.glob("*.loaded")), "the planted tapi32.dll was loaded"


CASES = {"provider_in_system_folder": lambda args: check(args, system_tapi=True),
         "no_tapi32_in_system_folder": lambda args: check(args, system_tapi=False),
         "probe": lambda args: probe_loads_from_system_folder(args, "load_probe.exe"),
         "probe_as_on_xp": lambda args: probe_loads_from_system_folder(args,
                                                                       "load_probe_as_on_xp.exe")}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
