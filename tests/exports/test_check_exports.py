"""Checks of the export checker's readers: which source text counts as an action, how a .def file
lists names, and what a difference reports."""

import sys
import tempfile
import unittest
from pathlib import Path

sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parent))
import check_exports as ce  # noqa: E402


class Sources(unittest.TestCase):
    def test_only_definitions_outside_comments_count(self):
        text = r'''
ZEB_ACTION iwiDeclared(MSIHANDLE hInstall);
// ZEB_ACTION iwiLineComment(MSIHANDLE hInstall) {
/* ZEB_ACTION iwiBlockComment(MSIHANDLE hInstall) { */
static const char* kUrl = "http://host/*"; const char kQuote = '"';
ZEB_ACTION iwiAfterLiterals(MSIHANDLE hInstall) {
    return 0;
}
ZEB_ACTION
iwiSplit(MSIHANDLE hInstall)
{
}
'''
        self.assertEqual(ce.defined_actions([text]), {"iwiAfterLiterals", "iwiSplit"})

    def test_every_file_counts(self):
        self.assertEqual(ce.defined_actions(["ZEB_ACTION a(MSIHANDLE h) {}", "ZEB_ACTION b(MSIHANDLE h) {}"]),
                         {"a", "b"})


class DefFile(unittest.TestCase):
    def test_entry_forms(self):
        text = """LIBRARY zebiwicn ; the DLL
EXPORTS test
    iwiA @2
    iwiB=internalB PRIVATE
    ; iwiCommented
    iwiC   ; trailing comment
SECTIONS
    CANCEL READ WRITE SHARED
"""
        self.assertEqual(ce.def_exports(text), ["test", "iwiA", "iwiB", "iwiC"])


class Differences(unittest.TestCase):
    def test_each_kind_of_difference_is_named(self):
        self.assertEqual(ce.differences({"a", "b"}, ["a", "b"], "x.def"), [])
        self.assertEqual(ce.differences({"a", "b", "c"}, ["a", "z", "a"], "x.def"),
                         ["x.def lists a twice", "x.def lacks: b, c",
                          "x.def has exports that are no action: z"])
        self.assertEqual(ce.differences({"a"}, {"a"}, "lib.so", {"DllMain"}), ["lib.so lacks: DllMain"])


class RealFiles(unittest.TestCase):
    """The shipped .def against the library's sources, and a .def that leaves an action out."""

    root = Path(__file__).resolve().parents[2]

    def run_check(self, def_file):
        return ce.main(["--sources", str(self.root / "install/pc/winnt/msi"), "--def", str(def_file)])

    def test_shipped_def_agrees_and_a_dropped_action_fails(self):
        shipped = self.root / "install/pc/winnt/msi/zebiwicn.def"
        self.assertEqual(self.run_check(shipped), 0)
        text = shipped.read_text()
        dropped = ce.def_exports(text)[-1]
        with tempfile.TemporaryDirectory() as tmp:
            planted = Path(tmp) / "zebiwicn.def"
            planted.write_text("".join(line for line in text.splitlines(True) if line.strip() != dropped))
            self.assertEqual(ce.def_exports(planted.read_text()), ce.def_exports(text)[:-1])
            self.assertEqual(self.run_check(planted), 1)


if __name__ == "__main__":
    unittest.main()
