#!/usr/bin/env python3
"""The JSON of `TarnwickCtl check --json`, `status --json` and
`windows --json`, parsed by Python's json module, with values that hold
quotes, backslashes, control characters and characters outside ASCII (names
beyond U+FFFF included); `windows` with a fake client in front.
Runs the real TarnwickCtl.exe through the build's wine-run; writes the
machine's hotkey key and registers the service TarnwickSvc, and puts both
back as it found them.

usage: ctl_json_test.py WINE_RUN BIN_DIR
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

WINE_RUN, BIN_DIR = sys.argv[1], sys.argv[2]
CTL = os.path.join(BIN_DIR, "TarnwickCtl.exe")
HOTKEY_KEY = r"HKLM\SYSTEM\CurrentControlSet\services\zqkbfiltr\hotkey"
DRIVER_KEY = r"HKLM\SYSTEM\CurrentControlSet\services\zqkbfiltr"
# Wine turns the command-line arguments into UTF-16 by the locale's charset.
ENV = dict(os.environ, LC_ALL="C.UTF-8")


def run(*args, check=True):
    result = subprocess.run([WINE_RUN, *args], env=ENV, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if check and result.returncode != 0:
        sys.exit(f"{args} failed with {result.returncode}: {result.stdout!r} {result.stderr!r}")
    return result


def ctl(*args, check=True):
    return run(CTL, *args, check=check)


def parse(result):
    text = result.stdout.decode("utf-8")  # strict: a broken byte fails
    assert text.endswith("\n") and text.count("\n") == 1, f"not one line: {text!r}"
    return json.loads(text)


def key_exists(key):
    return run("reg", "query", key, check=False).returncode == 0


def expect(condition, message):
    if not condition:
        sys.exit("FAILED: " + message)


QUOTE_NAME = 'Zitat"\u00e4\u20ac\U0001F600'
TAB_NAME = "Tab\tName"
UNQUOTED_AGENT = r"C:\Program Files\Tarnwick\TarnwickAgent.exe"
QUOTED_RUN = r'"C:\Program Files\x y\prog.exe" --opt "a\"b"'
LINES_RUN = "line1\nline2"
CLIENTS_KEY = r"HKLM\SOFTWARE\Policies\Tarnwick\Clients"
CLIENT_NAME = 'my"rdc\u00e4.exe'


def check_json():
    ctl("set", QUOTE_NAME, "--run", QUOTED_RUN)
    ctl("set", TAB_NAME, "--run", UNQUOTED_AGENT)
    ctl("set", "ctrl+alt+del", "--run", LINES_RUN)
    ctl("set-value", "ctrl+alt+del", "Block", "REG_SZ", "1")
    run("reg", "add", CLIENTS_KEY, "/v", CLIENT_NAME, "/t", "REG_SZ", "/d", "like = mstsc.exe", "/f")

    result = ctl("check", "--json")
    report = parse(result)
    expect(set(report) == {"wouldStart", "exitCode", "hotkeys", "findings"}, f"members: {report}")
    expect(report["wouldStart"] is True and report["exitCode"] == 0, f"verdict: {report}")
    expect(sorted(report["hotkeys"]) == sorted([QUOTE_NAME, TAB_NAME, "ctrl+alt+del"]),
           f"hotkeys: {report['hotkeys']!r}")
    findings = report["findings"]
    for finding in findings:
        expect(set(finding) == {"hotkey", "value", "severity", "text"}, f"finding: {finding}")
        expect(finding["severity"] in ("error", "warning", "info"), f"severity: {finding}")
        expect(finding["hotkey"] in report["hotkeys"] or finding["value"] in ("SoftwareSASGeneration", CLIENT_NAME),
               f"hotkey: {finding}")
    # The client added by policy, named with its quote and umlaut.
    expect(any(f["hotkey"] is None and f["value"] == CLIENT_NAME and f["severity"] == "info"
               and f["text"] == CLIENT_NAME + " is handled like mstsc.exe" for f in findings),
           f"client entry: {findings}")
    # The test prefix has no SoftwareSASGeneration: a warning of no hotkey.
    expect(any(f["hotkey"] is None and f["value"] == "SoftwareSASGeneration" and f["severity"] == "warning"
               and "/v SoftwareSASGeneration /t REG_DWORD /d 1 /f" in f["text"] for f in findings),
           f"machine policy: {findings}")

    def texts(hotkey):
        return [f["text"] for f in findings if f["hotkey"] == hotkey]

    expect(any(r"C:\Program Files\x y\prog.exe does not exist" in t for t in texts(QUOTE_NAME)),
           f"quoted program: {texts(QUOTE_NAME)!r}")
    expect(any('quote the path: "' + UNQUOTED_AGENT + '"' in t for t in texts(TAB_NAME)),
           f"unquoted agent: {texts(TAB_NAME)!r}")
    expect(any('"Files\\Tarnwick\\TarnwickAgent.exe Tab\tName"' in t for t in texts(TAB_NAME)),
           f"the agent's name, tab included: {texts(TAB_NAME)!r}")
    expect(any('"Block" is REG_SZ "1"' in t for t in texts("ctrl+alt+del")), f"Block: {texts('ctrl+alt+del')!r}")
    expect(result.returncode == 0, f"exit code {result.returncode}")

    ctl("set-value", "ctrl+alt+del", "run", "REG_EXPAND_SZ", LINES_RUN)
    result = ctl("check", "--json", check=False)
    report = parse(result)
    expect(report["wouldStart"] is False and report["exitCode"] == 1610, f"refusal: {report}")
    expect(any(f["severity"] == "error" and f["hotkey"] == "ctrl+alt+del" and f["value"] == "run"
               for f in report["findings"]), f"error finding: {report['findings']}")
    expect(result.returncode == 1, f"exit code {result.returncode}")


def status_json():
    report = parse(ctl("status", "--json"))
    expect(set(report) == {"service", "serviceProgram", "consoleUser", "disableLockWorkstation", "logonMarker",
                           "softwareSasGeneration", "files"}, f"members: {report}")
    expect(report["serviceProgram"] is None, f"no service, no program: {report}")
    expect(report["service"] == {"installed": False, "state": None, "exitCode": None, "imagePath": None,
                                 "imagePathQuoted": None}, f"service: {report['service']}")
    expect(isinstance(report["consoleUser"], str) and report["consoleUser"], f"user: {report}")
    expect(report["disableLockWorkstation"] is None or isinstance(report["disableLockWorkstation"], int),
           f"policy: {report}")
    expect(isinstance(report["logonMarker"], bool), f"marker: {report}")
    expect(report["softwareSasGeneration"] is None, f"machine policy, absent in the test prefix: {report}")
    expect(set(report["files"]) == {"TarnwickSvc.exe", "TarnwickAgent.exe", "TarnwickCtl.exe"},
           f"files: {report['files']}")

    # A registered program path holds quotes and backslashes.
    # (Wine shows a Linux path /a/b as Z:\a\b.)
    image = '"Z:' + os.path.abspath(os.path.join(BIN_DIR, "TarnwickSvc.exe")).replace("/", "\\") + '"'
    run("sc", "create", "TarnwickSvc", "binPath=", image, "start=", "demand")
    try:
        report = parse(ctl("status", "--json"))
        service = report["service"]
        # Never started since the system started: 1077.
        expect(service == {"installed": True, "state": "stopped", "exitCode": 1077, "imagePath": image,
                           "imagePathQuoted": True}, f"service: {service} for {image!r}")
        # Wine keeps no access lists: it reports every file as owned by its
        # user, who may do anything with it.
        program = report["serviceProgram"]
        expect(set(program) == {"path", "protected", "changeableBy", "unreadable"}, f"program: {program}")
        expect(program["path"] == image.strip('"') and program["protected"] is False, f"program: {program}")
        expect(all(set(w) == {"path", "sid", "name", "rights"} and w["sid"].startswith("S-1-")
                   and isinstance(w["rights"], str) and w["rights"] for w in program["changeableBy"]),
               f"writers: {program['changeableBy']}")
        expect(any(w["path"] == program["path"] and w["rights"].startswith("owns it") for w in program["changeableBy"]),
               f"the program's owner: {program['changeableBy']}")
    finally:
        run("sc", "delete", "TarnwickSvc", check=False)


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def windows_json():
    folder = tempfile.mkdtemp(prefix="tarnwick windows ")
    client = os.path.join(folder, "msrdc.exe")
    ready = os.path.join(folder, "ready.txt")
    log = os.path.join(folder, "keys.txt")
    shutil.copy(os.path.join(BIN_DIR, "fake_client.exe"), client)
    frame_text = 'Remote "Desktop" \\ \u00e4'
    process = subprocess.Popen([WINE_RUN, client, "--window", "0:TscShellContainerClass:" + frame_text,
                                "--window", "1:UIContainerClass:", "--window", "2:IHWindowClass:Input Capture Window",
                                "--focus", "2", "--ready", wine_path(ready), "--log", wine_path(log), "--lifetime", "60"],
                               env=ENV, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        for _ in range(300):
            if os.path.exists(ready) and "ready" in open(ready, encoding="utf-8", errors="replace").read():
                break
            time.sleep(0.1)
        else:
            sys.exit("FAILED: the fake client did not come up")
        report = parse(ctl("windows", "--wait", "0", "--json"))
        expect(report["foreground"] is True and report["program"] == "msrdc.exe", f"front: {report}")
        windows = [(w["index"], w["depth"], w["class"], w["text"]) for w in report["windows"]]
        expect(windows == [(0, 0, "TscShellContainerClass", frame_text), (1, 1, "UIContainerClass", ""),
                           (2, 2, "IHWindowClass", "Input Capture Window")], f"windows: {windows}")
        picks = {p["like"]: (p["keyWindow"], p["commandWindow"]) for p in report["builtInClients"]}
        expect(picks == {"wfica32.exe": (None, None), "CDViewer.exe": (None, None), "vmware-view.exe": (2, 0),
                         "wswc.exe": (2, None), "mstsc.exe": (2, 2), "qorvane.exe": (None, None)},
               f"what the built-in clients' rules take: {picks}")
    finally:
        process.terminate()
        process.wait(timeout=30)
        shutil.rmtree(folder, ignore_errors=True)


def main():
    listed = ctl("list").stdout.decode("utf-8")
    expect(listed.startswith("no hotkeys"), "hotkeys are configured already: " + listed)
    expect(not key_exists(r"HKLM\SYSTEM\CurrentControlSet\Services\TarnwickSvc"), "TarnwickSvc is installed already")
    expect(not key_exists(CLIENTS_KEY), "clients are added by policy already")
    had_driver_key = key_exists(DRIVER_KEY)
    had_hotkey_key = key_exists(HOTKEY_KEY)
    try:
        check_json()
        status_json()
        windows_json()
    finally:
        for name in (QUOTE_NAME, TAB_NAME, "ctrl+alt+del"):
            ctl("remove", name, check=False)
        run("reg", "delete", CLIENTS_KEY, "/f", check=False)
        if not had_hotkey_key:
            run("reg", "delete", HOTKEY_KEY, "/f", check=False)
        if not had_driver_key:
            run("reg", "delete", DRIVER_KEY, "/f", check=False)
    print("check --json, status --json and windows --json parse and hold what was configured and shown")


if __name__ == "__main__":
    main()
