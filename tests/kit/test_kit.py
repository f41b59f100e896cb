"""The package author's kit: its tables agree with the library's exports and with the order the
installation needs, the generated files are current, and a package built from the kit with wixl
and msitools carries exactly the rows of actions.txt."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import uuid
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
KIT = ROOT / "packaging"
sys.path.insert(0, str(KIT))
import genkit  # noqa: E402

DEF = ROOT / "install/pc/winnt/msi/zebiwicn.def"
STANDARD = {"InstallUISequence": {"FindRelatedProducts": 25, "AppSearch": 50, "LaunchConditions": 100,
                                  "ValidateProductID": 700, "CostInitialize": 800, "FileCost": 900,
                                  "CostFinalize": 1000, "MigrateFeatureStates": 1200, "ExecuteAction": 1300},
            "InstallExecuteSequence": {"FindRelatedProducts": 25, "AppSearch": 50, "LaunchConditions": 100,
                                       "ValidateProductID": 700, "CostInitialize": 800, "FileCost": 900,
                                       "CostFinalize": 1000, "InstallValidate": 1400, "InstallInitialize": 1500,
                                       "ProcessComponents": 1600, "UnpublishFeatures": 1800,
                                       "RemoveRegistryValues": 2600, "RemoveShortcuts": 3200, "RemoveFiles": 3500,
                                       "InstallFiles": 4000, "CreateShortcuts": 4500, "WriteRegistryValues": 5000,
                                       "RegisterUser": 6000, "RegisterProduct": 6100, "PublishFeatures": 6300,
                                       "PublishProduct": 6400, "InstallFinalize": 6600}}
EXECUTE = "InstallExecuteSequence"

# Initialisation runs in this order wherever the rows exist; later rows join as their actions land.
INIT_ORDER = ["iwiInstallInitPri", "iwiListAvailableUpgrades", "iwiProcessUserInstallationName",
              "iwiInstallInitNamed", "iwiSetDirs", "iwiInstallInitSec"]


def def_exports():
    lines = DEF.read_text().splitlines()
    start = next(i for i, line in enumerate(lines) if line.strip() == "EXPORTS")
    return {line.split()[0] for line in lines[start + 1:] if line.strip() and not line.strip().startswith(";")}


def kit_rows():
    return genkit.parse((KIT / "actions.txt").read_text(encoding="utf-8"))


def number(rows, name, table=EXECUTE):
    """The row's number, or the standard action's."""
    for r in rows:
        if r.name == name:
            return r.sequence.get(table)
    return STANDARD[table].get(name)


# Exports whose rollback row is work of its own, not the undoing of a deferred row.
ROLLBACK_ONLY = {"iwiCleanUp", "iwiStackCleanUpFinal"}


class Tables(unittest.TestCase):
    def test_generated_files_are_current(self):
        result = subprocess.run([sys.executable, str(KIT / "genkit.py"), "--check"], capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stderr)

    def test_every_export_has_a_row_and_every_row_an_export(self):
        rows = kit_rows()
        exports = def_exports()
        self.assertEqual(exports - {r.export for r in rows}, set(), "exports without a CustomAction row")
        self.assertEqual({r.export for r in rows} - exports, set(), "rows naming no export")

    def test_types_follow_the_run(self):
        by_name = {r.name: r.type for r in kit_rows()}
        self.assertEqual(by_name["iwiInstallInitPri"], 257)
        self.assertEqual(by_name["iwiDeferredUpdates"], 3073)
        self.assertEqual(by_name["iwiDeferredUpdatesRollback"], 3329)
        self.assertEqual(by_name["iwiCheckIfElevated"], 1)

    def test_deferred_rows_come_after_the_hand_over(self):
        rows = kit_rows()
        write, hand = number(rows, "iwiWriteDeferredProperties"), number(rows, "iwiSetCustomActionData")
        self.assertLess(write, hand)
        for r in rows:
            if r.in_script and EXECUTE in r.sequence:
                self.assertGreater(r.sequence[EXECUTE], hand, f"{r.name} is scheduled before its data is set")
                self.assertGreater(r.sequence[EXECUTE], STANDARD[EXECUTE]["InstallInitialize"], r.name)
                self.assertLess(r.sequence[EXECUTE], STANDARD[EXECUTE]["InstallFinalize"], r.name)
            elif EXECUTE in r.sequence and hand < r.sequence[EXECUTE] < STANDARD[EXECUTE]["InstallFinalize"]:
                self.fail(f"immediate {r.name} inside the script after the hand-over: deferred rows miss what it sets")

    def test_a_rollback_row_precedes_the_deferred_row_it_undoes(self):
        rows = kit_rows()
        for r in rows:
            if r.run == "rollback" and EXECUTE in r.sequence:  # admin-only rows are scheduled by hand
                deferred = [d for d in rows if d.export == r.export and d.run == "deferred"]
                # Or what the export's immediate run changed at once (a file it wrote); the clean-up after a
        # failed run undoes nothing of its own.
                immediate = [i for i in rows if i.export == r.export and i.run == "immediate" and EXECUTE in i.sequence]
                self.assertTrue(deferred or immediate or r.export in ROLLBACK_ONLY, f"{r.name} undoes nothing")
                for d in deferred:
                    self.assertLess(r.sequence[EXECUTE], d.sequence[EXECUTE])

    def test_initialisation_order(self):
        rows = kit_rows()
        for table in genkit.TABLES:
            present = [number(rows, n, table) for n in INIT_ORDER if number(rows, n, table) is not None]
            self.assertEqual(present, sorted(present), table)
            self.assertTrue(present)
        self.assertLess(number(rows, "iwiCheckIfElevated"), number(rows, "iwiInstallInitPri"))

    def test_removal_stacking_precedes_the_removal(self):
        rows = kit_rows()
        for r in rows:
            if r.export.startswith("iwiStack") and r.run == "immediate" and EXECUTE in r.sequence:
                self.assertLess(r.sequence[EXECUTE], STANDARD[EXECUTE]["RemoveFiles"], r.name)
                self.assertLess(r.sequence[EXECUTE], number(rows, "iwiWriteDeferredProperties"), r.name)

    def test_no_row_shares_a_standard_action_number(self):
        for r in kit_rows():
            for table, n in r.sequence.items():
                self.assertNotIn(n, STANDARD[table].values(), f"{r.name} in {table}")


class Parser(unittest.TestCase):
    def rejects(self, text, words):
        with self.assertRaises(genkit.KitError) as caught:
            genkit.parse(text)
        self.assertIn(words, str(caught.exception))

    def test_refusals_name_the_line(self):
        good = "a | a | immediate | check | - | 1510 | | Does a.\n"
        self.rejects(good + "b | b | immediate | check | - | 1510 | | Does b.\n", "number 1510 is used twice")
        self.rejects(good + good, "row 'a' is defined twice")
        self.rejects("a | a | first | check | - | 110 | | Does a.\n", "actions.txt:1: a 'first' row belongs in both")
        self.rejects("a | a | deferred | check | 110 | 1510 | | Does a.\n", "immediate actions only")
        self.rejects("a | a | later | check | - | 1 | | Does a.\n", "run 'later'")
        self.rejects("# c\n\na | a | immediate | check | - | 0 | | Does a.\n", "actions.txt:3: InstallExecuteSequence number '0'")
        self.rejects("a | a | immediate | check | - | 1 | Does a.\n", "7 fields")
        self.rejects("a | a | immediate | check | - | -5 | | Does a.\n", "number '-5' is no sequence number")
        self.rejects("a | a | deferred | check | - | -3 | | Does a.\n", "only immediate rows run at an exit")
        rows = genkit.parse("a | a | immediate | ignore | -3 | -3 | | Does a.\n")
        self.assertIn('<Custom Action="a" OnExit="error"/>', genkit.wxi(rows))

    def test_condition_is_escaped_in_the_include(self):
        rows = genkit.parse('a | a | immediate | ignore | - | 1510 | X<"1" AND Y>2 | Does a.\n')
        self.assertIn('<Custom Action="a" Sequence="1510">X&lt;"1" AND Y&gt;2</Custom>', genkit.wxi(rows))
        self.assertEqual(rows[0].type, 65)


TOOLS = ("wixl", "msibuild", "msiinfo")


@unittest.skipUnless(all(shutil.which(t) for t in TOOLS), "wixl or msitools missing")
class Package(unittest.TestCase):
    """A package made from the kit the way README tells a msitools user to."""

    @classmethod
    def setUpClass(cls):
        cls.work = Path(tempfile.mkdtemp(prefix="zebkit"))
        binaries = cls.work / "bin"
        binaries.mkdir()
        built = ROOT / "build" / "windows"
        for name, _ in genkit.BINARIES:
            source = built / name
            if source.exists():
                shutil.copy2(source, binaries / name)
            else:
                (binaries / name).write_bytes(b"MZ stand-in for " + name.encode())
        (cls.work / "hx.wxs").write_text(f"""<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="HX" Language="1033" Version="9.4.0.0" Manufacturer="Corvane"
           UpgradeCode="{{{str(uuid.uuid4()).upper()}}}">
    <Package InstallerVersion="500" Compressed="yes" InstallScope="perMachine"/>
    <Directory Id="TARGETDIR" Name="SourceDir"/>
    <Feature Id="Base" Level="1"/>
    <?include zebiwicn.wxi ?>
  </Product>
</Wix>
""")
        shutil.copy2(KIT / "zebiwicn.wxi", cls.work)
        cls.msi = cls.work / "hx.msi"
        # wixl takes only relative source paths.
        cls.tool(["wixl", "-a", "x64", "-D", "ZebBinaryDir=bin", "-o", str(cls.msi), "hx.wxs"])
        idt = cls.work / "idt"
        shutil.copytree(KIT / "idt", idt)
        shutil.copytree(binaries, idt / "Binary")
        cls.tool([sys.executable, str(KIT / "merge_idt.py"), str(cls.msi)] + sorted(map(str, idt.glob("*.idt"))))
        cls.binaries = binaries

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    @classmethod
    def tool(cls, args):
        result = subprocess.run(args, cwd=cls.work, capture_output=True, text=True, encoding="latin-1")
        if result.returncode != 0:
            raise AssertionError(f"{args[0]} failed: {result.stderr}")
        return result.stdout

    def table(self, name):
        lines = self.tool(["msiinfo", "export", str(self.msi), name]).splitlines()
        return [line.split("\t") for line in lines[3:] if line]

    def test_custom_actions_are_the_kits(self):
        got = {r[0]: (int(r[1]), r[2], r[3]) for r in self.table("CustomAction")}
        want = {r.name: (r.type, "zebiwicn.dll", r.export) for r in kit_rows()}
        self.assertEqual(got, want)

    def test_sequences_keep_the_standard_actions_and_add_the_kits(self):
        rows = kit_rows()
        for table in genkit.TABLES:
            got = {r[0]: (r[1], int(r[2])) for r in self.table(table)}
            for r in rows:
                if table in r.sequence:
                    self.assertEqual(got.pop(r.name), (r.condition, r.sequence[table]), f"{r.name} in {table}")
                else:
                    self.assertNotIn(r.name, got)
            for name in ("CostInitialize", "CostFinalize"):
                self.assertEqual(got.get(name), ("", STANDARD[table][name]))
            self.assertTrue(set(got) <= set(STANDARD[table]), set(got) - set(STANDARD[table]))

    def test_binaries_are_the_built_files(self):
        self.assertEqual(sorted(r[0] for r in self.table("Binary")), sorted(n for n, _ in genkit.BINARIES))
        for name, _ in genkit.BINARIES:
            data = subprocess.run(["msiinfo", "extract", str(self.msi), f"Binary.{name}"],
                                  capture_output=True, check=True).stdout
            self.assertEqual(data, (self.binaries / name).read_bytes(), name)


if __name__ == "__main__":
    unittest.main()
