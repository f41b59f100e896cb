"""Checks of the Wine harness itself that need no Wine: trace and log parsing, exit codes, and
(with msitools and wixl present) the package builder."""

import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parent))
import zebwine  # noqa: E402


class TraceParsing(unittest.TestCase):
    def test_action_and_function_fields(self):
        lines = [
            "12:00:01 HXCA (CaProlog) info: banner",
            "12:00:02 HXCA (CaProlog)(CaProlog) info: Property 'A' value 'x' from property table",
            "12:00:03 HXCA iwiERROR(iwiLoadNlsString) info: text",
            "12:00:04 HXCA Test CA info: Returning with rc 1603",
            "12:00:05 HXCA iwiERROR info: HXCA iwiERROR MB *** error: a info: b",
            "Action start 8:00:00: test.",
            "12:00:06 HXCA  info: empty action is not a trace line",
        ]
        parsed = [(t.action, t.function, t.text) for t in zebwine.parse_trace(lines)]
        self.assertEqual(parsed, [
            ("(CaProlog)", None, "banner"),
            ("(CaProlog)", "CaProlog", "Property 'A' value 'x' from property table"),
            ("iwiERROR", "iwiLoadNlsString", "text"),
            ("Test CA", None, "Returning with rc 1603"),
            ("iwiERROR", None, "HXCA iwiERROR MB *** error: a info: b"),
        ])

    def test_order_and_absence(self):
        trace = zebwine.Trace(zebwine.parse_trace(
            ["00:00:00 HXCA a info: one", "00:00:00 HXCA a info: two"]), "test")
        trace.expect_order("one", "two")
        with self.assertRaises(zebwine.Failure):
            trace.expect_order("two", "one")
        with self.assertRaises(zebwine.Failure):
            trace.expect_not("^one$")
        self.assertTrue(trace.has(zebwine.lit("two")))
        self.assertFalse(trace.has(zebwine.lit("tw")))


class ExitCodes(unittest.TestCase):
    def test_low_byte_maps_back(self):
        self.assertEqual(zebwine.windows_code(67), 1603)
        self.assertEqual(zebwine.windows_code(66), 1602)
        self.assertEqual(zebwine.windows_code(0), 0)
        self.assertEqual(zebwine.windows_code(194), 3010)
        with self.assertRaises(AssertionError):
            zebwine.windows_code(5)


class EngineOutput(unittest.TestCase):
    def test_log_sections_and_properties(self):
        log = "\n".join([
            "Action start 8:00:00: iwiPauseRollback.",
            "Action ended 8:00:00: iwiPauseRollback. Return value 1.",
            "Action start 8:00:00: other.",
            "00:00:00 HXCA other info: not mine",
            "Action ended 8:00:00: other. Return value 1.",
            "Action start 8:00:01: iwiPauseRollback.",
            "00:00:01 HXCA iwiPause info: MSIRUNMODE_ROLLBACK",
            "Action ended 8:00:01: iwiPauseRollback. Return value 1.",
            "Property(S): UILevel = 2",
            "Property(S): Empty = ",
        ])
        with tempfile.TemporaryDirectory() as d:
            path = Path(d) / "x.log"
            path.write_text(log)
            r = zebwine.MsiexecResult(1603, path)
        self.assertEqual(r.action_trace("iwiPauseRollback").texts(), ["MSIRUNMODE_ROLLBACK"])
        self.assertEqual(r.properties, {"UILevel": "2", "Empty": ""})
        with self.assertRaises(zebwine.Failure):
            r.action_lines("iwiERROR")
        with self.assertRaises(zebwine.Failure):
            r.expect_code(0)

    def test_driver_output(self):
        out = "\n".join([
            "OPEN 0",
            "MSG INFO 0x04000000 00:00:00 HXCA iwiPause info: Returning with rc 1602",
            "MSG ACTIONSTART 0x08000000 Action 8:00:00: iwiPause. ",
            "DOACTION iwiPause 1602",
            "CALL iwiCancel 1602",
            "CALL test load failed 126",
            "SPAWN 0",
            "PROPERTY A=b=c",
            "PROPERTY B rc=1615",
        ])
        r = zebwine.DriverResult(out, 0)
        self.assertEqual(r.actions, [("iwiPause", 1602)])
        self.assertEqual(r.calls, [("iwiCancel", 1602)])
        self.assertEqual(r.spawns, [0])
        self.assertEqual(r.properties, {"A": "b=c"})
        self.assertEqual(r.trace.texts(), ["Returning with rc 1602"])


@unittest.skipUnless(all(shutil.which(t) for t in ("wixl", "msibuild", "msiinfo")),
                     "wixl or msitools missing")
class PackageBuilder(unittest.TestCase):
    def table(self, msi, name):
        out = subprocess.run(["msiinfo", "export", str(msi), name], capture_output=True,
                             text=True, check=True).stdout.splitlines()
        return [line.split("\t") for line in out[3:] if line]

    def test_base_and_scenario_package(self):
        with tempfile.TemporaryDirectory() as d:
            library = Path(d) / "lib.dll"
            library.write_bytes(b"MZ not a real library")
            packages = zebwine.Packages(library, Path(d) / "work")
            base = packages.base("client")
            msi = packages.build("s-1", [("iwiPause", "NOT Installed", 1460)], {"ZEBRUNID": "s-1"},
                                 "client")

            base_props = dict(self.table(base, "Property"))
            props = dict(self.table(msi, "Property"))
            self.assertEqual(props["UpgradeCode"], zebwine.UPGRADE_CODES["client"])
            self.assertEqual(props["ZEBRUNID"], "s-1")
            self.assertNotEqual(props["ProductCode"], base_props["ProductCode"])

            sequence = {row[0]: row for row in self.table(msi, "InstallExecuteSequence")}
            self.assertEqual(sequence["iwiPause"][1:], ["NOT Installed", "1460"])
            for action in ("WriteRegistryValues", "RemoveRegistryValues", "RemoveFiles",
                           "InstallFinalize"):
                self.assertIn(action, sequence)
            self.assertNotIn("iwiPause", {row[0] for row in self.table(base, "InstallExecuteSequence")})

            actions = {row[0]: row for row in self.table(msi, "CustomAction")}
            self.assertEqual(actions["iwiERRORDeferred"][1:4], ["3073", "zebiwicn.dll", "iwiERROR"])
            self.assertEqual(actions["iwiPauseRollback"][1], "3329")
            components = {row[0] for row in self.table(msi, "Component")}
            features = {row[0] for row in self.table(msi, "Feature")}
            self.assertEqual(components, {f + "_base_Instance1" for f in features})
            self.assertEqual(len(features), 14)


if __name__ == "__main__":
    unittest.main()
