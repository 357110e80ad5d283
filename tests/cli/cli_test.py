#!/usr/bin/env python3
"""qorvantis-cli end to end against bench-sim (over bench-sim --tcp and a
pseudo-terminal), a journal written by the program's own (MAKE_JOURNAL) and a
throwaway PostgreSQL server: --json read back, the trace, the exit status of
each failure. With --wine, the Windows build runs under wine (its COM port
mapped onto the pseudo-terminal), its --json compared with the Linux build's.
Usage: cli_test.py QORVANTIS_CLI BENCH_SIM MAKE_JOURNAL [--wine QORVANTIS_CLI_EXE]"""
import csv
import datetime
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

CLI, SIM, MAKE_JOURNAL = sys.argv[1], sys.argv[2], sys.argv[3]
WINDOWS_CLI = sys.argv[5] if len(sys.argv) > 5 and sys.argv[4] == "--wine" else None
SUPPORT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support")
sys.path.insert(0, SUPPORT)
from wine import Wine  # noqa: E402

# Warmed up by a connection, which starts wine's network driver.
WINE = Wine(WINDOWS_CLI, "--device", "tcp:127.0.0.1:1", "read-address") if WINDOWS_CLI else None
# The program under test, and the line settings it opens a pseudo-terminal
# with: wine sets a COM port's parity, which pseudo-terminals refuse.
PROGRAM = WINE.command(WINDOWS_CLI) if WINE else [CLI]
PTY_LINE = ["--line", "8N1"] if WINE else []
PG_CLUSTER = os.path.join(SUPPORT, "pg_cluster")
READINGS = ["2024-03-01 08:00:00;2024000001;1;1.25;pass",
            "2024-03-02 09:30:00;2024000002;2;-3.50;fail",
            "2024-03-03 23:59:59;2024000001;1;0.4;pass",
            "2024-03-04 00:00:00;2024111113;3;;"]
# Meter 1 healthy, 2 silent, 3 answering with a bad checksum and 4 a TG
# meter, all on one line.
METERS = ["--meters", "4", "--fault", "silent:2", "--fault", "bad-checksum:3",
          "--protocol", "M-BusV2.02,M-BusV2.02,M-BusV2.02,TG"]


def run(*argv, timeout=60):
    """Runs a program: its exit status, output and error output."""
    r = subprocess.run(argv, capture_output=True, text=True, timeout=timeout)
    return r.returncode, r.stdout, r.stderr


def cli(device, *args, program=None):
    return run(*(program or PROGRAM), "--device", device, "--wait", "500", *args)


class Sim:
    """bench-sim with `args`, once it is ready; `device` is its first line."""

    def __init__(self, *args):
        self.proc = subprocess.Popen([SIM, "--no-pacing", *args], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, text=True)
        self.text = ""
        while not self.text.endswith("stop with Ctrl+C\n"):
            line = self.proc.stdout.readline()
            if not line:
                raise RuntimeError("bench-sim ended: " + self.text)
            self.text += line
        self.device = self.said(r"port 1: (\S+)")

    def said(self, pattern):
        """The first group of `pattern` in what bench-sim printed when it started."""
        return re.search(pattern, self.text).group(1)

    def meter_read_litres(self):
        """What bench-sim says meter 1's next bench read reported (the reads
        of other meters are passed over)."""
        while True:
            line = self.proc.stdout.readline()
            found = re.search(r"meter 1 \(.*the meter reads ([\d.]+) L", line)
            if found:
                return float(found.group(1))

    def command(self, text):
        """Types an operator's command into bench-sim; the line it answers."""
        self.proc.stdin.write(text + "\n")
        self.proc.stdin.flush()
        return self.proc.stdout.readline()

    def close(self):
        self.proc.terminate()
        self.proc.wait()
        self.proc.stdin.close()
        self.proc.stdout.close()


class Case(unittest.TestCase):
    def assertOk(self, result):
        """`result` of run() succeeded: its --json read."""
        code, out, err = result
        self.assertEqual(code, 0, err)
        return json.loads(out)

    def assertExit(self, result, status, msg=None):
        """`result` of run() ended with `status`, and its --json says so."""
        code, out, err = result
        self.assertEqual((code, json.loads(out)["exit"]), (status, status), (msg, err))


class CliAgainstBench(Case):
    @classmethod
    def setUpClass(cls):
        cls.bench = Sim(*METERS, "--tcp", "0")
        cls.addClassCleanup(cls.bench.close)
        cls.dev = cls.bench.device

    def json(self, *args):
        return self.assertOk(cli(self.dev, "--json", *args))

    def test_help_lists_every_subcommand(self):
        out = run(*PROGRAM, "--help")[1]
        self.assertIn("--line DPS", out)
        for name in ["read-address", "bench-read", "metering", "set-clock", "send", "results",
                     "upload", "certificate", "scale"]:
            self.assertRegex(out, r"\n  " + name + r"\b")

    def test_read_address_over_tcp_and_pseudo_terminal(self):
        self.assertTrue(self.dev.startswith("tcp:127.0.0.1:"))
        self.assertEqual(self.json("read-address"), {"address": "00002024000001"})
        pty = Sim(*METERS)
        self.addCleanup(pty.close)
        # Under wine, the COM port mapped onto the pseudo-terminal.
        device = WINE.com_port(pty.device) if WINE else pty.device
        code, out, err = cli(device, *PTY_LINE, "read-address")
        self.assertEqual((code, out), (0, "address: 00002024000001\n"), err)
        read = self.assertOk(cli(device, *PTY_LINE, "--json", "bench-read", "2024000001"))
        self.assertAlmostEqual(read["volume_l"], pty.meter_read_litres(), places=2)

    def test_bench_read_and_a_coefficient_written_by_name(self):
        before = self.json("bench-read", "2024000001")
        self.assertAlmostEqual(before["volume_l"], self.bench.meter_read_litres(), places=2)
        self.assertEqual(len(before["coefficients"]), 4)
        sent = self.json("send", "writecoefficient", "2024000001", "variant=2", "number=9876")
        self.assertEqual(sent["data"], "76 98 00 00 00")
        after = self.json("bench-read", "2024000001")
        self.bench.meter_read_litres()
        self.assertEqual(after["coefficients"][1], 9876)
        self.assertEqual(after["inlet_c"], before["inlet_c"])

    def test_clock_set_then_read_back_in_text_and_json(self):
        sent = self.json("set-clock", "2024000001", "--protocol", "M-BusV2.02")
        data = self.json("metering", "2024000001", "--protocol", "M-BusV2.02")
        stamp = "%Y-%m-%d %H:%M:%S"
        lag = (datetime.datetime.strptime(data["meter_clock"], stamp) -
               datetime.datetime.strptime(sent["clock_sent"], stamp))
        self.assertLessEqual(abs(lag.total_seconds()), 3)
        text = cli(self.dev, "metering", "2024000001", "--protocol", "M-BusV2.02")[1]
        shown = dict(line.split(": ", 1) for line in text.splitlines())
        self.assertEqual(shown["current_heat_kwh"], str(data["current_heat_kwh"]))
        self.assertEqual(shown["supply_c"], "%.2f" % data["supply_c"])
        self.assertEqual(self.json("set-clock", "broadcast")["address"], "broadcast")

    def test_tg_meter_by_its_eight_digits(self):
        data = self.json("metering", "24000004", "--protocol", "TG")
        self.assertEqual((data["address"], data["version"]), ("11110024000004", "TG"))

    def test_trace_shows_the_frames(self):
        _, out, err = cli(self.dev, "--trace", "--json", "send", "ReadPipe", "2024000001")
        sent = json.loads(out)
        self.assertIn("发送数据： " + sent["sent"], err)
        self.assertIn("收到数据： " + sent["reply"], err)

    def test_exit_status_of_each_failure(self):
        cases = [(["bench-read", "2024000002"], 3), (["bench-read", "2024000003"], 4),
                 (["bench-read", "20240000ZZ"], 2), (["frobnicate"], 2),
                 (["send", "WriteCoefficient", "2024000001", "variant=9"], 2),
                 (["send", "WriteCoefficient", "2024000001", "variant=4294967298"], 2),
                 (["send", "SetCaliber", "2024000001", "number=4294967296"], 2),
                 (["metering", "1", "--protocol", "V9"], 2), (["bench-read"], 2)]
        for args, status in cases:
            result = cli(self.dev, "--json", "--attempts", "1", *args)
            self.assertExit(result, status, args)
            self.assertTrue(result[2].startswith("qorvantis-cli: "), result[2])
        self.assertEqual(cli("tcp:127.0.0.1:1", "read-address")[0], 5)
        self.assertEqual(cli("/dev/nonexistent-tty", "read-address")[0], 5)
        for args in (["--line", "8X1"], ["--baud", "2401"]):
            self.assertEqual(cli(self.dev, *args, "read-address")[0], 2, args)

    @unittest.skipUnless(WINE, "compares the Windows build with this one")
    def test_json_matches_the_linux_build(self):
        """The same request and its failures give the same JSON from both
        builds (the clocks set and read aside)."""
        for args in (["read-address"], ["bench-read", "2024000001"],
                     ["metering", "24000004", "--protocol", "TG"],
                     ["send", "ReadPipe", "2024000001"], ["bench-read", "2024000002"],
                     ["bench-read", "2024000003"], ["bench-read", "20240000ZZ"], ["frobnicate"]):
            got = [cli(self.dev, "--json", "--attempts", "1", *args, program=p)
                   for p in (PROGRAM, [CLI])]
            windows, native = [(code, json.loads(out)) for code, out, _ in got]
            for _, data in (windows, native):
                data.pop("meter_clock", None)
            self.assertEqual(windows, native, args)


class Results(Case):
    """results over a journal beside a copy of the tool (found there with no
    --data-dir): each filter in lines, --json and --csv; the failures."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.addClassCleanup(cls.tmp.cleanup)
        copy = shutil.copy(WINDOWS_CLI or CLI, cls.tmp.name)
        cls.cli = WINE.command(copy) if WINE else [copy]
        subprocess.run([MAKE_JOURNAL, cls.tmp.name + "/results.sqlite", *READINGS], check=True)

    def results(self, *args):
        return run(*self.cli, *args, "results")

    @unittest.skipUnless(WINE, "the Windows build has no SQLite")
    def test_windows_build_says_it_cannot_read_the_journal(self):
        result = self.results("--json")
        self.assertExit(result, 6)
        self.assertIn("not available in this build", result[2])
        code, _, err = run(*self.cli, "certificate", "2024000001")
        self.assertEqual(code, 6)
        self.assertIn("not available in this build", err)

    @unittest.skipIf(WINE, "the Windows build has no SQLite")
    def test_filters_in_lines_json_and_csv(self):
        t = [reading.split(";")[0] for reading in reversed(READINGS)]  # newest first
        for filters, times in [([], t), (["--address", "0000"], t[1:]),
                               (["--address", "2024000001"], [t[1], t[3]]),
                               (["--since", "2024-03-02", "--until", "2024-03-03"], t[1:3]),
                               (["--since", "2024-03-04"], t[:1]),
                               (["--until", "2024-03-01"], t[3:]), (["--address", "9"], [])]:
            readings = json.loads(self.results("--json", *filters)[1])
            rows = list(csv.DictReader(io.StringIO(self.results("--csv", *filters)[1])))
            lines = self.results(*filters)[1].splitlines()[1:]
            self.assertEqual([r["time"] for r in readings], times, filters)
            self.assertEqual([" ".join(line.split()[:2]) for line in lines], times)
            self.assertEqual([(r["address"], r["volume_error"]) for r in rows],
                             [(r["address"], "" if r["volume_error"] is None else
                               "%.2f" % r["volume_error"]) for r in readings])

    @unittest.skipIf(WINE, "the Windows build has no SQLite")
    def test_csv_never_starts_a_formula_from_data(self):
        with tempfile.TemporaryDirectory() as d:
            subprocess.run([MAKE_JOURNAL, d + "/results.sqlite", "2024-03-01 08:00:00;=1+2;1;-3.5;@x",
                            "2024-03-01 08:00:01;-2+3;1;;\tpass"], check=True)
            rows = list(csv.DictReader(io.StringIO(self.results("--csv", "--data-dir", d)[1])))
        self.assertEqual([(r["address"], r["volume_error"], r["verdict"]) for r in rows],
                         [("'-2+3", "", "'\tpass"), ("'=1+2", "-3.50", "'@x")])

    def test_no_journal_and_bad_arguments(self):
        with tempfile.TemporaryDirectory() as empty:
            result = self.results("--json", "--data-dir", empty)
            self.assertExit(result, 6)
            self.assertIn(empty + "/results.sqlite", result[2])
        for args in (["--since", "2024-02-30"], ["--until", "3.4.2024"], ["--csv", "--json"]):
            self.assertEqual(self.results(*args)[0], 2, args)
        self.assertEqual(run(*PROGRAM, "--address", "1", "bench-read", "1")[0], 2)

    @unittest.skipIf(WINE, "the Windows build has no verification records")
    def test_certificate(self):
        """One PDF per meter in certificates/ beside the journal, in the language
        of sysinfo.ini there; -o writes the same file; a meter without readings
        gets its message and no file."""
        with open(self.tmp.name + "/sysinfo.ini", "w") as f:
            f.write("[BaseParam]\nLanguage=1\n")
        code, out, err = run(*self.cli, "--json", "certificate", "2024000001", "2024999999")
        made = json.loads(out)
        self.assertEqual((code, made["exit"], made["2024999999"]), (9, 9, None))
        self.assertIn("no readings of meter 2024999999", err)
        folder, name = os.path.split(made["2024000001"])
        self.assertEqual(folder, self.tmp.name + "/certificates")
        self.assertRegex(name, r"^2024000001-\d{8}-\d{6}\.pdf$")
        self.assertEqual(os.listdir(folder), [name])
        text = run("pdftotext", "-layout", made["2024000001"], "-")[1]
        self.assertIn("Verification Record", text)
        # Point 1's newest reading of two, as make-journal wrote it.
        self.assertRegex(text, r"\n\s*1\s+250\s.*\s10\.50\s+0\.40\s.*Pass\s+"
                               r"2024-03-03 23:59:59\s+2\n")
        same = os.path.join(self.tmp.name, "same.pdf")
        self.assertEqual(run(*self.cli, "certificate", "2024000001", "-o", same)[0], 0)
        with open(same, "rb") as a, open(made["2024000001"], "rb") as b:
            self.assertEqual(a.read(), b.read())
        self.assertEqual(run(*self.cli, "certificate", "2024000001", "-o", same, "--language",
                             "zh")[0], 0)
        self.assertIn("检定记录", run("pdftotext", same, "-")[1])
        for args in (["certificate"], ["certificate", "1", "2", "-o", same],
                     ["certificate", "1", "--language", "fr"],
                     ["--server", "host=db", "certificate", "1"], ["-o", same, "results"]):
            self.assertEqual(run(*self.cli, *args)[0], 2, args)
        with tempfile.TemporaryDirectory() as empty:
            code = run(*self.cli, "--data-dir", empty, "certificate", "1")[0]
            self.assertEqual((code, os.listdir(empty)), (6, []))


@unittest.skipIf(WINE, "the Windows build has no PostgreSQL client")
class Factory(Case):
    """upload and results --server against a PostgreSQL server of its own,
    the server and bench name from sysinfo.ini or the options."""

    @classmethod
    def setUpClass(cls):
        cls.pg = subprocess.run([PG_CLUSTER, "init"], capture_output=True, text=True,
                                check=True).stdout.strip()
        cls.addClassCleanup(subprocess.run, [PG_CLUSTER, "destroy", cls.pg])
        subprocess.run([PG_CLUSTER, "start", cls.pg], check=True)
        cls.server = "host=%s user=postgres dbname=postgres" % cls.pg

    def journal(self, bench, server):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        subprocess.run([MAKE_JOURNAL, folder.name + "/results.sqlite", *READINGS], check=True)
        with open(folder.name + "/sysinfo.ini", "w") as ini:
            ini.write("[Bench]\nName=%s\n[Factory]\nServer=%s\n" % (bench, server))
        return folder.name

    def test_upload_then_the_same_listing_from_the_server(self):
        folder = self.journal("Bench 7", self.server)
        self.assertEqual(self.assertOk(run(CLI, "--data-dir", folder, "--json", "upload")),
                         {"sent": 4, "uploaded": 4, "waiting": 0})
        self.assertEqual(run(CLI, "--data-dir", folder, "upload")[1],
                         "sent: 0\nuploaded: 4\nwaiting: 0\n")
        for filters in ([], ["--address", "0000"], ["--since", "2024-03-02", "--until", "2024-03-03"]):
            here = {f: run(CLI, "--data-dir", folder, f, "results", *filters)[1]
                    for f in ("--json", "--csv")}
            there = {f: run(CLI, "--server", self.server, "--bench", "Bench 7", f, "results",
                            *filters)[1] for f in ("--json", "--csv")}
            readings = json.loads(there["--json"])
            self.assertEqual({r.pop("bench") for r in readings}, {"Bench 7"} if readings else set())
            self.assertEqual(readings, json.loads(here["--json"]), filters)
            self.assertEqual([line.split(",", 1)[1] for line in there["--csv"].splitlines()],
                             here["--csv"].splitlines())
        lines = run(CLI, "--server", self.server, "results")[1].splitlines()
        self.assertEqual(lines[1].split()[:3], ["Bench", "7", "2024-03-04"])

    def test_exit_status_of_each_failure(self):
        run(CLI, "--data-dir", self.journal("Twin", self.server), "upload")
        twin = self.journal("Twin", self.server)
        with tempfile.TemporaryDirectory() as empty:
            cases = [(["--data-dir", twin], 7),
                     (["--data-dir", twin, "--server", "host=%s/none" % self.pg], 5),
                     (["--data-dir", empty, "--server", self.server, "--bench", "B"], 6),
                     (["--data-dir", empty], 2), (["--data-dir", twin, "--address", "1"], 2)]
            for args, status in cases:
                self.assertExit(run(CLI, "--json", *args, "upload"), status, args)
        out = run(CLI, "--json", "--data-dir", twin, "--server", "host=/none", "upload")[1]
        self.assertEqual(json.loads(out)["waiting"], 4)
        self.assertEqual(run(CLI, "--server", "host=%s/none" % self.pg, "results")[0], 5)


@unittest.skipUnless(WINE, "the Windows build has no PostgreSQL client")
class FactoryOnWindows(Case):
    def test_says_the_factory_server_is_not_in_this_build(self):
        for args in (["--server", "host=db", "--bench", "B", "upload"],
                     ["--server", "host=db", "results"]):
            result = run(*PROGRAM, "--json", *args)
            self.assertExit(result, 8, args)
            self.assertIn("not available in this build", result[2])


@unittest.skipIf(WINE, "the scale is read by the Linux build only here")
class Scale(Case):
    """scale against bench-sim's scale in each protocol, over TCP and a
    pseudo-terminal: the settled mass bench-sim prints, an overload and
    silence injected through its standard input."""

    def start(self, protocol, *extra):
        """bench-sim with a scale, the scale's device and its settled mass."""
        sim = Sim("--meters", "1", "--scale", protocol, *extra)
        self.addCleanup(sim.close)
        return (sim, sim.said(r"scale: (\S+), " + protocol),
                float(sim.said(r"scale: net mass ([\d.]+) kg")))

    def scale(self, device, protocol, *args):
        return run(CLI, "--device", device, *args, "scale", "--scale-protocol", protocol,
                   timeout=30)

    def test_each_protocol_reads_the_settled_mass(self):
        for protocol, extra in [("mt-sics", ["--tcp", "0"]), ("sbi", ["--tcp", "0"]),
                                ("ascii", ["--tcp", "0"]), ("sbi", [])]:
            with self.subTest(protocol=protocol, extra=extra):
                sim, device, kg = self.start(protocol, *extra)
                reading = self.assertOk(self.scale(device, protocol, "--json"))
                self.assertEqual((reading["state"], reading["stable"], reading["unit"]),
                                 ("stable", True, "kg"))
                self.assertAlmostEqual(reading["mass_kg"], kg, places=9)
                self.assertIn("mass_kg: %.3f\n" % kg, self.scale(device, protocol)[1])
                self.assertEqual(sim.command("scale overload"), "scale fault: overload\n")
                reading = json.loads(self.scale(device, protocol, "--json")[1])
                self.assertEqual((reading["state"], reading["stable"], reading["mass_kg"]),
                                 ("overload", False, None))
                self.assertEqual(sim.command("scale silent"), "scale fault: silent\n")
                self.assertExit(self.scale(device, protocol, "--json"), 3)

    def test_bad_arguments_and_a_missing_line(self):
        _, device, _ = self.start("mt-sics", "--tcp", "0")
        self.assertEqual(self.scale(device, "mt-sics", "--baud", "1234")[0], 2)
        self.assertEqual(cli(device, "scale")[0], 2)
        self.assertEqual(self.scale("/dev/nonexistent-tty", "sbi")[0], 5)


if __name__ == "__main__":
    try:
        unittest.main(argv=sys.argv[:1], verbosity=2)
    finally:
        if WINE:
            WINE.close()
