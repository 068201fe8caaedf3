# The other side of the interop tests: python-can 4.1's own readers and writers.
#   interop.py read FORMAT FILE           prints each message as one line (see Line)
#   interop.py write FORMAT FILE FRAMES   writes the frames of FRAMES (lines of Line's fields)
# FORMAT: candump, asc, blf, csv. Times are read in the process's time zone, as our readers do.
import sys

import can


def line(m):
    data = bytes(m.data or b"").hex()
    return "%d %x %d %d %d %d %d %s" % (round(m.timestamp * 1e6), m.arbitration_id,
                                        m.is_extended_id, m.is_remote_frame, m.is_error_frame,
                                        m.is_rx, m.dlc, data or "-")


def read(fmt, path):
    if fmt == "asc":
        reader = can.ASCReader(path, relative_timestamp=False)
    else:
        reader = {"candump": can.CanutilsLogReader, "blf": can.BLFReader,
                  "csv": can.CSVReader}[fmt](path)
    for m in reader:
        print(line(m))


def write(fmt, path, frames):
    writer = {"candump": can.CanutilsLogWriter, "asc": can.ASCWriter, "blf": can.BLFWriter,
              "csv": can.CSVWriter}[fmt](path)
    for text in open(frames):
        us, ident, ext, rtr, err, rx, dlc, data = text.split()
        data = b"" if data == "-" else bytes.fromhex(data)
        writer.on_message_received(can.Message(
            timestamp=int(us) / 1e6, arbitration_id=int(ident, 16), is_extended_id=ext == "1",
            is_remote_frame=rtr == "1", is_error_frame=err == "1", is_rx=rx == "1",
            dlc=int(dlc), data=data, channel=0))
    writer.stop()


if __name__ == "__main__":
    if sys.argv[1] == "read":
        read(sys.argv[2], sys.argv[3])
    else:
        write(sys.argv[2], sys.argv[3], sys.argv[4])
