#!/usr/bin/env python3
"""Prints the pi digest's initial pool: the first 2,048 bits of the fractional part of pi,
most significant bit first, as the body of a C++ byte table (16 bytes a line).

Exact integer arithmetic throughout: pi = 16 atan(1/5) - 4 atan(1/239) (Machin), each arctangent
summed as a fixed-point series with 64 guard bits: each of the roughly 600 terms is truncated
by less than one unit, so the accumulated error stays far below the guard.

Run: python3 scripts/pi_pool.py
"""

POOL_BITS = 2048
GUARD_BITS = 64


def arctan_inverse(x: int, one: int) -> int:
    """atan(1/x) scaled by `one`, each term truncated (error below one unit per term)."""
    total = 0
    power = one // x  # one / x^(2k+1)
    k = 0
    while power:
        term = power // (2 * k + 1)
        total += -term if k % 2 else term
        power //= x * x
        k += 1
    return total


def pi_fraction_bits(bits: int) -> int:
    one = 1 << (bits + GUARD_BITS)
    pi = 16 * arctan_inverse(5, one) - 4 * arctan_inverse(239, one)
    return (pi >> GUARD_BITS) & ((1 << bits) - 1)


def main() -> None:
    pool = pi_fraction_bits(POOL_BITS).to_bytes(POOL_BITS // 8, "big")
    assert pool[:8] == bytes.fromhex("243F6A8885A308D3"), pool[:8].hex()
    assert pool[-6:] == bytes.fromhex("86AF7C72E993"), pool[-6:].hex()
    for row in range(0, len(pool), 16):
        print("    " + " ".join(f"0x{b:02X}," for b in pool[row:row + 16]))


if __name__ == "__main__":
    main()
