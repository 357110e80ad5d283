#!/usr/bin/env python3
"""qorvantis-cli end to end against bench-sim: every subcommand, over a
serial device server (bench-sim --tcp) and a pseudo-terminal, with --json
read back, the trace, and the exit status of each kind of failure; and
`results` over a journal written by the program's own journal (MAKE_JOURNAL).
Usage: cli_test.py QORVANTIS_CLI BENCH_SIM MAKE_JOURNAL"""
import csv
import datetime
import io
import json
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

CLI, SIM, MAKE_JOURNAL = sys.argv[1], sys.argv[2], sys.argv[3]


class Bench:
    """bench-sim with meter 1 healthy, 2 silent, 3 answering with a bad
    checksum and 4 a TG meter, all on one line."""

    def __init__(self, *extra):
        self.proc = subprocess.Popen(
            [SIM, "--meters", "4", "--no-pacing", "--fault", "silent:2",
             "--fault", "bad-checksum:3", "--protocol", "M-BusV2.02,M-BusV2.02,M-BusV2.02,TG",
             *extra], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, text=True)
        self.lines = []
        while not self.lines or not self.lines[-1].startswith("ready"):
            line = self.proc.stdout.readline()
            if not line:
                raise RuntimeError("bench-sim ended: " + "".join(self.lines))
            self.lines.append(line)
        self.device = re.search(r"port 1: (\S+)", "".join(self.lines)).group(1)

    def meter_read_litres(self):
        """What bench-sim says meter 1's next bench read reported (the reads
        of other meters are passed over)."""
        while True:
            line = self.proc.stdout.readline()
            found = re.search(r"meter 1 \(.*the meter reads ([\d.]+) L", line)
            if found:
                return float(found.group(1))

    def close(self):
        self.proc.terminate()
        self.proc.wait()
        self.proc.stdout.close()


def cli(device, *args):
    r = subprocess.run([CLI, "--device", device, "--wait", "500", *args],
                       capture_output=True, text=True, timeout=60)
    return r.returncode, r.stdout, r.stderr


class CliAgainstBench(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.bench = Bench("--tcp", "0")
        cls.dev = cls.bench.device

    @classmethod
    def tearDownClass(cls):
        cls.bench.close()

    def json(self, *args):
        code, out, err = cli(self.dev, "--json", *args)
        self.assertEqual(code, 0, err)
        return json.loads(out)

    def test_help_lists_every_subcommand(self):
        out = subprocess.run([CLI, "--help"], capture_output=True, text=True).stdout
        for name in ["read-address", "bench-read", "metering", "set-clock", "send", "results",
                     "scale"]:
            self.assertRegex(out, r"\n  " + name + r"\b")

    def test_read_address_over_tcp_and_pseudo_terminal(self):
        self.assertTrue(self.dev.startswith("tcp:127.0.0.1:"))
        self.assertEqual(self.json("read-address"), {"address": "00002024000001"})
        pty = Bench()
        try:
            code, out, _ = cli(pty.device, "read-address")
            self.assertEqual((code, out), (0, "address: 00002024000001\n"))
        finally:
            pty.close()

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
        code, text, _ = cli(self.dev, "metering", "2024000001", "--protocol", "M-BusV2.02")
        shown = dict(line.split(": ", 1) for line in text.splitlines())
        self.assertEqual(shown["current_heat_kwh"], str(data["current_heat_kwh"]))
        self.assertEqual(shown["supply_c"], "%.2f" % data["supply_c"])
        self.assertEqual(self.json("set-clock", "broadcast")["address"], "broadcast")

    def test_tg_meter_by_its_eight_digits(self):
        data = self.json("metering", "24000004", "--protocol", "TG")
        self.assertEqual((data["address"], data["version"]), ("11110024000004", "TG"))

    def test_trace_shows_the_frames(self):
        code, out, err = cli(self.dev, "--trace", "--json", "send", "ReadPipe", "2024000001")
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
            code, out, err = cli(self.dev, "--json", "--attempts", "1", *args)
            self.assertEqual(code, status, args)
            self.assertEqual(json.loads(out)["exit"], status, args)
            self.assertTrue(err.startswith("qorvantis-cli: "), err)
        self.assertEqual(cli("tcp:127.0.0.1:1", "read-address")[0], 5)
        self.assertEqual(cli("/dev/nonexistent-tty", "read-address")[0], 5)


class Results(unittest.TestCase):
    """results over a journal beside a copy of the tool (found there with no
    --data-dir): each filter in lines, --json and --csv; the failures."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.cli = shutil.copy(CLI, cls.tmp.name)
        subprocess.run([MAKE_JOURNAL, cls.tmp.name + "/results.sqlite",
                        "2024-03-01 08:00:00;2024000001;1;1.25;pass",
                        "2024-03-02 09:30:00;2024000002;2;-3.50;fail",
                        "2024-03-03 23:59:59;2024000001;1;0.4;pass",
                        "2024-03-04 00:00:00;2024111113;3;;"], check=True)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def results(self, *args):
        r = subprocess.run([self.cli, *args, "results"], capture_output=True, text=True)
        return r.returncode, r.stdout, r.stderr

    def test_filters_in_lines_json_and_csv(self):
        t = ["2024-03-04 00:00:00", "2024-03-03 23:59:59", "2024-03-02 09:30:00",
             "2024-03-01 08:00:00"]
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

    def test_no_journal_and_bad_arguments(self):
        with tempfile.TemporaryDirectory() as empty:
            code, out, err = self.results("--json", "--data-dir", empty)
            self.assertEqual((code, json.loads(out)["exit"]), (6, 6))
            self.assertIn(empty + "/results.sqlite", err)
        for args in (["--since", "2024-02-30"], ["--until", "3.4.2024"], ["--csv", "--json"]):
            self.assertEqual(self.results(*args)[0], 2, args)
        wrong = subprocess.run([CLI, "--address", "1", "bench-read", "1"], capture_output=True)
        self.assertEqual(wrong.returncode, 2)

class Scale(unittest.TestCase):
    """scale against bench-sim's scale in each protocol, over TCP and a
    pseudo-terminal: the settled mass bench-sim prints, an overload and
    silence injected through its standard input."""

    def start(self, protocol, *extra):
        proc = subprocess.Popen([SIM, "--meters", "1", "--no-pacing", "--scale", protocol, *extra],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.addCleanup(lambda: (proc.terminate(), proc.wait(), proc.stdin.close(),
                                 proc.stdout.close()))
        text = ""
        while not text.endswith("stop with Ctrl+C\n"):
            text += proc.stdout.readline()
        device = re.search(r"scale: (\S+), " + protocol, text).group(1)
        return proc, device, float(re.search(r"scale: net mass ([\d.]+) kg", text).group(1))

    def scale(self, device, protocol, *args):
        r = subprocess.run([CLI, "--device", device, *args, "scale", "--scale-protocol", protocol],
                           capture_output=True, text=True, timeout=30)
        return r.returncode, r.stdout, r.stderr

    def fault(self, proc, kind):
        proc.stdin.write("scale " + kind + "\n")
        proc.stdin.flush()
        self.assertEqual(proc.stdout.readline(), "scale fault: " + kind + "\n")

    def test_each_protocol_reads_the_settled_mass(self):
        for protocol, extra in [("mt-sics", ["--tcp", "0"]), ("sbi", ["--tcp", "0"]),
                                ("ascii", ["--tcp", "0"]), ("sbi", [])]:
            with self.subTest(protocol=protocol, extra=extra):
                proc, device, kg = self.start(protocol, *extra)
                code, out, err = self.scale(device, protocol, "--json")
                self.assertEqual(code, 0, err)
                reading = json.loads(out)
                self.assertEqual((reading["state"], reading["stable"], reading["unit"]),
                                 ("stable", True, "kg"))
                self.assertAlmostEqual(reading["mass_kg"], kg, places=9)
                code, out, _ = self.scale(device, protocol)
                self.assertIn("mass_kg: %.3f\n" % kg, out)
                self.fault(proc, "overload")
                reading = json.loads(self.scale(device, protocol, "--json")[1])
                self.assertEqual((reading["state"], reading["stable"], reading["mass_kg"]),
                                 ("overload", False, None))
                self.fault(proc, "silent")
                code, out, err = self.scale(device, protocol, "--json")
                self.assertEqual((code, json.loads(out)["exit"]), (3, 3), err)

    def test_bad_arguments_and_a_missing_line(self):
        _, device, _ = self.start("mt-sics", "--tcp", "0")
        self.assertEqual(self.scale(device, "mt-sics", "--baud", "1234")[0], 2)
        self.assertEqual(cli(device, "scale")[0], 2)
        self.assertEqual(cli(device, "--baud", "9600", "read-address")[0], 2)
        self.assertEqual(self.scale("/dev/nonexistent-tty", "sbi")[0], 5)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
