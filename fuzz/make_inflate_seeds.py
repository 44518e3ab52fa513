#!/usr/bin/env python3
"""Seeds for inflate_differential_fuzz: real streams of every kind of block and
hand-built streams that reach each failure, each behind the two bytes that
choose the output capacity. Usage: make_inflate_seeds.py OUTDIR"""
import os
import random
import sys
import zlib


class Bits:
    """Header fields least significant bit first, Huffman codes most
    significant bit first."""

    def __init__(self):
        self.bits = []

    def put(self, value, n):
        self.bits += [(value >> i) & 1 for i in range(n)]
        return self

    def code(self, code, n):
        self.bits += [(code >> i) & 1 for i in reversed(range(n))]
        return self

    def fixed(self, symbol):
        if symbol < 144:
            return self.code(0x30 + symbol, 8)
        if symbol < 256:
            return self.code(0x190 + symbol - 144, 9)
        if symbol < 280:
            return self.code(symbol - 256, 7)
        return self.code(0xC0 + symbol - 280, 8)

    def data(self):
        out = bytearray((len(self.bits) + 7) // 8)
        for i, b in enumerate(self.bits):
            out[i // 8] |= b << (i % 8)
        return bytes(out)


def raw(data, level, strategy=zlib.Z_DEFAULT_STRATEGY):
    c = zlib.compressobj(level, zlib.DEFLATED, -15, 8, strategy)
    return c.compress(data) + c.flush()


def dynamic_start(hlit, hdist, hclen):
    return Bits().put(1, 1).put(2, 2).put(hlit, 5).put(hdist, 5).put(hclen, 4)


def seeds():
    text = open('/usr/include/stdio.h', 'rb').read()[:6000]
    rng = random.Random(5)
    noise = bytes(rng.randrange(256) for _ in range(3000))
    runs = bytes(b'ab'[rng.randrange(7) == 0] for _ in range(9000))
    for name, data in (('text', text), ('noise', noise), ('runs', runs)):
        for level in (0, 1, 6, 9):
            yield '%s-%d' % (name, level), len(data), raw(data, level)
        for sname, strategy in (('fixed', zlib.Z_FIXED), ('huffman', zlib.Z_HUFFMAN_ONLY), ('rle', zlib.Z_RLE)):
            packed = raw(data, 6, strategy)
            yield '%s-%s' % (name, sname), len(data), packed
            yield '%s-%s-short' % (name, sname), len(data) - 1, packed
            yield '%s-%s-cut' % (name, sname), len(data), packed[:len(packed) // 2]

    yield 'stored-mismatch', 3, bytes([1, 3, 0, 0xFC, 0xFE]) + b'abc'
    yield 'reserved', 4, bytes([7])
    yield 'length-286', 10, Bits().put(1, 1).put(1, 2).fixed(97).fixed(286).data()
    far = Bits().put(1, 1).put(1, 2).fixed(97).fixed(257).code(1, 5).fixed(256)
    yield 'distance-too-far', 10, far.data()
    unused = Bits().put(1, 1).put(1, 2).fixed(97).fixed(257).code(30, 5).put(0x7FFF, 15)
    yield 'distance-code-30', 10, unused.data()
    yield 'hlit-287', 10, dynamic_start(30, 0, 0).put(0, 24).data()
    yield 'hdist-31', 10, dynamic_start(0, 30, 0).put(0, 20).data()
    over = dynamic_start(0, 0, 0)
    for _ in range(3):
        over.put(1, 3)
    yield 'oversubscribed', 10, over.put(0, 3).data()
    first = dynamic_start(0, 0, 0).put(1, 3).put(1, 3).put(0, 3).put(0, 3).code(0, 1).put(0, 2)
    yield 'repeat-first', 10, first.data()
    # 'a' and end of block as the only literal/length codes, one distance code:
    # both codes incomplete.
    order = [16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1]
    w = dynamic_start(0, 0, 14)
    for s in order:
        w.put(2 if s in (1, 2, 18) else 0, 3)
    w.code(2, 2).put(97 - 11, 7).code(0, 2).code(2, 2).put(138 - 11, 7).code(2, 2).put(20 - 11, 7)
    w.code(1, 2).code(0, 2)
    ok = Bits()
    ok.bits = list(w.bits)
    ok.code(0, 1).code(0, 1).code(2, 2)
    yield 'incomplete-codes', 2, ok.data()
    bad = Bits()
    bad.bits = list(w.bits)
    bad.code(0, 1).code(3, 2).put(0x3FFF, 14)
    yield 'unused-code', 10, bad.data()


def main(out):
    os.makedirs(out, exist_ok=True)
    for name, capacity, stream in seeds():
        with open(os.path.join(out, name + '.bin'), 'wb') as f:
            f.write(bytes([capacity & 0xFF, (capacity >> 8) & 0xFF]) + stream)


if __name__ == '__main__':
    main(sys.argv[1])
