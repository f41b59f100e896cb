"""The launchers with real programs: Wine's cmd.exe and zebexit.exe (output lines, a sleep, an exit
code), through the test-only export tstLaunch of zebitest.dll called by the driver."""

import shutil
import time

from zebwine import expect, lit, scenario


class Machine:
    """The test library, a program folder <root>\\HX with bin64\\zebexit.exe, a temporary folder."""

    def __init__(self, t):
        built = t.run.windows_build / "zebitest.dll"
        program = t.run.windows_build / "zebexit.exe"
        for path in (built, program):
            expect(path.exists(), f"{path} is missing (cmake --build --preset windows)")
        self.t = t
        self.lib = t.folder("lib") + "\\zebitest.dll"
        shutil.copy2(built, t.unix(self.lib))
        self.root = t.prefix.winpath(t.root)
        self.bin64 = t.folder("HX/bin64")
        self.zebexit = self.bin64 + "\\zebexit.exe"
        shutil.copy2(program, t.unix(self.zebexit))
        self.temp = t.folder("temp")
        self.package = t.package()

    def launch(self, mode, program="", parameters="", folder="", timeout="", **properties):
        """tstLaunch once; the driver's result with the exit code it saw."""
        settings = {"ZEBTESTLAUNCH": mode, "ZEBTESTPROGRAM": program, "ZEBTESTPARAMETERS": parameters,
                    "ZEBTESTFOLDER": folder, "ZEBTESTTIMEOUT": timeout, **properties}
        ops = []
        for name, value in settings.items():
            ops += ["--set", f"{name}={value}"]
        d = self.t.driver(self.package, ops + ["--call", self.lib, "tstLaunch", "--get", "ZEBTESTEXITCODE"])
        d.expect_ok()
        expect(len(d.calls) == 1, f"no call result:\n{d.stdout}")
        d.status = d.calls[0][1]
        d.exit_code = d.properties.get("ZEBTESTEXITCODE")
        return d

    def with_log(self, arguments, number, timeout="", temp=None):
        """LaunchAppAndWaitWithLog in <root>\\HX\\bin64 with the output file zebt<number>.txt."""
        return self.launch("log", parameters=arguments, timeout=timeout, ZEBPGMFOLDER=self.root + "\\HX\\",
                           ZEBTEMP=temp or self.temp, ZEBTEMPFILENUM=number)


def output_lines(d, path):
    """The lines traced from the command's output file."""
    read = d.trace.find(lit(f"Reading '{path}'"))
    expect(read >= 0, f"'{path}' was not read:\n{d.stdout}")
    return [line.text for line in d.trace.lines[read:] if line.function == "LaunchAppAndWaitWithLog"]


@scenario()
def exit_code_and_missing_programs(t):
    m = Machine(t)
    d = m.launch("wait", m.zebexit, "out=hello exit=5")
    expect(d.status == 0 and d.exit_code == "0x00000005", f"{d.status} {d.exit_code}\n{d.stdout}")
    d.trace.expect_order(lit(f"Launching process '{m.zebexit}' 'out=hello exit=5'; dir '{m.bin64}'."),
                         lit(f"Process '{m.zebexit}' ended; exit code 0x00000005"))

    d = m.launch("wait", m.zebexit, "exit=259")
    expect(d.status == 0 and d.exit_code == "0xffffffff", f"{d.status} {d.exit_code}")
    d.trace.expect(lit(f"Process '{m.zebexit}' still active"))

    d = m.launch("wait", m.bin64 + "\\endhxm.exe", "-i QM1")
    expect(d.status == 1603, f"status {d.status}")
    d.trace.expect(lit(f"***Unable to find and run '{m.bin64}\\endhxm.exe'"))
    d.trace.expect_not("Launching process")

    # A bare name nobody has: the error dialogs suppressed give 2; without that flag Wine, having no
    # display for the dialog, answers 1400 (Windows: 2).
    d = m.launch("wait", "nosuch.exe")
    expect(d.status == 1603, f"status {d.status}")
    d.trace.expect(lit("***Unable to launch process 'nosuch.exe'; code 2."))
    d = m.launch("process", "nosuch.exe")
    expect(d.status == 1603, f"status {d.status}")
    d.trace.expect(lit("***Unable to launch process; code 1400."))


@scenario()
def time_out_leaves_the_program_running(t):
    m = Machine(t)
    marker = m.root + "\\ended.txt"
    started = time.monotonic()
    d = m.launch("wait", m.zebexit, f"sleep=8000 touch={marker}", timeout="1000")
    expect(d.status == 1604 and d.exit_code == "0xffffffff", f"{d.status} {d.exit_code}\n{d.stdout}")
    d.trace.expect_order(lit(f"Process '{m.zebexit}' timed out."), lit("Returning with rc 1604"))
    d.trace.expect_not(r"^\*\*\*")
    expect(not t.unix(marker).exists(), "the program ended before the wait timed out")
    # The driver has gone; the program goes on and ends by itself.
    while time.monotonic() - started < 60 and not t.unix(marker).exists():
        time.sleep(0.25)
    expect(t.unix(marker).exists(), "the program did not go on running after the time-out")
    print(f"OBSERVED the program ended {time.monotonic() - started:.1f}s after the launch", flush=True)


@scenario()
def any_cmd_path_runs_the_systems_cmd(t):
    m = Machine(t)
    d = m.launch("wait", "\"C:\\nowhere\\cmd.exe\"", "/c exit 7", folder=m.root)
    expect(d.status == 0 and d.exit_code == "0x00000007", f"{d.status} {d.exit_code}\n{d.stdout}")
    d.trace.expect_order(lit(f"Launching process 'cmd' '/c exit 7'; dir '{m.root}'."),
                         lit("Process 'cmd' ended; exit code 0x00000007"))
    # Without a folder the program's own is taken, here '"C:\nowhere' and 'C:\nowhere', which do not
    # exist: Wine runs the program anyway (Windows refuses a missing working folder, 267).
    for program, folder in (("\"C:\\nowhere\\cmd.exe\"", "\"C:\\nowhere"),
                            ("C:\\nowhere\\CMD.EXE", "C:\\nowhere")):
        d = m.launch("wait", program, "/c exit 7")
        expect(d.status == 0 and d.exit_code == "0x00000007", f"{program}: {d.status} {d.exit_code}")
        d.trace.expect(lit(f"Launching process 'cmd' '/c exit 7'; dir '{folder}'."))


@scenario()
def command_output_traced_in_pieces(t):
    m = Machine(t)
    output = m.temp + "\\zebt0001.txt"
    t.write(output, "stale line\r\n")
    d = m.with_log("/c zebexit.exe out=first err=second long=600 exit=3", "0001")
    expect(d.status == 0, f"status {d.status}\n{d.stdout}")
    d.trace.expect_order(
        lit("Launching process 'cmd' '/c zebexit.exe out=first err=second long=600 exit=3 "
            f"1>\"{output}\" 2>&1'; dir '{m.root}\\HX\\bin64'."),
        lit("Process 'cmd' ended; exit code 0x00000003"), lit(f"Reading '{output}'"))
    lines = output_lines(d, output)
    expect(lines == ["first", "second", "x" * 515, "x" * 85], f"output lines: {lines!r}")
    expect(t.read(output) == "first\r\nsecond\r\n" + "x" * 600 + "\r\n",
           "the output file is not left as cmd wrote it")

    # Wine's cmd words an unknown program its own way (Windows: "'nosuch.exe' is not recognized as an
    # internal or external command," and "operable program or batch file."); both exit with 9009.
    d = m.with_log("/c nosuch.exe -x", "0002")
    expect(d.status == 0, f"status {d.status}")
    d.trace.expect(lit("Process 'cmd' ended; exit code 0x00002331"))
    said = output_lines(d, m.temp + "\\zebt0002.txt")
    expect(len(said) == 1 and "'nosuch.exe" in said[0], f"cmd's message: {said!r}")
    print(f"OBSERVED Wine's cmd: {said[0]}", flush=True)


@scenario()
def no_output_file_fails(t):
    m = Machine(t)
    gone = m.root + "\\gone"
    d = m.with_log("/c zebexit.exe out=x", "0003", temp=gone)
    expect(d.status == 1603, f"status {d.status}\n{d.stdout}")
    # Wine's cmd ends with 0 when it cannot open the redirection's file (Windows: 1).
    d.trace.expect_order(lit("Process 'cmd' ended; exit code 0x00000000"),
                         lit(f"***Can't find '{gone}\\zebt0003.txt'"))
