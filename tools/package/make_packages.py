#!/usr/bin/env python3
"""Makes the Windows packages of one or more built Windows presets.

    make_packages.py --out DIR BUILD_DIR...  [--version V]

For each build folder (its Farlink.exe tells the architecture) it writes
Farlink-<version>-<x86|x64>.msi and .zip into DIR and prints each path on its own line.
The version is the project version the build was configured with; --version overrides it
for the package only (the tests make an older package that way).

With FARLINK_SIGN_CERT and FARLINK_SIGN_KEY naming a PEM certificate and key, osslsigncode
signs the exe, then each language module, then the MSI, so the MSI carries signed files.
Without them the packages are unsigned, and one line on stderr says so.
"""
import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import zipfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
SOURCE = HERE.parents[1]
ARCH = {0x14C: "x86", 0x8664: "x64"}
# The oldest Windows of each build (the exe's header and the MSI's launch condition say the same).
WINDOWS = {"x86": "Windows XP SP3 and every later Windows, 32- or 64-bit",
           "x64": "64-bit Windows Vista and every later 64-bit Windows"}
# The culture folders the package installs (Farlink.wxs has a component for each).
CULTURES = ["de"]
MODULE = "Farlink-EXE-mui.dll"
SETTINGS = "Program Settings.ini"


def fail(message):
    sys.exit("make_packages: " + message)


def architecture(exe):
    data = Path(exe).read_bytes()[:4096]
    machine = struct.unpack_from("<H", data, struct.unpack_from("<I", data, 0x3C)[0] + 4)[0]
    return ARCH[machine]


def configured_version(build):
    match = re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(\S+)$",
                      (build / "CMakeCache.txt").read_text(), re.M)
    if not match:
        fail("%s has no project version in its CMakeCache.txt" % build)
    return match.group(1)


def signer():
    """(certificate, key) from the environment, or None for unsigned packages."""
    cert, key = os.environ.get("FARLINK_SIGN_CERT"), os.environ.get("FARLINK_SIGN_KEY")
    if not cert and not key:
        return None
    if not (cert and key):
        fail("FARLINK_SIGN_CERT and FARLINK_SIGN_KEY must be given together")
    for path in (cert, key):
        if not Path(path).is_file():
            fail("no such file: %s" % path)
    return cert, key


def sign(path, identity):
    cert, key = identity
    signed = path.with_name(path.name + ".signed")
    subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-h", "sha256",
                    "-n", "Farlink To WinCE", "-in", str(path), "-out", str(signed)],
                   check=True, stdout=subprocess.DEVNULL)
    signed.replace(path)


def stage(build, work, version, arch):
    """Copies what the packages hold into work/program; returns that folder."""
    program = work / "program"
    shutil.rmtree(work, ignore_errors=True)
    program.mkdir(parents=True)
    shutil.copy2(build / "Farlink.exe", program / "Farlink.exe")
    built = sorted(p.parent.name for p in build.glob("*/" + MODULE))
    if built != CULTURES:
        fail("%s has language modules for %s; the package knows %s" % (build, built, CULTURES))
    for culture in CULTURES:
        (program / culture).mkdir()
        shutil.copy2(build / culture / MODULE, program / culture / MODULE)
    settings_version = ".".join(version.split(".")[:2])
    # Names each user's settings folder, "<ProductName> v<Version>" under the local
    # application data; major.minor only, so a user's choices outlive patch releases.
    (program / SETTINGS).write_bytes(
        ("; Names each user's settings folder: %%LOCALAPPDATA%%\\Farlink To WinCE v%s\r\n"
         "[OEM]\r\nProductName=Farlink To WinCE\r\n[Install]\r\nVersion=%s\r\n"
         % (settings_version, settings_version)).encode("ascii"))
    readme = (HERE / "README.txt").read_text()
    for name, value in (("VERSION", version), ("ARCH", arch), ("WINDOWS", WINDOWS[arch]),
                        ("SETTINGS_VERSION", settings_version)):
        readme = readme.replace("@%s@" % name, value)
    (program / "README.txt").write_bytes(readme.replace("\n", "\r\n").encode("ascii"))
    shutil.copy2(SOURCE / "resources" / "Farlink.ico", work / "Farlink.ico")
    return program


def next_version(version):
    major, minor, patch = (int(p) for p in version.split("."))
    return "%d.%d.%d" % (major, minor, patch + 1)


def build_msi(work, version, arch, out):
    # wixl finds files only by paths relative to where it runs.
    subprocess.run(["wixl", "-a", arch, "-o", str(out.resolve()),
                    "-D", "Version=" + version, "-D", "NextVersion=" + next_version(version),
                    "-D", "Arch=" + arch, "-D", "Win64=" + ("yes" if arch == "x64" else "no"),
                    "-D", "Stage=program", "-D", "Icon=Farlink.ico",
                    str(HERE / "Farlink.wxs")], cwd=work, check=True)


def build_zip(program, top, out):
    """The staged files under one folder named `top`, in a stable order."""
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for path in sorted(p for p in program.rglob("*") if p.is_file()):
            z.write(path, "%s/%s" % (top, path.relative_to(program).as_posix()))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True, type=Path)
    parser.add_argument("--version")
    parser.add_argument("builds", nargs="+", type=Path)
    args = parser.parse_args()
    if args.version and not re.fullmatch(r"\d+\.\d+\.\d+", args.version):
        fail("a version has three numbers: %s" % args.version)
    identity = signer()
    if identity is None:
        print("make_packages: FARLINK_SIGN_CERT and FARLINK_SIGN_KEY are not set: the packages "
              "are unsigned", file=sys.stderr)
    args.out.mkdir(parents=True, exist_ok=True)
    for build in args.builds:
        build = build.resolve()
        version = args.version or configured_version(build)
        arch = architecture(build / "Farlink.exe")
        name = "Farlink-%s-%s" % (version, arch)
        work = args.out / (".stage-" + name)
        program = stage(build, work, version, arch)
        if identity:
            for path in [program / "Farlink.exe"] + [program / c / MODULE for c in CULTURES]:
                sign(path, identity)
        msi = args.out / (name + ".msi")
        build_msi(work, version, arch, msi)
        if identity:
            sign(msi, identity)
        archive = args.out / (name + ".zip")
        build_zip(program, name, archive)
        shutil.rmtree(work)
        print(msi)
        print(archive)


if __name__ == "__main__":
    main()
