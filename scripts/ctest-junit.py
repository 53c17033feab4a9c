#!/usr/bin/env python3
"""Reads the JUnit file of one ctest run: ctest-junit.py JUNIT-FILE [CTEST-LOG].

Prints "counts PASSED FAILED SKIPPED" first, then one "skipped: NAME (REASON)"
line per skipped test, then each failed test's name and the end of its
output. The text log, when given, names how each failed test ended (Failed,
Timeout...), which the JUnit file leaves empty. Exits 2 when the file is
missing or not a ctest JUnit file.
"""
import re
import sys
import xml.etree.ElementTree as ET

OUTPUT_LINES = 25  # of each failed test's output


def reason_of(case):
    # ctest writes <skipped message="SKIP_RETURN_CODE=77"/> for a test whose
    # program asked to be skipped; the program says why on its last line.
    skipped = case.find("skipped")
    why = skipped.get("message", "") if skipped is not None else ""
    out = [line.strip() for line in (case.findtext("system-out") or "").splitlines()]
    out = [line for line in out if line]
    said = out[-1] if out else ""
    return "; ".join(part for part in (said, why) if part) or "no reason given"


def log_verdicts(log_path):
    """Test name -> ctest's verdict in its text log (Failed, Timeout, Exception...)."""
    verdicts = {}
    try:
        with open(log_path, errors="replace") as log:
            for line in log:
                m = re.search(r"Test +#\d+: (\S+) \.*\s*\*+(\w[\w ]*?)\s+[\d.]+ sec", line)
                if m:
                    verdicts[m.group(1)] = m.group(2)
    except OSError:
        pass
    return verdicts


def main(path, log_path=None):
    try:
        root = ET.parse(path).getroot()
    except (OSError, ET.ParseError) as error:
        print(f"cannot read {path}: {error}", file=sys.stderr)
        return 2
    suites = [root] if root.tag == "testsuite" else root.findall("testsuite")
    if not suites:
        print(f"{path} holds no testsuite", file=sys.stderr)
        return 2
    passed, failed, skipped = [], [], []
    for suite in suites:
        for case in suite.iter("testcase"):
            status = case.get("status", "")
            if status == "run" and case.find("failure") is None and case.find("error") is None:
                passed.append(case)
            elif status in ("notrun", "disabled", "skipped") or (
                    case.find("skipped") is not None and case.find("failure") is None):
                skipped.append(case)
            else:
                failed.append(case)
    verdicts = log_verdicts(log_path) if log_path else {}
    print(f"counts {len(passed)} {len(failed)} {len(skipped)}")
    for case in skipped:
        print(f"skipped: {case.get('name')} ({reason_of(case)})")
    for case in failed:
        failure = case.find("failure")
        if failure is None:
            failure = case.find("error")
        message = failure.get("message", "") if failure is not None else case.get("status", "")
        print(f"failed: {case.get('name')} ({message or verdicts.get(case.get('name'), 'failed')})")
        lines = [line for line in (case.findtext("system-out") or "").splitlines()
                 if not line.lstrip().startswith(("[ RUN", "[       OK"))]
        for line in lines[-OUTPUT_LINES:]:
            print(f"    {line}")
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
