"""Sums up `perf script` call stacks for one function of the extension.

    perf script -i perf.data | python -m bench.stacks quorin::pdk::find_cells

Of the samples whose stack holds the function, it prints the share of each direct callee (time
spent inside that call, callees included), of each leaf (time spent in that function itself)
and, for register_cells, of each registration step.
"""

from __future__ import annotations

import re
import sys
from collections import Counter
from collections.abc import Iterable, Iterator

OFFSET = re.compile(r"\+0x[0-9a-f]+$")
STEP = re.compile(r"quorin::pdk::(\w+)")


def stacks(lines: Iterable[str]) -> Iterator[list[str]]:
    """Each sample's frames, leaf first, as bare symbol names."""
    frames: list[str] = []
    for line in lines:
        if not line.strip():
            if frames:
                yield frames
            frames = []
        elif line[0] in " \t":
            _, _, rest = line.strip().partition(" ")
            frames.append(OFFSET.sub("", rest.rsplit(" (", 1)[0]))
    if frames:
        yield frames


def summarise(lines: Iterable[str], function: str) -> tuple[int, Counter[str], Counter[str]]:
    inside = 0
    callees: Counter[str] = Counter()
    leaves: Counter[str] = Counter()
    for frames in stacks(lines):
        if function not in frames:
            continue
        # The outermost entry counts, so that a nested call is not counted twice.
        at = len(frames) - 1 - frames[::-1].index(function)
        inside += 1
        callees[frames[at - 1] if at > 0 else "(itself)"] += 1
        leaves[frames[0]] += 1
    return inside, callees, leaves


def steps(lines: Iterable[str], function: str) -> Counter[str]:
    """The innermost module function below `function` in each sample: where a run's time goes."""
    found: Counter[str] = Counter()
    for frames in stacks(lines):
        if function not in frames:
            continue
        inner = next((f for f in frames if STEP.fullmatch(f) and f != function), function)
        found[inner] += 1
    return found


def main(argv: list[str] | None = None) -> int:
    args = sys.argv[1:] if argv is None else argv
    if len(args) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    function = args[0]
    lines = sys.stdin.readlines()
    inside, callees, leaves = summarise(lines, function)
    print(f"{inside} samples inside {function}")
    if not inside:
        return 0
    for title, counts in (("direct callees", callees), ("leaves", leaves)):
        print(f"-- {title}")
        for name, count in counts.most_common(20):
            print(f"{100 * count / inside:5.1f}%  {name[:120]}")
    module_steps = steps(lines, function)
    if len(module_steps) > 1:
        print("-- innermost module function")
        for name, count in module_steps.most_common():
            print(f"{100 * count / inside:5.1f}%  {name}")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
