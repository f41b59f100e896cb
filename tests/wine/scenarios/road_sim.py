"""The simulated machine agrees with the engine: the road's first installation in Wine's engine,
then the same road on the simulated machine (hxca running the scenario that
tools/road/road_scenario.py generates from the same kit and package definition), their traces
compared action by action; every difference left is one that road/sim-differences.txt explains."""

import sys
from pathlib import Path

from zebwine import expect, scenario

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "road"))
import builder  # noqa: E402
import simcompare  # noqa: E402

BUILD = simcompare.ROOT / "build" / "linux"


@scenario(clean_machine=True)
def first_installation_as_on_the_simulated_machine(t):
    for needed in (BUILD / "hxca", BUILD / "zebircan.dll"):
        expect(needed.exists(), f"{needed} is missing (cmake --build --preset linux)")
    msi = builder.build(t.root / "pkg", t.run.windows_build)
    traces = t.folder("trace")
    ini = t.folder("ini") + "\\first.ini"
    t.write(ini, f"[Response]\r\nINSTALLTRACE={traces}\\install.trc\r\nINSTALLLOG={traces}\\install.log\r\n")
    r = t.msiexec("/i", msi, {"USEINI": ini}, timeout=240)
    r.expect_code(0)
    try:
        sim = simcompare.simulate(t.root, BUILD)
        rest, unused = simcompare.compare(r.log_path, sim, BUILD)
        for rule in unused:
            print(f"NOTE no difference needs: {rule.side} | {rule.action.pattern} | {rule.text.pattern}", flush=True)
        expect(not rest, f"differences that {simcompare.EXPLAINED.name} does not explain (Wine log {r.log_path}, "
               f"hxca output {sim}):\n  " + "\n  ".join(rest))
    finally:
        t.msiexec("/x", msi)
