#!/usr/bin/env python3
"""Writes the seed corpus of frame_fuzzer into tests/fuzz/corpus/ (or the folder given).

Each seed is the fuzzer's 9-byte set-up (chunk sizes, seed, outstanding request, address,
capture cursor) followed by a byte stream of real reply frames and noise.
"""
import os
import sys


def crc16(data):
    crc = 0xFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def frame(function, address, data, count=None):
    body = bytes([0x5A, 0xA5, len(data) + 4, function, address >> 8, address & 0xFF,
                  len(data) if count is None else count]) + bytes(data)
    crc = crc16(body)
    return body + bytes([crc & 0xFF, crc >> 8])


def setup(chunks=0x7F, seed=0, kind=0, address=0, remaining=0, offset=0):
    return bytes([chunks, seed, kind, address >> 8, address & 0xFF,
                  remaining >> 8, remaining & 0xFF, offset >> 8, offset & 0xFF])


# Positions (1-based) of registers in the fuzzer's kKnown table.
KIND_MATCHING = 10
KIND_IDENTIFICATION = 8
KIND_LIVE_STATUS = 4
KIND_CAPTURE = 0xF0

matching_reply = bytes.fromhex("5A A5 0B 01 22 00 07 01 01 00 01 00 00 5A ED 48")
assert matching_reply == frame(1, 0x2200, [1, 1, 0, 1, 0, 0x00, 0x5A])
noise = bytes([0x00, 0x5A, 0x13, 0xA5, 0x5A, 0x5A, 0xFF, 0x5A, 0xA5, 0xFB, 0x01])
block0 = frame(1, 0x8000, [i & 0xFF for i in range(128)])
block1 = frame(1, 0x8080, [(128 + i) & 0xFF for i in range(128)])
last = frame(1, 0x8100, [i & 0xFF for i in range(44)])
ident = frame(1, 0x2100, list(b"ID-0001?xxxxxxxx") + list(b"KVD417?") + [0] * 11)
ident_no_mark = frame(1, 0x2100, list(b"A" * 34))
status = frame(1, 0x1200, list(range(22)))

seeds = {
    "matching_reply": setup(kind=KIND_MATCHING) + matching_reply,
    "matching_split": setup(chunks=0x82, seed=7, kind=KIND_MATCHING) + noise + matching_reply,
    "noise_then_reply": setup(chunks=0x03, kind=KIND_LIVE_STATUS) + noise + status + noise,
    "two_replies": setup(kind=KIND_LIVE_STATUS) + status + status,
    "error_reply": setup(kind=KIND_MATCHING) + frame(0x21, 0x2200, []),
    "identity": setup(chunks=0x90, seed=3, kind=KIND_IDENTIFICATION) + ident + ident_no_mark,
    "capture_blocks": setup(chunks=0xBF, seed=1, kind=KIND_CAPTURE, remaining=300)
    + block0 + block1 + last,
    "capture_tail": setup(kind=KIND_CAPTURE, remaining=44, offset=8148) + last,
    # A cursor no read-back produces (more waiting than the buffer holds), across its end.
    "capture_wild": setup(kind=0xF5, remaining=0xFFFF, offset=0x1F80)
    + frame(1, 0x9F80, [0xC3] * 128) + frame(1, 0xA000, [0x3C] * 128),
    "oversized_length": setup(kind=KIND_MATCHING) + bytes([0x5A, 0xA5, 0xFB]) + matching_reply,
    "late_reply": setup(kind=0xF8, address=0x2300) + matching_reply + frame(2, 0x5000, []),
}

out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus")
os.makedirs(out, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
