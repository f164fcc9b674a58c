#!/usr/bin/env python3
"""Writes the seed inputs of dialogue_fuzz into fuzz/corpus/dialogue_fuzz/.

Each seed is an ordinary session: the fuzzer grows its inputs from these. Keep the
encoding in step with run() and readAction() in dialogue_fuzz.cpp.
"""
import os

TYPED = "0123456789.+-eE \tx,\u0663"
ENTRIES = ["1", "2", "3", "5", "8", "12", "99", "170", "255", "256", "257", "300", "511", "512",
           "4096", "8174", "8175", "2.5", "3.5", "0.4", "0.5", "1.5", "8175.7", "8175.4", "8175.5",
           "255.5", "511.5", "1E3", " 12 ", "0.0001", "007", "170.5"]

R, A = 0, 100       # one ready byte, one acknowledge
ACT = 184
READ, STOP_READ, WRITE, STOP_WRITE, FIRST_READ, FIRST_WRITE, LIST, REPEAT, CLEAR = range(ACT, ACT + 9)
RECONNECT, POSTED = ACT + 11, ACT + 13


def data(value):
    return [128, value]


def flood(value, eighths):  # 256 * eighths times the same byte
    return [151, value, eighths - 1]


def text(field, s):
    return [ACT + 9, field - 1, len(s)] + [TYPED.index(c) for c in s]


def object_list(*entries):
    return [ACT + 10, len(entries)] + [ENTRIES.index(e) for e in entries]


def reads(n, value):
    return [160 + n - 1, value]


def writes(n, value):
    return [176 + n - 1, value]


def write_start(n):  # the first n bytes of a write exchange
    return [152 + n - 1]


SEEDS = {
    "read": text(1, "10") + text(2, "12") + [READ] + reads(3, 7),
    "write": [REPEAT] + text(3, "300") + text(4, "301") + [WRITE] + writes(2, 1),
    "list_read": object_list("3", "8", "12") + [LIST, READ] + reads(3, 5),
    "list_write_fractions": object_list("2.5", "3.5", "8175.7", "0.4") + [LIST, WRITE]
    + writes(4, 0) + [STOP_WRITE] + writes(1, 0),
    "stop_mid_read": text(1, "5") + text(2, "50") + [READ] + reads(12, 1)
    + [R, R, STOP_READ, A, A] + data(99),
    "first_object_write": [FIRST_WRITE] + text(3, "2.5") + [WRITE]
    + [R, R, A, A, A, A, R, R, A, A] + data(1),
    "relink": [RECONNECT, 1] + data(66) + [R] + text(1, "255") + text(2, "257") + [READ]
    + reads(3, 172),
    "bytes_and_terminal": [CLEAR] + reads(16, 202) * 4 + [POSTED] + data(13) + data(10)
    + flood(255, 8) + [POSTED] + flood(13, 8) + flood(255, 8),
    "write_across_256": text(3, "254") + text(4, "257") + [REPEAT, WRITE] + writes(4, 1),
    "write_in_pieces": text(3, "254") + text(4, "257") + [WRITE]
    + (write_start(6) + [R, R, A, A] + data(0)) * 4,
}

if __name__ == "__main__":
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "dialogue_fuzz")
    os.makedirs(folder, exist_ok=True)
    for name, seed in SEEDS.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(bytes(seed))
