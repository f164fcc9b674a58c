#!/usr/bin/env python3
"""Prints a dialogue_fuzz input as the steps it stands for.

    fuzz/describe_dialogue_input.py crash-1234...

Keep in step with run() and act() in dialogue_fuzz.cpp.
"""
import sys

TYPED = "0123456789.+-eE \tx,\u0663"
ENTRIES = ["1", "2", "3", "5", "8", "12", "99", "170", "255", "256", "257", "300", "511", "512",
           "4096", "8174", "8175", "2.5", "3.5", "0.4", "0.5", "1.5", "8175.7", "8175.4", "8175.5",
           "255.5", "511.5", "1E3", " 12 ", "0.0001", "007", "170.5"]
ACTIONS = ["click Read", "click Stop (Read)", "click Write", "click Stop (Write)",
           "click First Object (Read)", "click First Object (Write)", "click the list box Check4",
           "click ch_1_0", "click Clear"]


def action(kind, nxt):
    if kind < 9:
        return ACTIONS[kind]
    if kind == 9:
        field, length = nxt(), nxt()
        if length & 0x40:
            text = ENTRIES[nxt() % len(ENTRIES)]
        else:
            text = "".join(TYPED[nxt() % len(TYPED)] for _ in range(length % 8))
        leave = ", then leave the field" if length & 0x80 else ""
        return f"type {text!r} into Text{field % 4 + 1}{leave}"
    if kind == 10:
        n = nxt() % 6
        return "object list := " + repr([ENTRIES[nxt() % len(ENTRIES)] for _ in range(n)])
    if kind == 11:
        return "reconnect" + ("" if nxt() & 1 else ", device 172")
    if kind == 12:
        return "toggle: the port refuses writes"
    return "run the posted events"


def describe(data):
    steps, i = [], 0

    def nxt():
        nonlocal i
        if i < len(data):
            i += 1
            return data[i - 1]
        return 0

    while i < len(data):
        op = nxt()
        if op < 64:
            steps.append("device 172")
        elif op < 128:
            steps.append("device 202")
        elif op < 151:
            steps.append(f"device {nxt() if i < len(data) else op}")
        elif op == 151:
            v = nxt()
            steps.append(f"device {v}, {256 * (nxt() % 8 + 1)} times")
        elif op < 160:
            steps.append("device " + " ".join(["172", "172", "202", "202", "202", "202", "172", "172"][:(op & 7) + 1]))
        elif op < 176:
            v = nxt()
            steps.append(f"device: {(op & 15) + 1} read exchange(s) 172 172 202 202 {v}")
        elif op < 184:
            v = nxt()
            steps.append(f"device: {(op & 7) + 1} write exchange(s) 172 172 202 202 202 202, "
                         f"read-back 172 172 202 202 {v}")
        elif op < 212:
            steps.append(action((op - 184) % 14, nxt))
        elif op < 255:
            clicks = [0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 13]
            wait = (op - 212) // len(clicks) + 1
            steps.append(f"after {wait} more device byte(s): " + action(clicks[(op - 212) % len(clicks)], nxt))
        else:
            wait = nxt() % 16 + 1
            steps.append(f"after {wait} more device byte(s): " + action(nxt() % 14, nxt))
    return steps


if __name__ == "__main__":
    for path in sys.argv[1:]:
        print(f"{path}: (fresh window, connected, link check passed)")
        for n, step in enumerate(describe(open(path, "rb").read()), 1):
            print(f"  {n:3}. {step}")
