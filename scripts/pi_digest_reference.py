#!/usr/bin/env python3
"""A plain, byte-at-a-time model of the pi digest and the mix cipher, written for clarity rather
than speed, that writes the known-answer files tests/data/pi_digest_vectors.txt and
tests/data/mix_cipher_vectors.txt. The C++ code absorbs eight bytes at a time and skips blocks it
does not need; agreeing with this model checks those shortcuts against the plain definition.

Run from the repository top: python3 scripts/pi_digest_reference.py
"""

import pathlib
import random
import subprocess
import sys

MASK = 0xFFFFFFFF
ROOT = pathlib.Path(__file__).resolve().parent.parent


def initial_pool() -> bytes:
    script = ROOT / "scripts" / "pi_pool.py"
    text = subprocess.run([sys.executable, str(script)], check=True, capture_output=True,
                          text=True).stdout
    return bytes(int(token.rstrip(","), 16) for token in text.split())


def words(data: bytes) -> list[int]:
    return [int.from_bytes(data[i:i + 4], "little") for i in range(0, len(data), 4)]


def to_bytes(values: list[int]) -> bytes:
    return b"".join(v.to_bytes(4, "little") for v in values)


def mix_pass(a: int, b: int, c: int, d: int) -> tuple[int, int, int, int]:
    a = (a + d) & MASK; d = (d + a) & MASK; a ^= a >> 7
    b = (b + a) & MASK; a = (a + b) & MASK; b ^= (b << 13) & MASK
    c = (c + b) & MASK; b = (b + c) & MASK; c ^= c >> 17
    d = (d + c) & MASK; c = (c + d) & MASK; d ^= (d << 9) & MASK
    a = (a + d) & MASK; d = (d + a) & MASK; a ^= a >> 3
    b = (b + a) & MASK; a = (a + b) & MASK; b ^= (b << 7) & MASK
    c = (c + b) & MASK; b = (b + c) & MASK; c ^= d >> 15
    d = (d + c) & MASK; c = (c + d) & MASK; d ^= (d << 11) & MASK
    return a, b, c, d


def isaac_mix(s: list[int]) -> list[int]:
    a, b, c, d, e, f, g, h = s
    a ^= (b << 11) & MASK; d = (d + a) & MASK; b = (b + c) & MASK
    b ^= c >> 2; e = (e + b) & MASK; c = (c + d) & MASK
    c ^= (d << 8) & MASK; f = (f + c) & MASK; d = (d + e) & MASK
    d ^= e >> 16; g = (g + d) & MASK; e = (e + f) & MASK
    e ^= (f << 10) & MASK; h = (h + e) & MASK; f = (f + g) & MASK
    f ^= g >> 4; a = (a + f) & MASK; g = (g + h) & MASK
    g ^= (h << 8) & MASK; b = (b + g) & MASK; h = (h + a) & MASK
    h ^= a >> 9; c = (c + h) & MASK; a = (a + b) & MASK
    return [a, b, c, d, e, f, g, h]


def mix_key(key: bytes, rounds: int, encrypt: bool) -> tuple[int, list[tuple[int, int]]]:
    rounds = min(max(rounds, 4), 16)
    k = words(key)
    sub = []
    for constant in (0x55555555, 0xAAAAAAAA, 0x33333333, 0xCCCCCCCC):
        s = [k[0], constant, k[1], constant, k[2], constant, k[3], constant]
        for _ in range(8):
            s = isaac_mix(s)
        sub += s
    pairs = [(sub[2 * r], sub[2 * r + 1]) for r in range(16)]
    if not encrypt:
        pairs[:rounds] = pairs[:rounds][::-1]
    return rounds, pairs


def mix_block(schedule: tuple[int, list[tuple[int, int]]], block: bytes) -> bytes:
    rounds, pairs = schedule
    x = words(block)
    r, l = (x[0], x[1]), (x[2], x[3])
    for round_ in range(rounds):
        k0, k1 = pairs[round_]
        a, b, c, d = mix_pass(r[0], k0, r[1], k1)
        a, b, c, d = c, d, a, b
        a, b, c, d = mix_pass(a, b, c, d)
        n = (l[0] ^ a ^ b, l[1] ^ c ^ d)
        l, r = r, n
    return to_bytes([l[0], l[1], r[0], r[1]])


class PiDigest:
    def __init__(self) -> None:
        self.pool = bytearray(initial_pool())
        self.pool_pos = 0
        self.mix = bytearray(to_bytes([0x55555555] * 4))
        self.mix_pos = 0

    def update(self, data: bytes) -> None:
        for x in data:
            self.pool[self.pool_pos] ^= x
            self.pool_pos = (self.pool_pos + 1) % 256
            self.mix[self.mix_pos] ^= x
            self.mix_pos += 1
            if self.mix_pos == 8:
                w = words(bytes(self.mix))
                a, b, c, d = w[3], w[2], w[1], w[0]
                for _ in range(4):
                    a, b, c, d = mix_pass(a, b, c, d)
                self.mix = bytearray(to_bytes([a, b, c, d]))
                self.mix_pos = 0

    def final(self, size: int) -> bytes:
        self.update(b"\x01" + bytes(7 - self.mix_pos))
        schedule = mix_key(bytes(self.mix), 8, True)
        pool = b"".join(mix_block(schedule, bytes(self.pool[i:i + 16])) for i in range(0, 256, 16))
        return pool[:max(0, min(size, 256))]


def sequence(n: int) -> bytes:
    """The "seq:N" inputs of the vector file: byte i is (i * 13 + 5) mod 256."""
    return bytes((i * 13 + 5) % 256 for i in range(n))


def main() -> None:
    cases = [("text:abc", b"abc", 16), ("text:", b"", 16), ("text:abc", b"abc", 1),
             ("text:abc", b"abc", 256), ("text:message digest", b"message digest", 32)]
    cases += [(f"seq:{n}", sequence(n), size)
              for n, size in [(1, 16), (7, 16), (8, 16), (9, 16), (15, 16), (16, 16), (63, 20),
                              (64, 16), (255, 256), (256, 256), (257, 256), (1000, 64),
                              (4099, 256)]]
    lines = ["# Pi digest known answers: input, digest size, digest (hex).",
             "# Source: the first line is the format's documented example for \"abc\"; all lines come",
             "# from scripts/pi_digest_reference.py, a byte-at-a-time model of the definition.",
             "# Inputs: text:T is the bytes of T; seq:N is N bytes, byte i = (i * 13 + 5) mod 256."]
    for name, data, size in cases:
        digest = PiDigest()
        digest.update(data)
        lines.append(f"{name}|{size}|{digest.final(size).hex().upper()}")
    assert lines[4] == "text:abc|16|2AA17BAA76A4C4CD4B73A5F934B4CC1A", "worked example differs"
    (ROOT / "tests/data/pi_digest_vectors.txt").write_text("\n".join(lines) + "\n")

    rng = random.Random(20240917)
    lines = ["# Mix cipher known answers: key, requested rounds, plain block, enciphered block (hex).",
             "# Source: scripts/pi_digest_reference.py, a plain model of the cipher's definition."]
    for rounds in (4, 5, 8, 12, 16, 2, 20):
        key = bytes(rng.randrange(256) for _ in range(16))
        plain = bytes(rng.randrange(256) for _ in range(16))
        cipher = mix_block(mix_key(key, rounds, True), plain)
        assert mix_block(mix_key(key, rounds, False), cipher) == plain
        lines.append(f"{key.hex().upper()} {rounds} {plain.hex().upper()} {cipher.hex().upper()}")
    (ROOT / "tests/data/mix_cipher_vectors.txt").write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
