#!/usr/bin/env python3
"""Makes the Windows packages of one or more built Windows presets.

    make_packages.py --out DIR BUILD_DIR...  [--version V]

For each build folder (its Farlink.exe tells the architecture) it writes
Farlink-<version>-<x86|x64>.msi and .zip into DIR and prints each path on its own line.
The version is the project version the build was configured with; --version overrides it
for the package only (the tests make an older package that way).

With FARLINK_SIGN_CERT and FARLINK_SIGN_KEY naming a PEM certificate and key, osslsigncode
signs the exe, then each language module, then the MSI, so the MSI carries signed files.
Without them the packages are unsigned, and one line on stderr says so. With
FARLINK_SIGN_TIMESTAMP_URL as well, each signature gets an RFC 3161 time stamp from that server
(osslsigncode -ts), so that it stays valid after the certificate expires.

The packages are reproducible: every time they hold is the time the build's images were
stamped with (the last commit's, <build>/generated/commit-time.txt), and the MSI's product
and package codes are derived from the version, the architecture and the files, so the same
build gives the same bytes. DIR/SHA256SUMS lists the SHA-256 of every package in DIR.
"""
import argparse
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import time
import uuid
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
    command = ["osslsigncode", "sign", "-certs", cert, "-key", key, "-h", "sha256",
               "-n", "Farlink To WinCE"]
    if os.environ.get("FARLINK_SIGN_TIMESTAMP_URL"):
        command += ["-ts", os.environ["FARLINK_SIGN_TIMESTAMP_URL"]]
    subprocess.run(command + ["-in", str(path), "-out", str(signed)],
                   check=True, stdout=subprocess.DEVNULL)
    signed.replace(path)


def commit_time(build):
    """The time the build stamped its images with (see cmake/CommitTime.cmake)."""
    try:
        epoch = int((build / "generated" / "commit-time.txt").read_text())
    except (OSError, ValueError):
        fail("%s has no generated/commit-time.txt: build it first" % build)
    # Zip and cabinet times start in 1980; a tree without history (0) gets that.
    return max(epoch, 315532800)


# Names the derived codes; any fixed UUID would do, this one is the product's own.
CODES = uuid.UUID("9b1f4a4e-2d1c-5c53-9a4f-46a41c6f8e21")


def derived_codes(program, version, arch):
    """(ProductCode, PackageCode) from the version, the architecture and every staged file.
    A package that differs in anything gets new codes, as a freshly drawn pair would be; the
    same package gets the same ones."""
    digest = hashlib.sha256(("%s %s\n" % (version, arch)).encode())
    for path in sorted(p for p in program.rglob("*") if p.is_file()):
        digest.update(path.relative_to(program).as_posix().encode() + b"\0")
        digest.update(hashlib.sha256(path.read_bytes()).digest())
    return tuple(str(uuid.uuid5(CODES, kind + digest.hexdigest())).upper()
                 for kind in ("product ", "package "))


def set_times(folder, epoch):
    for path in folder.rglob("*"):
        os.utime(path, (epoch, epoch))


def fix_msi_summary(msi, epoch, package_code, started, ended):
    """wixl writes the time it ran as the summary's Created and Last Saved, and a fresh
    package code (it ignores <Package Id>), with no way to choose either: they are rewritten
    in place, the times to `epoch`, the code to `package_code`. A time property holds its
    type (VT_FILETIME, 0x40) then 8 bytes; exactly two inside the run's seconds must be found.
    The code is a VT_LPSTR (0x1E) of 39 bytes: a braced GUID and its NUL."""
    def filetime(seconds):
        return int((seconds + 11644473600) * 10**7)
    low, high = filetime(started - 2), filetime(ended + 2)
    data = bytearray(msi.read_bytes())
    times, at = [], data.find(b"\x40\0\0\0")
    while at != -1:
        if low <= struct.unpack_from("<Q", data, at + 4)[0] <= high:
            times.append(at + 4)
        at = data.find(b"\x40\0\0\0", at + 1)
    codes = [m.start(1) for m in re.finditer(
        rb"\x1e\0\0\0\x27\0\0\0(\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\}\0)", data)]
    if len(times) != 2 or len(codes) != 1:
        fail("%s: expected wixl's two summary times and one package code, found %d and %d"
             % (msi, len(times), len(codes)))
    for at in times:
        struct.pack_into("<Q", data, at, filetime(epoch))
    data[codes[0]:codes[0] + 39] = ("{%s}\0" % package_code).encode()
    msi.write_bytes(bytes(data))


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


def build_msi(work, version, arch, out, epoch):
    product, package = derived_codes(work / "program", version, arch)
    set_times(work, epoch)  # the cabinet keeps each file's time
    started = time.time()
    # wixl finds files only by paths relative to where it runs.
    subprocess.run(["wixl", "-a", arch, "-o", str(out.resolve()),
                    "-D", "Version=" + version, "-D", "NextVersion=" + next_version(version),
                    "-D", "Arch=" + arch, "-D", "Win64=" + ("yes" if arch == "x64" else "no"),
                    "-D", "ProductCode=" + product,
                    "-D", "Stage=program", "-D", "Icon=Farlink.ico",
                    str(HERE / "Farlink.wxs")], cwd=work, check=True)
    fix_msi_summary(out, epoch, package, started, time.time())


def build_zip(program, top, out, epoch):
    """The staged files under one folder named `top`, in a stable order, each with the
    build's time and the same attributes."""
    stamp = time.gmtime(epoch)[:6]
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for path in sorted(p for p in program.rglob("*") if p.is_file()):
            entry = zipfile.ZipInfo("%s/%s" % (top, path.relative_to(program).as_posix()), stamp)
            entry.external_attr = 0o644 << 16
            entry.create_system = 0
            z.writestr(entry, path.read_bytes(), zipfile.ZIP_DEFLATED, 9)


def write_checksums(out):
    """DIR/SHA256SUMS over every package in DIR, in the format of sha256sum."""
    lines = ["%s  %s\n" % (hashlib.sha256(p.read_bytes()).hexdigest(), p.name)
             for p in sorted(out.glob("Farlink-*")) if p.suffix in (".msi", ".zip")]
    (out / "SHA256SUMS").write_text("".join(lines))


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
        epoch = commit_time(build)
        msi = args.out / (name + ".msi")
        build_msi(work, version, arch, msi, epoch)
        if identity:
            sign(msi, identity)
        archive = args.out / (name + ".zip")
        build_zip(program, name, archive, epoch)
        shutil.rmtree(work)
        print(msi)
        print(archive)
    write_checksums(args.out)


if __name__ == "__main__":
    main()
