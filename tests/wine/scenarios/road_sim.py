"""The simulated machine agrees with the engine: the road's first installation, the second
installation beside it, the removal of the second and a maintenance of the first (a feature
removed), each in Wine's engine on one prefix, then the same steps on the simulated machine (hxca
running the scenarios that tools/road/road_scenario.py generates from the same kit and package
definition, each on the machine the step before left), their traces compared action by action;
every difference left is one that road/sim-differences.txt explains."""

import sys
from pathlib import Path

from zebwine import expect, scenario, squashed

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "road"))
import builder  # noqa: E402
import simcompare  # noqa: E402

BUILD = simcompare.ROOT / "build" / "linux"
# Where the engine lists the products of an upgrade code (MsiEnumRelatedProducts reads them).
UPGRADE_KEYS = [rf"HKLM\SOFTWARE\{k}\UpgradeCodes" for k in
                (r"Classes\Installer", r"Microsoft\Windows\CurrentVersion\Installer")]
# What the steps hand on: the packages installed, hxca's output of each simulated step.
ROAD = {}


def agree(t, step, log_path):
    if "sim" not in ROAD:
        for needed in (BUILD / "hxca", BUILD / "zebircan.dll"):
            expect(needed.exists(), f"{needed} is missing (cmake --build --preset linux)")
        ROAD["sim"] = simcompare.simulate(t.root, BUILD)
        ROAD["rules"] = simcompare.explanations()
    rest = simcompare.compare(log_path, ROAD["sim"][step], BUILD, ROAD["rules"], step)
    if step == simcompare.STEPS[-1]:
        for rule in ROAD["rules"]:
            if not rule.used:
                print(f"NOTE no difference needs: {rule.side} | {rule.action.pattern} | {rule.text.pattern}",
                      flush=True)
    expect(not rest, f"{step}: differences that {simcompare.EXPLAINED.name} does not explain (Wine log {log_path}, "
           f"hxca output {ROAD['sim'][step]}):\n  " + "\n  ".join(rest))


@scenario()
def first_installation_as_on_the_simulated_machine(t):
    msi = builder.build(t.root / "pkg", t.run.windows_build)
    traces = t.folder("trace")
    ini = t.folder("ini") + "\\first.ini"
    t.write(ini, f"[Response]\r\nINSTALLTRACE={traces}\\install.trc\r\nINSTALLLOG={traces}\\install.log\r\n")
    r = t.msiexec("/i", msi, {"USEINI": ini}, timeout=240)
    r.expect_code(0)
    ROAD["first"] = msi
    agree(t, "first", r.log_path)


@scenario()
def second_installation_as_on_the_simulated_machine(t):
    expect("first" in ROAD, "the first installation did not finish")
    msi = builder.build(t.root / "pkg", t.run.windows_build)
    ini = t.folder("ini") + "\\second.ini"
    t.write(ini, "[Response]\r\nINSTALLATIONNAME=Installation2\r\n")
    r = t.msiexec("/i", msi, {"USEINI": ini}, timeout=240)
    r.expect_code(0)
    ROAD["second"] = msi
    ROAD["second code"] = r.properties["ProductCode"]
    agree(t, "second", r.log_path)


@scenario()
def removal_of_installation2_as_on_the_simulated_machine(t):
    expect("second" in ROAD, "the second installation did not finish")
    # As road.py's removal: ZEBUISEQ=1 as the dialogs would choose it (Wine keeps every component
    # at install level 0).
    keys = [f"{k}\\{squashed(builder.UPGRADE_CODES['server'])}" for k in UPGRADE_KEYS]
    before = {k: t.prefix.reg_values(k) or {} for k in keys}
    r = t.msiexec("/x", ROAD.pop("second"), {"KEEPQMDATA": "delete", "ZEBUISEQ": "1"}, timeout=240)
    r.expect_code(0)
    agree(t, "remove2", r.log_path)
    # As road.py's removal: Wine takes the family's whole UpgradeCodes key away with the
    # last-but-one product, Windows only that product's value. Put the others back as Windows
    # leaves them, for the maintenance's MsiEnumRelatedProducts.
    for key, values in before.items():
        after = t.prefix.reg_values(key) or {}
        lost = [n for n in values if n not in after and n != squashed(ROAD["second code"])]
        if lost:
            print(f"NOTE Wine removed {key} values {lost}; put back", flush=True)
            t.prefix.reg_import(f"[{key.replace('HKLM', 'HKEY_LOCAL_MACHINE', 1)}]\n" +
                                "".join(f'"{n}"=""\n' for n in lost))



@scenario()
def maintenance_of_installation1_as_on_the_simulated_machine(t):
    expect("first" in ROAD, "the first installation did not finish")
    r = t.msiexec("/i", ROAD["first"], {"REMOVE": "AMS"}, timeout=240)
    r.expect_code(0)
    agree(t, "maintain1", r.log_path)
