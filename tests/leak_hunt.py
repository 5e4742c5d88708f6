"""Reference-leak hunt in the manner of CPython's own `python -m test -R`: every public operation of
both types on its success and failure paths (the calls of _reliability_ops.py) is warmed up, then
called in several rounds of N calls; an operation leaks when the interpreter's total reference
count, or its count of allocated memory blocks, grows in every one of those rounds, as CPython's
test runner judges it. Growth in some rounds only is the noise of caches and free lists. Before each
count the interpreter's internal caches are cleared, as that runner does: its attribute cache keeps
the names of dead classes alive, and fills slot by slot at a pace set by where they were allocated.

    python tests/leak_hunt.py [--warmups 3] [--rounds 5] [--calls 1000] [NAME ...]

The total reference count exists only in debug builds (`sys.gettotalrefcount`); a release build is
hunted by its memory blocks alone. Prints one line per operation and the count of leaks; the exit
status is 1 when an operation leaks.
"""

import argparse
import gc
import sys
from array import array

import _reliability_ops as ops

COLUMNS = "{name:<58} {refs:<30} {blocks:<30} {verdict}"


def round_deltas(op, calls, warmups, rounds):
    """The growth of the total reference count (None without one) and of the allocated memory blocks
    over each of `rounds` rounds of `calls` calls of op, after `warmups` rounds that do not count."""
    gettotalrefcount = getattr(sys, "gettotalrefcount", lambda: 0)
    # 3.12 has only the type cache's own clearing; later versions deprecate it.
    clear_caches = getattr(sys, "_clear_internal_caches", None) or sys._clear_type_cache
    # Arrays of C integers: keeping a count as an int object would itself add a reference and a
    # block to the round after it.
    refs, blocks = array("q", bytes(8 * (warmups + rounds))), array("q", bytes(8 * (warmups + rounds)))
    refs_before = blocks_before = 0
    for i in range(warmups + rounds):
        for _ in range(calls):
            ops.attempt(op)
        clear_caches()
        gc.collect()
        blocks_after, refs_after = sys.getallocatedblocks(), gettotalrefcount()
        refs[i], blocks[i] = refs_after - refs_before, blocks_after - blocks_before
        refs_before, blocks_before = refs_after, blocks_after
    counted_refs = list(refs[warmups:]) if hasattr(sys, "gettotalrefcount") else None
    return counted_refs, list(blocks[warmups:])


def grows_every_round(deltas):
    return deltas is not None and all(delta >= 1 for delta in deltas)


def hunt(named_ops, calls=1000, warmups=3, rounds=5, out=sys.stdout):
    """Hunts every operation of `named_ops` (name -> callable without arguments), printing one line
    each; returns the names of those that leak."""
    print(COLUMNS.format(name="operation", refs="references per round", blocks="memory blocks per round",
                         verdict="").rstrip(), file=out)
    leaking = []
    for name, op in named_ops.items():
        refs, blocks = round_deltas(op, calls, warmups, rounds)
        leaks = [what for what, deltas in (("references", refs), ("memory blocks", blocks))
                 if grows_every_round(deltas)]
        if leaks:
            leaking.append(name)
        print(COLUMNS.format(name=name, refs="-" if refs is None else " ".join(map(str, refs)),
                             blocks=" ".join(map(str, blocks)),
                             verdict="LEAKS " + " and ".join(leaks) if leaks else "ok"), file=out, flush=True)
    return leaking


def main(argv=None, named_ops=None, out=sys.stdout):
    parser = argparse.ArgumentParser(prog="leak_hunt.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("--warmups", type=int, default=3, help="rounds that do not count (default 3)")
    parser.add_argument("--rounds", type=int, default=5, help="rounds that count (default 5)")
    parser.add_argument("--calls", type=int, default=1000, help="calls of the operation per round (default 1000)")
    parser.add_argument("names", nargs="*", help="operations to hunt (default: all)")
    args = parser.parse_args(argv)
    if named_ops is None:
        named_ops = {**ops.OPS, "module exec": ops.exec_module}
    unknown = [name for name in args.names if name not in named_ops]
    if unknown:
        parser.error(f"no such operation: {', '.join(unknown)}")
    if args.names:
        named_ops = {name: named_ops[name] for name in args.names}

    build = "debug build" if hasattr(sys, "gettotalrefcount") else "release build: memory blocks only"
    print(f"reference-leak hunt on CPython {sys.version.split()[0]} ({build}): {len(named_ops)} operations, "
          f"{args.warmups} warm-up rounds, then {args.rounds} rounds of {args.calls} calls", file=out)
    if sys.getallocatedblocks() == 0:
        print("warning: this interpreter counts no memory blocks (PYTHONMALLOC=malloc?)", file=out)
    leaking = hunt(named_ops, args.calls, args.warmups, args.rounds, out)
    print(f"leaks: {len(leaking)} of {len(named_ops)} operations" + "".join(f"\n  {name}" for name in leaking),
          file=out)
    return 1 if leaking else 0


if __name__ == "__main__":
    sys.exit(main())
