# python-can's slcan interface as the bridge's host: opens the pseudo-terminal given as the
# first argument, asks the device's versions, receives the number of frames given as the
# second argument, sends three frames and shuts down. Prints one JSON object per line.
import json
import sys

import can

bus = can.Bus(interface="slcan", channel=sys.argv[1], bitrate=500000)
print(json.dumps({"version": bus.get_version(5.0), "serial": bus.get_serial_number(5.0)}))
received = []
while len(received) < int(sys.argv[2]):
    m = bus.recv(5.0)
    if m is None:
        break
    received.append(m)
for m in received:
    print(json.dumps({"rx": [m.arbitration_id, m.is_extended_id, m.dlc, list(m.data)]}))
for frame_id, extended, data in [(0x7E5, False, [1, 2, 3]),
                                 (0x1ABCDEF0, True, [9, 8, 7, 6, 5, 4, 3, 2]),
                                 (0x7E6, False, [])]:
    bus.send(can.Message(arbitration_id=frame_id, is_extended_id=extended, data=data))
    print(json.dumps({"tx": [frame_id, extended, len(data), data]}))
bus.shutdown()
print(json.dumps({"done": True}))
