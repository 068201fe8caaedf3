"""Our DBC decoding and encoding against canmatrix 0.9.5 (Debian's python3-canmatrix), a tool
no one here wrote: thousands of random frames of every message of interop.dbc go through
dbc_probe and through canmatrix's Frame.decode, and must agree.

Usage: canmatrix_interop.py <dbc_probe> <interop.dbc> [frames]

canmatrix matches value-table entries against the physical value rather than the raw one, so
the signals with value tables in interop.dbc have factor 1 and offset 0, where both agree.
"""
import decimal
import json
import logging
import random
import subprocess
import sys

logging.disable(logging.CRITICAL)
import canmatrix  # noqa: E402
import canmatrix.formats  # noqa: E402  (says "ldf is not supported" on stderr)

from decimal import Decimal  # noqa: E402

decimal.getcontext().prec = 50


def close(ours, theirs):
    """Equal within 1e-9 relative, NaN matching NaN."""
    if theirs.is_nan() or ours.is_nan():
        return theirs.is_nan() and ours.is_nan()
    if theirs.is_infinite() or ours.is_infinite():
        return theirs == ours
    return abs(ours - theirs) <= Decimal("1e-9") * max(abs(ours), abs(theirs))


def main():
    probe, dbc = sys.argv[1], sys.argv[2]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 5000
    db = canmatrix.formats.loadp_flat(dbc)
    rng = random.Random(20240917)
    frames = []
    for _ in range(count):
        fr = rng.choice(db.frames)
        frames.append((fr, bytes(rng.getrandbits(8) for _ in range(fr.size))))
    stdin = "".join("%x %d %s\n" % (fr.arbitration_id.id, int(fr.arbitration_id.extended),
                                    data.hex()) for fr, data in frames)
    out = subprocess.run([probe, dbc], input=stdin, capture_output=True, text=True,
                         check=True).stdout.splitlines()
    assert len(out) == len(frames), (len(out), len(frames))

    failures = []
    checked = {"signals": 0, "texts": 0, "encoded": 0, "canmatrix encoded": 0}

    def fail(what):
        failures.append(what)

    for (fr, data), line in zip(frames, out):
        where = "%s %s:" % (fr.name, data.hex())
        ours = json.loads(line)
        if ours.get("message") != fr.name:
            fail("%s message %r" % (where, ours.get("message")))
            continue
        theirs = fr.decode(data)
        if set(ours["signals"]) != set(theirs):
            fail("%s signals %s, canmatrix %s" % (where, sorted(ours["signals"]), sorted(theirs)))
            continue
        nan = False
        raws = {}
        for name, d in theirs.items():
            o = ours["signals"][name]
            checked["signals"] += 1
            if not close(Decimal(o["phys"]), Decimal(d.phys_value)):
                fail("%s %s physical %s, canmatrix %s" % (where, name, o["phys"], d.phys_value))
            if d.signal.is_float:
                raw = float(o["raw"])
                nan = nan or raw != raw
                if not close(Decimal(o["raw"]), Decimal(d.raw_value)):
                    fail("%s %s raw %s, canmatrix %r" % (where, name, o["raw"], d.raw_value))
            else:
                raw = int(o["raw"])
                if raw != d.raw_value:
                    fail("%s %s raw %s, canmatrix %r" % (where, name, o["raw"], d.raw_value))
            raws[name] = raw
            named = d.named_value
            if isinstance(named, str):
                checked["texts"] += 1
                if o.get("text") != named:
                    fail("%s %s text %r, canmatrix %r" % (where, name, o.get("text"), named))
            elif "text" in o:
                fail("%s %s text %r, canmatrix none" % (where, name, o["text"]))

        # Encoding our values back gives the original bits in every decoded signal's field
        # (NaN floats aside: their payload bits cannot come back from the value).
        encoded = bytes.fromhex(ours["encoded"])
        mask = bytes.fromhex(ours["mask"])
        if not nan:
            checked["encoded"] += 1
            if bytes(a & m for a, m in zip(data, mask)) != encoded:
                fail("%s encoded back %s under mask %s" % (where, encoded.hex(), mask.hex()))
            width = sum(d.signal.size for d in theirs.values())
            if sum(bin(m).count("1") for m in mask) != width:
                fail("%s mask %s does not cover the %d bits decoded" % (where, mask.hex(), width))
            # canmatrix, given our raw values, writes the same bytes.
            checked["canmatrix encoded"] += 1
            if bytes(fr.encode(raws)) != encoded:
                fail("%s canmatrix encodes %s, we %s" % (where, bytes(fr.encode(raws)).hex(),
                                                         encoded.hex()))

    print("%d frames; checked %s" % (len(frames), checked))
    for f in failures[:30]:
        print("MISMATCH", f)
    if failures:
        print("%d mismatches" % len(failures))
        return 1
    if checked["texts"] < 100 or checked["encoded"] < len(frames) * 0.9:
        print("too few comparisons to mean anything")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
