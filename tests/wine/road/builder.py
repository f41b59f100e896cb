"""HX's server and client packages made from the package author's kit at test time: the product's
feature tree with its <Feature>_base_Instance1 components, the Upgrade rows that feed ZEBOLDSERVER
and ZEBOLDCLIENT, the properties a package must define, the UIText language row, the kit's Binary,
CustomAction and sequence rows (packaging/), and stand-in program files. wixl compiles the source
with the kit's include; packaging/merge_idt.py then puts the kit's types and numbers right."""

import shutil
import subprocess
import sys
import uuid
from pathlib import Path

ROOT = Path(__file__).resolve().parents[3]
KIT = ROOT / "packaging"

UPGRADE_CODES = {
    "server": "{8D1C5EA1-A4C5-4967-97FA-77FE6D4B5EA7}",
    "client": "{5A8B5D80-6DCC-4317-9922-99EC0093BF24}",
}
# Every feature of the product, with the kinds of package that carry it. AMS is a server feature:
# its Components value marks an installation as server-made, which refuses the client package.
FEATURES = [("Base", "sc"), ("Server", "s"), ("Client", "sc"), ("JavaMsg", "sc"), ("Toolkit", "sc"),
            ("JRE", "sc"), ("Web", "s"), ("XR_Service", "s"), ("MFT_Service", "s"), ("MFT_Logger", "s"),
            ("MFT_Agent", "s"), ("MFT_Tools", "s"), ("AMS", "s"), ("AMQP", "s")]
# Instance-1 component codes, as the product's feature table knows them.
COMPONENT_CODE = "{{6B0E4C1A-53D2-4F7E-9E11-0A1B2C3D4E{:02X}}}"
# What deferred actions of the library read, handed over through the deferred-property file; the
# three lists are one list cut where it suits.
DEFERRED_NAMES = ("ZEBINSTALLINSTANCENAME ZEBINSTANCEID ZEBPGMFOLDER ZEBDATFOLDER ZEBLOGFOLDER ZEBREMOVE ZEBTEMP "
                  "ZEBTEMPFILENUM ZEBLEAVEQMDATAREMOVE ZEBUSERTRACEPATH ZEBUSERLOGPATH ZEBPRODUCT ZEBSERVICENAME "
                  "JAVA_HOME "
                  "ZEBUPGRADE ZEBMAINTENANCE UPGRADINGPRODUCTCODE ProductCode ZEBBOOT ProductName ProductVersion "
                  "Installed UILevel ZEBLANGDLLCREATED ZEBLANGUAGECODE ZEBLANGUAGE ZEBOLDINSTALLINSTANCENAME "
                  "ZEBBYPASSREBOOTCHECK").split()
# Standard actions wixl leaves out of a source without their tables' rows; an HX package has them.
STANDARD = {
    "InstallUISequence": [("FindRelatedProducts", None, 25), ("MigrateFeatureStates", None, 1200)],
    "InstallExecuteSequence": [("FindRelatedProducts", None, 25), ("MigrateFeatureStates", None, 1200),
                               ("RemoveExistingProducts", None, 1450), ("RemoveRegistryValues", None, 2600),
                               ("RemoveShortcuts", None, 3200), ("RemoveFiles", None, 3500),
                               ("CreateShortcuts", None, 4500), ("WriteRegistryValues", None, 5000)],
}
# The value each feature's component writes under the record's Components subkey, which tells a
# later package what the installation had.
COMPONENT_VALUES = {"Server": "Server", "Client": "Local Clients\\Windows NT Client", "JavaMsg": "JavaMsg",
                    "Toolkit": "Development Toolkit", "JRE": "JRE", "Web": "Web", "XR_Service": "XR_Service",
                    "MFT_Service": "MFT_Service", "MFT_Logger": "MFT_Logger", "MFT_Agent": "MFT_Agent",
                    "MFT_Tools": "MFT_Tools", "AMS": "AMS", "AMQP": "AMQP"}
# The component whose removal takes the queue managers' data along (the library stacks their
# folders under it), in the Server feature, with its instance-1 code of the product's table.
QM_COMPONENT = ("_base_Instance1.37CF6887_5575_4370_9A34_F127CACF7D9A", "{CBE5BAB7-34A0-5BFC-B22F-ABFE1280C1D2}")
# Programs the launch actions start after InstallFinalize, stood in for by zebexit.exe.
STAND_INS = ["zebicdir.exe", "sethxinst.exe", "zebmjpse.exe", "zebmjpce.exe"]
# The installation's record, in both registry views, as the package's own Registry rows.
RECORD_KEY = "SOFTWARE\\{}Corvane\\Skyloft HX\\Installation\\[ZEBINSTALLINSTANCENAME]"
RECORD = [("Name", "[ZEBINSTALLINSTANCENAME]"), ("Description", "[ZEBINSTALLINSTANCEDESC]"),
          ("Identifier", "[ZEBINSTANCEID]"), ("VRMF", "[ProductVersion]"), ("ProductCode", "[ProductCode]"),
          ("FilePath", "[ZEBPGMFOLDER]"), ("AllowUpgrade", "1"), ("LanguageCode", "[ZEBLANGUAGECODE]"),
          ("Language", "[ZEBLANGUAGE]"), ("HXServerVersion", "{version}"), ("HXServerRelease", "{release}")]


def new_code():
    return f"{{{str(uuid.uuid4()).upper()}}}"


def _tool(args, cwd):
    proc = subprocess.run([str(a) for a in args], cwd=cwd, capture_output=True, text=True,
                          encoding="latin-1")
    if proc.returncode != 0:
        raise RuntimeError(f"{' '.join(map(str, args))} failed: {proc.stderr.strip()}")
    return proc.stdout


def _idt(folder, table, columns, types, keys, rows):
    lines = ["\t".join(columns), "\t".join(types), "\t".join([table, *keys])]
    lines += ["\t".join("" if v is None else str(v) for v in row) for row in rows]
    path = folder / f"{table}.idt"
    path.write_text("\r\n".join(lines) + "\r\n", encoding="latin-1")
    return path


def wxs(kind, version, product_code, qm_component=False):
    features = [f for f, kinds in FEATURES if kind[0] in kinds]
    qm = qm_component and "Server" in features
    components = "\n".join(
        (f'            <Directory Id="BIN64" Name="bin64">' if f == "Base" else "") +
        f'            <Component Id="{f}_base_Instance1" Guid="{COMPONENT_CODE.format(i + 1)}" Win64="yes">'
        + ("".join(f'<File Id="{p}" Name="{p}" Source="stand-ins/{p}"/>'
                   f'<File Id="{p}.args" Name="{p}.args" Source="stand-ins/{p}.args"/>' for p in STAND_INS)
           if f == "Base" else "<CreateFolder/>") + "</Component>" + ("</Directory>" if f == "Base" else "")
        for i, (f, _) in enumerate(FEATURES) if f in features)
    if qm:
        components += (f'\n            <Component Id="{QM_COMPONENT[0]}" Guid="{QM_COMPONENT[1]}" Win64="yes">'
                       "<CreateFolder/></Component>")
    refs = "\n".join(f'    <Feature Id="{f}" Level="1"><ComponentRef Id="{f}_base_Instance1"/>'
                     + (f'<ComponentRef Id="{QM_COMPONENT[0]}"/>' if qm and f == "Server" else "") + "</Feature>"
                     for f in features)
    properties = {"ZEBPRODUCTKIND": kind, "ZEBDISKFOLDERNAME": "HX",
                  **{f"ZEBPROPERTYNAMELIST{i + 1}": ";".join(DEFERRED_NAMES[i * 10:i * 10 + 10]) for i in range(3)}}
    props = "\n".join(f'    <Property Id="{k}" Value="{v}"/>' for k, v in properties.items())
    return f"""<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{product_code}" Name="Skyloft HX {kind}" Language="1033" Version="{version}"
           Manufacturer="Corvane" UpgradeCode="{UPGRADE_CODES[kind]}">
    <Package InstallerVersion="500" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="hx.cab" EmbedCab="yes"/>
{props}
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFiles64Folder">
        <Directory Id="CorvaneFolder" Name="Corvane">
          <Directory Id="INSTALLDIR" Name="HX">
{components}
          </Directory>
        </Directory>
      </Directory>
    </Directory>
{refs}
    <?include zebiwicn.wxi ?>
  </Product>
</Wix>
"""


def build(folder, windows_build, kind="server", version="9.4.0.0", product_code=None, records=None,
          execute=(), custom_actions=(), upgrade_attributes=258, qm_component=False):
    """A package in folder: kind "server" or "client"; version the ProductVersion; records the
    Windows folder where each stand-in appends its command line to <program>.txt; execute extra
    InstallExecuteSequence rows (action, condition, number) and custom_actions extra CustomAction
    rows (name, type, source, target), for a step's injected action; qm_component adds the
    queue-manager data component to a server package's Server feature. Returns the package path."""
    folder = Path(folder)
    if folder.exists():
        shutil.rmtree(folder)
    (folder / "bin").mkdir(parents=True)
    (folder / "stand-ins").mkdir()
    windows_build = Path(windows_build)
    for name in ("zebiwicn.dll", "zebircan.dll"):
        shutil.copy2(windows_build / name, folder / "bin" / name)
    for program in STAND_INS:
        shutil.copy2(windows_build / "zebexit.exe", folder / "stand-ins" / program)
        args = f"record={records}\\{program}.txt\n" if records else "\n"
        (folder / "stand-ins" / f"{program}.args").write_text(args)
    shutil.copy2(KIT / "zebiwicn.wxi", folder)
    product_code = product_code or new_code()
    (folder / "hx.wxs").write_text(wxs(kind, version, product_code, qm_component))
    msi = folder / f"hx-{kind}.msi"
    _tool(["wixl", "-a", "x64", "-D", "ZebBinaryDir=bin", "-o", msi.name, "hx.wxs"], folder)

    idt = folder / "idt"
    shutil.copytree(KIT / "idt", idt)
    shutil.copytree(folder / "bin", idt / "Binary")
    extra = [
        _idt(idt, "UIText", ["Key", "Text"], ["s72", "L255"], ["Key"], [("ZEB__setup_language", "A")]),
        _idt(idt, "Upgrade", ["UpgradeCode", "VersionMin", "VersionMax", "Language", "Attributes", "Remove",
                              "ActionProperty"], ["s38", "S20", "S20", "S255", "i4", "S255", "s72"],
             ["UpgradeCode", "VersionMin", "VersionMax", "Language", "Attributes"],
             [(UPGRADE_CODES["server"], "0.0.1", None, None, upgrade_attributes, None, "ZEBOLDSERVER"),
              (UPGRADE_CODES["client"], "0.0.1", None, None, upgrade_attributes, None, "ZEBOLDCLIENT")]),
        _idt(idt, "Registry", ["Registry", "Root", "Key", "Name", "Value", "Component_"],
             ["s72", "i2", "l255", "L255", "L0", "s72"], ["Registry"],
             [(f"HxRecord{32 if view else 64}_{i}", 2, RECORD_KEY.format(view), name,
               value.format(version=version.split(".")[0], release=version.split(".")[1]), "Base_base_Instance1")
              for view in ("", "Wow6432Node\\") for i, (name, value) in enumerate(RECORD)]
             + [(f"HxComponent{32 if view else 64}_{f}", 2, RECORD_KEY.format(view) + "\\Components", value, "1",
                 f"{f}_base_Instance1")
                for view in ("", "Wow6432Node\\") for f, value in COMPONENT_VALUES.items()
                if f in [g for g, kinds in FEATURES if kind[0] in kinds]]),
        # wixl writes no ListBox table; the upgrade list box fills it.
        _idt(idt, "ListBox", ["Property", "Order", "Value", "Text"], ["s72", "i2", "s64", "L64"],
             ["Property", "Order"], []),
    ]
    for table, rows in STANDARD.items():
        standard = idt / "standard" / table
        standard.mkdir(parents=True)
        extra.append(_idt(standard, table, ["Action", "Condition", "Sequence"], ["s72", "S255", "I2"], ["Action"],
                          rows + [r for r in execute if table == "InstallExecuteSequence"]))
    tables = sorted(idt.glob("*.idt"))
    _tool([sys.executable, KIT / "merge_idt.py", msi, *tables, *extra[-2:]], folder)
    if custom_actions:
        ca = idt / "extra"
        ca.mkdir()
        _tool([sys.executable, KIT / "merge_idt.py", msi,
               _idt(ca, "CustomAction", ["Action", "Type", "Source", "Target", "ExtendedType"],
                    ["s72", "i2", "S72", "S255", "I4"], ["Action"], [(*r, None) for r in custom_actions])], folder)
    return msi
