# velqor-cli slcan --sim as a technician runs it: the pseudo-terminal's path as the first line
# of standard output, the --link symbolic link, answers and timestamped frames on the
# terminal, SIGTERM, what went each way on standard error, the link removed. Then the
# arguments it refuses.
# Usage: check_slcan_cli.py <velqor-cli>
import os
import re
import select
import signal
import subprocess
import sys
import tempfile
import time

cli = sys.argv[1]
FRAME = re.compile(rb"\r([tT])([0-9A-F]+)\r")


def read_until(fd, pattern):
    got = b""
    deadline = time.time() + 10
    while time.time() < deadline and not pattern.search(got):
        if select.select([fd], [], [], 0.5)[0]:
            got += os.read(fd, 4096)
    return got


with tempfile.TemporaryDirectory() as folder:
    link = os.path.join(folder, "slcan")
    p = subprocess.Popen([cli, "slcan", "--sim", "--link", link, "--timestamps"],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    path = p.stdout.readline().decode().strip()
    assert path.startswith("/dev/pts/"), f"first line {path!r}"
    assert os.path.realpath(link) == path, (link, path)

    fd = os.open(link, os.O_RDWR | os.O_NOCTTY)
    os.write(fd, b"V\rO\r")
    got = read_until(fd, FRAME)
    assert got.startswith(b"V0107\r\r"), got[:40]
    kind, digits = FRAME.search(got).groups()
    # identifier, DLC, the data pairs it announces, and 4 timestamp digits
    id_digits = 3 if kind == b"t" else 8
    dlc = int(digits[id_digits:id_digits + 1])
    assert len(digits) == id_digits + 1 + 2 * dlc + 4, digits
    assert int(digits[-4:], 16) < 60000, digits
    os.write(fd, b"C\r")
    os.close(fd)

    p.send_signal(signal.SIGTERM)
    _, err = p.communicate(timeout=20)
    err = err.decode()
    assert p.returncode == 0, (p.returncode, err)
    assert re.search(r"\d+ frames to the host, 0 dropped because the host did not read; "
                     r"0 frames sent, 0 sends failed; 0 commands refused", err), err
    assert not os.path.lexists(link), "the link was left behind"

    # A file in the link's place is never replaced.
    with open(link, "w") as f:
        f.write("mine")
    for args, says in [(["--link", link], "is not a symbolic link"),
                       (["--link"], "--link needs a path"),
                       (["--baud", "9600"], "unknown argument '--baud'")]:
        r = subprocess.run([cli, "slcan", "--sim"] + args, capture_output=True, timeout=20)
        assert r.returncode == 2 and says in r.stderr.decode(), (args, r.returncode, r.stderr)
        assert r.stdout == b"", r.stdout
    assert open(link).read() == "mine"
print("ok")
