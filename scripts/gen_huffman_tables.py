#!/usr/bin/env python3
"""Generates decoder/tables/HuffmanTables.cpp from the Layer III Huffman decoding
trees of ISO/IEC 11172-3 Table B.7 (iso-tables/huffdec).

Writes the 34 table descriptors with their trees, and for every distinct tree
a multi-level lookup table that yields exactly the tree walk's value and code
length.

Usage:
  python3 scripts/gen_huffman_tables.py [--iso DIR] [--out FILE]
  python3 scripts/gen_huffman_tables.py --check --iso DIR
"""

import argparse
import os
import sys

OUT_DEFAULT = os.path.join("decoder", "tables", "HuffmanTables.cpp")

# Lookup layout: a root of ROOT_BITS (or the tree's depth, if smaller), then
# subtables of at most SUB_BITS bits for the longer codes.
ROOT_BITS = 8
SUB_BITS = 5
LEAF_LEN_SHIFT = 8
CONTINUE = 250
POINTER_FLAG = 0x8000
POINTER_BITS_SHIFT = 12
POINTER_OFFSET_MASK = 0x0FFF


def parse_huffdec(path):
    """Returns {table: dict(treelen, xlen, ylen, linbits, ref, tree)}."""
    tables = {}
    current = None
    in_data = False
    with open(path, encoding="ascii") as f:
        for raw in f:
            line = raw.split("#", 1)[0].strip()
            if not line:
                continue
            if line.startswith(".table"):
                parts = line.split()
                num, treelen, xlen, ylen, linbits = (int(p) for p in parts[1:6])
                current = dict(num=num, treelen=treelen, xlen=xlen, ylen=ylen,
                               linbits=linbits, ref=None, data=[])
                tables[num] = current
                in_data = False
            elif line.startswith(".reference"):
                current["ref"] = int(line.split()[1])
                in_data = False
            elif line.startswith(".treedata"):
                in_data = True
            elif line.startswith(".end"):
                break
            elif in_data:
                current["data"].extend(int(tok, 16) for tok in line.split())
    for t in tables.values():
        data = t.pop("data")
        if t["ref"] is not None:
            if data:
                sys.exit("table %d has both a reference and tree data" % t["num"])
            t["tree"] = None
            continue
        if len(data) != 2 * t["treelen"]:
            sys.exit("table %d: %d values for %d nodes" % (t["num"], len(data), t["treelen"]))
        t["tree"] = resolve_continuations(
            [(data[2 * i], data[2 * i + 1]) for i in range(t["treelen"])])
    if sorted(tables) != list(range(34)):
        sys.exit("expected tables 0..33")
    return tables


def resolve_continuations(tree):
    """The published data writes a distance of CONTINUE or more as a hop to
    a continuation pair, whose value on the same side is added on (table 24
    has one such pair). Returns the tree with plain forward distances from
    every node reachable from the root; nodes that are not reachable (the
    continuation pairs) become dead leaves {0, 0}."""
    if not tree:
        return tree
    out = [(0, 0)] * len(tree)
    seen = set()
    todo = [0]
    while todo:
        i = todo.pop()
        if i in seen:
            sys.exit("tree node reached twice")
        seen.add(i)
        a, b = tree[i]
        if a == 0:
            out[i] = (a, b)
            continue
        dist = []
        for side in (0, 1):
            p = i
            while p < len(tree) and tree[p][side] >= CONTINUE:
                p += tree[p][side]
            if p >= len(tree):
                sys.exit("tree walk leaves the node array")
            p += tree[p][side]
            if p >= len(tree):
                sys.exit("tree walk leaves the node array")
            dist.append(p - i)
            todo.append(p)
        out[i] = tuple(dist)
    return out


def tree_codes(tree):
    """Walks the tree from the root: [(value, code, length)] for every leaf."""
    out = []
    stack = [(0, 0, 0)]
    while stack:
        node, code, length = stack.pop()
        if node >= len(tree):
            sys.exit("tree walk leaves the node array")
        a, b = tree[node]
        if a == 0:
            if length == 0:
                sys.exit("root is a leaf")
            out.append((b, code, length))
            continue
        if length > 24:
            sys.exit("tree deeper than 24 levels")
        stack.append((node + a, code << 1, length + 1))
        stack.append((node + b, (code << 1) | 1, length + 1))
    return out


def check_alphabet(n, t, codes):
    values = sorted(v for v, _, _ in codes)
    if n >= 32:
        expect = list(range(16))
    else:
        expect = sorted((x << 4) | y for x in range(t["xlen"]) for y in range(t["ylen"]))
    if values != expect:
        sys.exit("table %d: the tree does not code its alphabet once each" % n)


def build_lookup(codes):
    """Multi-level lookup: returns (entries, root_bits)."""
    max_len = max(length for _, _, length in codes)
    root_bits = min(ROOT_BITS, max_len)
    entries = []

    def build(level_codes, bits):
        # level_codes: (value, remaining code, remaining length), all of
        # length >= 1 relative to this level.
        base = len(entries)
        entries.extend([None] * (1 << bits))
        longer = {}
        for value, code, length in level_codes:
            if length <= bits:
                first = code << (bits - length)
                for k in range(1 << (bits - length)):
                    if entries[base + first + k] is not None:
                        sys.exit("prefix collision")
                    entries[base + first + k] = (length << LEAF_LEN_SHIFT) | value
            else:
                rest = length - bits
                prefix = code >> rest
                longer.setdefault(prefix, []).append((value, code & ((1 << rest) - 1), rest))
        for prefix in sorted(longer):
            sub = longer[prefix]
            sub_bits = min(SUB_BITS, max(length for _, _, length in sub))
            offset = build(sub, sub_bits)
            if offset > POINTER_OFFSET_MASK:
                sys.exit("lookup offset does not fit")
            entries[base + prefix] = POINTER_FLAG | (sub_bits << POINTER_BITS_SHIFT) | offset
        if any(e is None for e in entries[base:base + (1 << bits)]):
            sys.exit("incomplete code")
        return base

    build(codes, root_bits)
    return entries, root_bits


def fmt_rows(values, per_row, width):
    rows = []
    for i in range(0, len(values), per_row):
        rows.append("    " + " ".join(("%s," % v).rjust(width) for v in values[i:i + per_row]))
    return "\n".join(rows)


def generate(iso_dir):
    tables = parse_huffdec(os.path.join(iso_dir, "huffdec"))
    trees = [n for n in range(34) if tables[n]["tree"]]
    tree_of = {}
    for n in range(34):
        t = tables[n]
        if t["ref"] is not None:
            tree_of[n] = t["ref"]
        elif t["tree"]:
            tree_of[n] = n
        else:
            tree_of[n] = None

    out = []
    out.append("// Generated by scripts/gen_huffman_tables.py from iso-tables/huffdec")
    out.append("// (ISO/IEC 11172-3 Table B.7). Do not edit.")
    out.append("#include \"decoder/tables/HuffmanTables.h\"")
    out.append("")
    out.append("namespace bramble {")
    out.append("")
    out.append("namespace {")
    out.append("")
    lookups = {}
    for n in trees:
        tree = tables[n]["tree"]
        codes = tree_codes(tree)
        check_alphabet(n, tables[n], codes)
        depth = max(length for _, _, length in codes)
        entries, root_bits = build_lookup(codes)
        if n >= 32 and root_bits < depth:
            sys.exit("quad table %d needs subtables; the quad decoder reads only the root" % n)
        lookups[n] = (root_bits, depth)
        out.append("// Tree %d: %d nodes, %d codes, longest %d bits." % (n, len(tree), len(codes), depth))
        out.append("const uint32_t kTree%d[%d][2] = {" % (n, len(tree)))
        flat = ["{%d, 0x%02x}" % (a, b) if a == 0 else "{%d, %d}" % (a, b) for a, b in tree]
        out.append(fmt_rows(flat, 8, 10))
        out.append("};")
        out.append("const uint16_t kLookup%d[%d] = {" % (n, len(entries)))
        out.append(fmt_rows(["0x%04x" % e for e in entries], 10, 7))
        out.append("};")
        out.append("")
    out.append("}  // namespace")
    out.append("")
    out.append("const HuffmanCodeTable huffman_tables[34] = {")
    for n in range(34):
        t = tables[n]
        ref = tree_of[n]
        xmax = t["xlen"] - 1
        ymax = t["ylen"] - 1
        if ref is None:
            out.append("    {%d, %d, %d, %d, 0, nullptr}," % (n, xmax, ymax, t["linbits"]))
        else:
            out.append("    {%d, %d, %d, %d, %d, kTree%d}," % (n, xmax, ymax, t["linbits"],
                                                              len(tables[ref]["tree"]), ref))
    out.append("};")
    out.append("")
    out.append("const HuffmanLookup huffman_lookup[34] = {")
    for n in range(34):
        ref = tree_of[n]
        if ref is None:
            out.append("    {nullptr, 0, 0, %d}," % tables[n]["linbits"])
        else:
            root_bits, depth = lookups[ref]
            out.append("    {kLookup%d, %d, %d, %d}," % (ref, root_bits, depth, tables[n]["linbits"]))
    out.append("};")
    out.append("")
    mags = []
    for n in range(32):
        t = tables[n]
        mags.append(0 if tree_of[n] is None else (t["xlen"] - 1) + (1 << t["linbits"]) - 1)
    out.append("// Largest magnitude each pair table can code: largest x + 2^linbits - 1.")
    out.append("const int32_t huffman_max_magnitude[32] = {")
    out.append(fmt_rows([str(m) for m in mags], 16, 5))
    out.append("};")
    out.append("")
    out.append("}  // namespace bramble")
    return "\n".join(out) + "\n"


def main():
    ap = argparse.ArgumentParser()
    here = os.path.dirname(os.path.abspath(__file__))
    ap.add_argument("--iso", default=os.path.join(here, "..", "..", "shared", "iso-tables"))
    ap.add_argument("--out", default=OUT_DEFAULT)
    ap.add_argument("--check", action="store_true")
    args = ap.parse_args()
    text = generate(args.iso)
    if args.check:
        try:
            with open(args.out, encoding="ascii") as f:
                current = f.read()
        except OSError:
            current = None
        if current != text:
            print("%s differs from its generator's output" % args.out, file=sys.stderr)
            return 1
        return 0
    with open(args.out, "w", encoding="ascii") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
