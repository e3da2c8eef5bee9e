#!/usr/bin/env python3
"""The Windows packages of this build, as a user gets them: what the MSI and the zip hold and
whether they are signed (read from the files), then install, start, upgrade and uninstall
under Wine with msiexec, and the portable copy unpacked and started."""
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import zipfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "wine"))
sys.path.insert(0, str(HERE.parent / "language"))
sys.path.insert(0, str(HERE.parent / "serial"))

from check_exports import Pe  # noqa: E402
from farlink_wine import (HarnessError, MAIN_CAPTION, WineUnavailable, project_version,  # noqa: E402
                          run_cases)
from language_test import GERMAN, labels  # noqa: E402

PACKER = HERE.parents[1] / "tools" / "package" / "make_packages.py"
FOLDER = "Farlink To WinCE"
MODULE = "de/Farlink-EXE-mui.dll"
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
GERMAN_USER = {"LC_ALL": "de_DE.UTF-8"}  # Wine takes the user's locale from it
OLDER = "0.9.0"
# The object identifier of an RFC 3161 time stamp in a signature (1.3.6.1.4.1.311.3.3.1), DER.
RFC3161_TOKEN = bytes.fromhex("060a2b060104018237030301")


def require_tools():
    missing = [t for t in ("wixl", "msiinfo", "msiextract", "osslsigncode", "openssl")
               if not shutil.which(t)]
    if missing:
        raise WineUnavailable("packaging tools missing (tools/setup-debian.sh installs them): %s"
                              % " ".join(missing))


def build_dir(args):
    return Path(args.exe).resolve().parent


def arch(args):
    return {0x14C: "x86", 0x8664: "x64"}[Pe(args.exe).machine]


def throwaway_certificate(folder):
    folder.mkdir(parents=True, exist_ok=True)
    cert, key = folder / "cert.pem", folder / "key.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=Farlink test signer", "-keyout", str(key), "-out", str(cert)],
                   check=True, capture_output=True)
    return cert, key


def work_folder(args):
    """<build>/package-test/<case>, empty."""
    folder = build_dir(args) / "package-test" / args.case_name
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    return folder


def make_packages(args, name, version=None, certificate=None, timestamp_url=None):
    """Runs the packer on this build into <build>/package-test/<name>; returns
    ({"msi": path, "zip": path}, the packer's stderr)."""
    require_tools()
    out = build_dir(args) / "package-test" / args.case_name / name
    shutil.rmtree(out, ignore_errors=True)
    env = {k: v for k, v in os.environ.items() if not k.startswith("FARLINK_SIGN_")}
    if certificate:
        env.update(FARLINK_SIGN_CERT=str(certificate[0]), FARLINK_SIGN_KEY=str(certificate[1]))
    if timestamp_url:
        env.update(FARLINK_SIGN_TIMESTAMP_URL=timestamp_url)
    command = [sys.executable, str(PACKER), "--out", str(out), str(build_dir(args))]
    if version:
        command += ["--version", version]
    done = subprocess.run(command, env=env, capture_output=True, text=True, timeout=120)
    if done.returncode != 0:
        raise HarnessError("make_packages failed:\n" + done.stderr)
    paths = [Path(line) for line in done.stdout.split()]
    stem = "Farlink-%s-%s" % (version or project_version(), arch(args))
    assert [p.name for p in paths] == [stem + ".msi", stem + ".zip"], paths
    return {"msi": paths[0], "zip": paths[1]}, done.stderr


def table(msi, name):
    """Rows of an MSI table as lists of fields."""
    text = subprocess.run(["msiinfo", "export", str(msi), name], check=True, capture_output=True,
                          text=True).stdout
    return [line.split("\t") for line in text.splitlines()[3:]]


def extract_msi(msi, folder):
    """The files of the MSI: {path below the install folder: unix path}."""
    folder.mkdir(parents=True)
    subprocess.run(["msiextract", "-C", str(folder), str(msi)], check=True, capture_output=True)
    roots = [p for p in folder.rglob(FOLDER) if p.is_dir()]
    assert len(roots) == 1, roots
    return {p.relative_to(roots[0]).as_posix(): p for p in roots[0].rglob("*") if p.is_file()}


def extract_zip(archive, folder):
    with zipfile.ZipFile(archive) as z:
        tops = {n.split("/")[0] for n in z.namelist()}
        assert tops == {archive.stem}, tops
        z.extractall(folder)
    root = folder / archive.stem
    return {p.relative_to(root).as_posix(): p for p in root.rglob("*") if p.is_file()}


def unsigned_image(path):
    """The image without its signature: the bytes before the certificate table, with the
    checksum and the certificate table's directory entry cleared (what a signature covers)."""
    data = bytearray(Path(path).read_bytes())
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    optional = pe + 24
    directories = optional + (112 if struct.unpack_from("<H", data, optional)[0] == 0x20B else 96)
    offset, size = struct.unpack_from("<II", data, directories + 8 * 4)
    if size:
        del data[offset:]
    struct.pack_into("<I", data, optional + 64, 0)
    struct.pack_into("<II", data, directories + 8 * 4, 0, 0)
    return bytes(data)


def is_signed_copy(packaged, built):
    """The packaged file is the built one plus a signature (and the padding before it)."""
    mine, theirs = unsigned_image(built), unsigned_image(packaged)
    return theirs[:len(mine)] == mine and set(theirs[len(mine):]) <= {0} and \
        len(theirs) - len(mine) < 8


def verify_signature(path, cert):
    done = subprocess.run(["osslsigncode", "verify", "-CAfile", str(cert), "-in", str(path)],
                          capture_output=True, text=True)
    assert done.returncode == 0, (path, done.stdout[-800:])


def expected_condition(args):
    """The launch condition that matches the exe's header (5.1: 501, 6.0: 600)."""
    major, minor = Pe(args.exe).os_version
    if arch(args) == "x64":
        return "Installed OR VersionNT64 >= %d" % (major * 100 + minor)
    return "Installed OR VersionNT > %d OR (VersionNT = %d AND ServicePackLevel >= 3)" % (
        major * 100 + minor, major * 100 + minor)


def case_contents(args):
    """Names, tables and files of both packages, unsigned and signed, read from the files."""
    build = build_dir(args)
    built = {"Farlink.exe": build / "Farlink.exe", MODULE: build / MODULE}
    work = work_folder(args)
    packages, stderr = make_packages(args, "unsigned")
    assert len(stderr.splitlines()) == 1 and "unsigned" in stderr, stderr
    for kind, files in (("msi", extract_msi(packages["msi"], work / "unsigned-msi")),
                        ("zip", extract_zip(packages["zip"], work / "unsigned-zip"))):
        expected = {"Farlink.exe", MODULE, "Program Settings.ini"} | \
            ({"README.txt"} if kind == "zip" else set())
        assert set(files) == expected, (kind, sorted(files))
        for name, path in built.items():
            assert files[name].read_bytes() == path.read_bytes(), (kind, name)
    # Names each user's settings folder "Farlink To WinCE v<major>.<minor>".
    settings = files["Program Settings.ini"].read_bytes().decode("ascii")
    assert "\r\nProductName=Farlink To WinCE\r\n" in settings, settings
    assert "\r\nVersion=%s\r\n" % ".".join(project_version().split(".")[:2]) in settings, settings

    msi = packages["msi"]
    properties = {row[0]: row[1] for row in table(msi, "Property")}
    assert properties["ProductVersion"] == project_version(), properties
    assert properties["Manufacturer"] and properties["ALLUSERS"] == "1", properties
    conditions = [row[0] for row in table(msi, "LaunchCondition")]
    assert expected_condition(args) in conditions, conditions
    assert "NOT NEWER_FOUND" in conditions, conditions
    program_files = {"x86": "ProgramFilesFolder", "x64": "ProgramFiles64Folder"}[arch(args)]
    assert ["INSTALLDIR", program_files, FOLDER] in table(msi, "Directory")
    shortcuts = table(msi, "Shortcut")
    assert [(s[1], s[2], s[4]) for s in shortcuts] == [
        ("ProgramMenuFolder", FOLDER, "[INSTALLDIR]Farlink.exe")], shortcuts
    template = subprocess.run(["msiinfo", "suminfo", str(msi)], check=True, capture_output=True,
                              text=True).stdout
    assert "Template: %s;1033" % {"x86": "Intel", "x64": "x64"}[arch(args)] in template, template

    cert, key = throwaway_certificate(work / "signer")
    signed, stderr = make_packages(args, "signed", certificate=(cert, key))
    assert stderr == "", stderr
    verify_signature(signed["msi"], cert)
    for kind, files in (("msi", extract_msi(signed["msi"], work / "signed-msi")),
                        ("zip", extract_zip(signed["zip"], work / "signed-zip"))):
        for name, path in built.items():
            assert files[name].read_bytes() != path.read_bytes(), (kind, name, "not signed")
            assert is_signed_copy(files[name], path), (kind, name)
            verify_signature(files[name], cert)
            # A time stamp only when one is asked for.
            assert RFC3161_TOKEN not in files[name].read_bytes(), (kind, name)
    assert RFC3161_TOKEN not in signed["msi"].read_bytes()
    # Asked for, it is not quietly left out: a server that does not answer fails the signing.
    try:
        make_packages(args, "stamped", certificate=(cert, key),
                      timestamp_url="http://127.0.0.1:9/")
        raise AssertionError("signed without the time stamp that was asked for")
    except HarnessError as error:
        assert "127.0.0.1:9" in str(error), error

    # The same build packed again gives the same bytes, and SHA256SUMS names them.
    again, _ = make_packages(args, "unsigned-again")
    for kind in ("msi", "zip"):
        assert again[kind].read_bytes() == packages[kind].read_bytes(), kind
    sums = (packages["msi"].parent / "SHA256SUMS").read_text().splitlines()
    assert sums == ["%s  %s" % (hashlib.sha256(packages[k].read_bytes()).hexdigest(),
                                packages[k].name) for k in ("msi", "zip")], sums


# ----------------------------------------------------------------------------------------
# Under Wine


def program_folder(session, args):
    return session.prefix / "drive_c" / {"x86": "Program Files (x86)",
                                          "x64": "Program Files"}[arch(args)] / FOLDER


def msiexec(session, *arguments):
    """Runs msiexec quietly; its exit code."""
    program = session.prefix / "drive_c" / "windows" / "system32" / "msiexec.exe"
    code, _ = session.run(program, [*arguments, "/qn"], timeout=120)
    return code


def windows_copy(session, path):
    """Puts a package into the prefix; its Windows path."""
    dest = session.prefix / "drive_c" / "packages" / path.name
    dest.parent.mkdir(exist_ok=True)
    shutil.copy2(path, dest)
    return session.windows_path(dest)


def installed_products(session):
    """[(DisplayName, DisplayVersion, Publisher)] of Farlink's entries in Programs and Features,
    from both registry views."""
    reg = session.prefix / "drive_c" / "windows" / "system32" / "reg.exe"
    keys = {}
    for view in ("/reg:64", "/reg:32"):
        code, text = session.run(reg, ["query", UNINSTALL, "/s", view], timeout=60)
        assert code == 0, text
        for line in text.splitlines():
            if line.startswith("HKEY_"):
                values = keys.setdefault(line.strip(), {})
            elif line.startswith("    "):
                name, _, *value = line.strip().split("    ", 2)
                values[name] = value[0] if value else ""
    return sorted((v["DisplayName"], v.get("DisplayVersion"), v.get("Publisher"))
                  for v in keys.values() if v.get("DisplayName") == FOLDER)


def shortcuts(session):
    """The Start-menu shortcuts named after the product, all users' or this user's. Wine
    resolves the package's menu folder to the user's even for a per-machine install."""
    return sorted(p for p in (session.prefix / "drive_c").rglob(FOLDER + ".lnk")
                  if "Start Menu" in p.parts)


def expect_german(session, exe):
    ui = session.driver()
    app = session.start(exe, env=GERMAN_USER, name="Farlink",
                        ready=lambda: ui.try_find_window(MAIN_CAPTION))
    dlg = ui.find_window(MAIN_CAPTION)
    try:
        assert labels(dlg) == GERMAN, labels(dlg)
    finally:
        dlg.press(2)
        app.wait(15)


def case_install_start_uninstall(args):
    """A signed MSI installs per machine, the installed exe shows German to a German user
    with no settings of their own, and uninstalling leaves nothing behind."""
    work = work_folder(args)
    packages, _ = make_packages(args, "signed", certificate=throwaway_certificate(work / "signer"))
    with args.session(com_ports=()) as s:
        msi = windows_copy(s, packages["msi"])
        assert msiexec(s, "/i", msi) == 0
        folder = program_folder(s, args)
        installed = sorted(p.relative_to(folder).as_posix() for p in folder.rglob("*")
                           if p.is_file())
        assert installed == ["Farlink.exe", "Program Settings.ini", MODULE], installed
        products = installed_products(s)
        assert products == [(FOLDER, project_version(), "Farlink Project")], products
        links = shortcuts(s)
        assert len(links) == 1, links
        target = (FOLDER + "\\Farlink.exe").encode()
        assert target in links[0].read_bytes() or target.decode().encode("utf-16-le") in \
            links[0].read_bytes(), "the shortcut does not name the installed exe"
        expect_german(s, folder / "Farlink.exe")
        assert msiexec(s, "/x", msi) == 0
        assert not folder.exists(), sorted(folder.rglob("*"))
        assert shortcuts(s) == [] and installed_products(s) == []


def case_upgrade(args):
    """A newer package replaces an older one in place; the older one refuses to go over it."""
    work_folder(args)
    older, _ = make_packages(args, "older", version=OLDER)
    current, _ = make_packages(args, "current")
    rebuilt, _ = make_packages(args, "rebuilt")  # the same version again: the same bytes
    with args.session(com_ports=()) as s:
        old_msi, new_msi = windows_copy(s, older["msi"]), windows_copy(s, current["msi"])
        assert msiexec(s, "/i", old_msi) == 0
        assert installed_products(s) == [(FOLDER, OLDER, "Farlink Project")], installed_products(s)
        assert msiexec(s, "/i", new_msi) == 0
        newer = [(FOLDER, project_version(), "Farlink Project")]
        assert installed_products(s) == newer, installed_products(s)
        assert msiexec(s, "/i", old_msi) != 0, "an older package went over a newer one"
        assert installed_products(s) == newer, installed_products(s)
        rebuilt_msi = s.windows_path(rebuilt["msi"])  # same file name: run from where it is
        assert msiexec(s, "/i", rebuilt_msi) == 0
        assert installed_products(s) == newer, installed_products(s)
        exe = program_folder(s, args) / "Farlink.exe"
        assert exe.read_bytes() == (build_dir(args) / "Farlink.exe").read_bytes()
        assert len(shortcuts(s)) == 1, shortcuts(s)


def case_portable_zip(args):
    """The zip unpacks anywhere; its exe starts and, with no settings file at all, shows
    German to a German user."""
    work_folder(args)
    packages, _ = make_packages(args, "unsigned")
    with args.session(com_ports=()) as s:
        files = extract_zip(packages["zip"], s.prefix / "drive_c" / "Portable")
        files["Program Settings.ini"].unlink()
        expect_german(s, files["Farlink.exe"])


CASES = {
    "contents": case_contents,
    "install_start_uninstall": case_install_start_uninstall,
    "upgrade": case_upgrade,
    "portable_zip": case_portable_zip,
}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
