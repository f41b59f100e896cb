"""iwiInstallInitPri in Wine's installer engine: first in msiexec /i of the test package (package
identity from the summary information, the Windows check, the listing of earlier products, a
misspelt ADDLOCAL), the upgrade permission when msiexec /x is run as an upgrading package runs it,
and the previous installation record finding the old Java add-on through the engine's component
enumeration (test-only export tstHxRegistryInfo of zebitest.dll)."""

import re
import shutil
import subprocess
import time
import uuid
from datetime import datetime, timezone

from zebwine import MsiexecResult, expect, hx_records, lit, scenario, windows_code

ACTION = "iwiInstallInitPri"
FIRST = [(ACTION, None, 1)]
TEXT_2038 = "Unknown feature(s) 'Clinet' in command-line property 'ADDLOCAL'. (ZEB4740)"
QB17_UPGRADE = "{37C07B43-CAD0-11D4-B2C4-000629BE98FC}"
QB17_COMPONENT = "{3B17C0DE-0001-4A00-8000-0000000000C0}"
MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]


def new_code():
    return f"{{{str(uuid.uuid4()).upper()}}}"


def suminfo(t, package):
    """msiinfo suminfo of a package as {field: text}."""
    proc = subprocess.run(["msiinfo", "suminfo", str(package)], capture_output=True, text=True, check=True)
    fields = {}
    for line in proc.stdout.splitlines():
        name, _, value = line.partition(":")
        fields[name.strip()] = value.strip()
    return fields


def msiexec_code(t, mode, code, properties):
    """msiexec MODE {product code} /qn /l*v LOG PROP=VALUE ..., as RemoveExistingProducts runs it."""
    log = t.root / "logs" / f"msiexec-{mode[1:]}-{uuid.uuid4().hex[:6]}.log"
    log.parent.mkdir(parents=True, exist_ok=True)
    args = ["msiexec", mode, code, "/qn", "/l*v", t.prefix.winpath(log)]
    args += [f"{k}={v}" for k, v in properties.items()]
    proc = t.prefix.run(args, timeout=90)
    return MsiexecResult(windows_code(proc.returncode), log)


def installed(t, stem):
    """The package of that run id is installed: its Registry.idt value is there."""
    return stem in (t.prefix.reg_values(r"HKLM\SOFTWARE\Corvane\ZebWineTest") or {})


@scenario(clean_machine=True)
def first_in_a_fresh_installation(t):
    earlier = t.package(kind="client")
    r = t.msiexec("/i", earlier)
    r.expect_code(0)
    earlier_code = r.properties["ProductCode"]

    pkg = t.package(sequence=[(ACTION, "NOT Installed", 1)])
    r = t.msiexec("/i", pkg, {"ADDLOCAL": "Server,Clinet"})
    r.expect_code(1603)
    r.action_trace(ACTION).expect(lit(f"HXCA {ACTION} MB *** error: {TEXT_2038}"))
    log = r.log_path.read_bytes().decode("latin-1")
    expect(TEXT_2038 in log, f"no 2038 text in {r.log_path}")
    expect(not re.search(r"^Action start [\d:]+: CostInitialize\.", log, re.M),
           f"costing ran after the refusal: {r.log_path}")

    r = t.msiexec("/i", pkg)
    try:
        r.expect_code(0)
        trace = r.action_trace(ACTION)
        trace.expect_order(lit("-" * 38), lit("Running from a 64 bit HX install image"),
                           lit("Windows version 6.1.7601 platform 2 'Service Pack 1'"),
                           lit("Service pack 1.0 reserved 0x0000"),
                           lit("GetSystemTimePreciseAsFileTime is available"))
        trace.expect(lit(f"Product {earlier_code} (Client) state is INSTALLSTATE_DEFAULT"))

        info = suminfo(t, pkg)
        package_code = info.get("Revision number (UUID)", "")
        expect(r.properties.get("ZEBPACKAGECODE") == package_code,
               f"ZEBPACKAGECODE {r.properties.get('ZEBPACKAGECODE')!r}, msiinfo {package_code!r}")
        # msiinfo shows the creation time in the host's local time, to the second; the package's
        # FILETIME in decimal is that instant, and ZEBBUILDDATE its UTC minute.
        created = info.get("Created", "")
        build_date = r.properties.get("ZEBBUILDDATE", "")
        build_time = r.properties.get("ZEBBUILDTIME", "")
        print(f"CREATED {created!r} ZEBBUILDDATE {build_date!r} ZEBBUILDTIME {build_time!r}", flush=True)
        expect(created != "", f"msiinfo shows no creation time for {pkg}")
        seconds = int(time.mktime(time.strptime(created, "%a %b %d %H:%M:%S %Y")))
        expect(build_time.isdigit() and int(build_time) // 10**7 - 11644473600 == seconds,
               f"ZEBBUILDTIME {build_time!r} is not msiinfo's {created!r}")
        when = datetime.fromtimestamp(seconds, timezone.utc)
        expect(build_date.startswith(f"Packaged on {MONTHS[when.month - 1]} {when.day:02d} {when.year:04d} at "
                                     f"{when.hour:02d}:{when.minute:02d}; version "),
               f"ZEBBUILDDATE {build_date!r} against msiinfo's {created!r}")
        expect(r.properties.get("ZEBHIGHCONTRAST") == "0", f"ZEBHIGHCONTRAST {r.properties.get('ZEBHIGHCONTRAST')!r}")
        expect(r.properties.get("ZEBPRODUCT") == "server", f"ZEBPRODUCT {r.properties.get('ZEBPRODUCT')!r}")
    finally:
        t.msiexec("/x", pkg).expect_code(0)
        t.msiexec("/x", earlier).expect_code(0)


@scenario(clean_machine=True)
def upgrade_removal_needs_allow_upgrade(t):
    pkg = t.package(sequence=FIRST)
    stem = pkg.stem
    r = t.msiexec("/i", pkg)
    r.expect_code(0)
    code = r.properties["ProductCode"]
    other = new_code()
    t.prefix.reg_import(hx_records("reset", "installation", "Inst1", "identifier=1", f"productcode={code}",
                                   "value=AllowUpgrade=0"))
    try:
        r = msiexec_code(t, "/x", code, {"UPGRADINGPRODUCTCODE": other})
        r.expect_code(1603)
        trace = r.action_trace(ACTION)
        text = "This installation is not permitted to upgrade installation 'Inst1' (ZEB4776) (1)"
        trace.expect_order(lit("Upgrade occurring - checking we are allowed to be upgraded"),
                           lit("AllowUpgrade value is '0'"), lit(f"HXCA {ACTION} MB *** error: {text}"))
        expect(text in r.log_path.read_bytes().decode("latin-1"), f"no 2108 text in {r.log_path}")
        expect(installed(t, stem), "the product went although its installation refused the upgrade")

        r = msiexec_code(t, "/x", code, {"UPGRADINGPRODUCTCODE": other, "ZEBBYPASSUPGRADECHECK": "1"})
        r.expect_code(0)
        r.action_trace(ACTION).expect(lit("Permitting upgrade skipping AllowUpgrade check"))
        expect(not installed(t, stem), "the product stayed with ZEBBYPASSUPGRADECHECK set")
    finally:
        if installed(t, stem):
            msiexec_code(t, "/x", code, {"ZEBBYPASSUPGRADECHECK": "1"})
        t.prefix.reg_import(hx_records("reset"))


QB17_WXS = """<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{product}" Name="Corvane Hexline Product Extension QB17" Language="1033" Version="1.0.0.0"
           Manufacturer="Corvane" UpgradeCode="{upgrade}">
    <Package InstallerVersion="500" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="qb17.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFiles64Folder">
        <Directory Id="QB17DIR" Name="QB17">
          <Directory Id="JAVADIR" Name="java">
            <Directory Id="LIBDIR" Name="lib">
              <Directory Id="SAMPLESDIR" Name="samples">
                <Component Id="Samples" Guid="{component}" Win64="yes">
                  <File Id="x.jar" Name="x.jar" Source="x.jar" KeyPath="yes"/>
                </Component>
              </Directory>
            </Directory>
          </Directory>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Java" Level="1"><ComponentRef Id="Samples"/></Feature>
  </Product>
</Wix>
"""


@scenario(clean_machine=True)
def record_finds_the_java_add_on(t):
    built = t.run.windows_build / "zebitest.dll"
    expect(built.exists(), f"{built} is missing (cmake --build --preset windows)")
    lib = t.folder("lib") + "\\zebitest.dll"
    shutil.copy2(built, t.unix(lib))

    d = t.root / "qb17"
    d.mkdir(parents=True, exist_ok=True)
    (d / "x.jar").write_bytes(b"PK\x05\x06" + b"\0" * 18)
    product = new_code()
    (d / "qb17.wxs").write_text(QB17_WXS.format(product=product, upgrade=QB17_UPGRADE, component=QB17_COMPONENT))
    subprocess.run(["wixl", "-a", "x64", "-o", "qb17.msi", "qb17.wxs"], cwd=d, check=True, capture_output=True)
    r = t.msiexec("/i", d / "qb17.msi")
    r.expect_code(0)
    try:
        jar = r.properties.get("ProgramFiles64Folder", "C:\\Program Files\\") + "QB17\\java\\lib\\samples\\x.jar"
        expect(t.unix(jar).exists(), f"{jar} was not installed")
        drv = t.driver(t.package(), ["--call", lib, "tstHxRegistryInfo", "--get", "ZEBTESTQB17"])
        drv.expect_ok()
        expect(drv.calls == [("tstHxRegistryInfo", 0)], f"calls: {drv.calls}\n{drv.stdout}")
        drv.trace.expect_order(lit(f"Found QB17 product '{product}'"),
                               lit(" - 'Corvane Hexline Product Extension QB17' is installed"))
        drv.trace.expect_order(lit(f"Found component '{QB17_COMPONENT}' for '{product}'"),
                               lit(f"MSI Java path: '{jar}'"), lit("Java samples are installed"))
        expect(drv.properties.get("ZEBTESTQB17") == "java=1 samples=1 level=0",
               f"ZEBTESTQB17 {drv.properties.get('ZEBTESTQB17')!r}")
    finally:
        t.msiexec("/x", d / "qb17.msi").expect_code(0)
