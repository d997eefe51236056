"""The Verner 6(5) pair as exact rationals: the one place the coefficients live.

Read by tools/verner_table.py (the step's table, rounded to float and double)
and tools/dense_extension.py (the continuous extension derived from the pair).
Python 3 standard library only (fractions).
"""

from fractions import Fraction as F

# Stage coefficients a(s, j), j = 1..len(row), for the stages 2 to 8. Stage 7
# uses k1 to k5 only (there is no a76); a86 = 0 is a coefficient of the pair.
A_ROWS = {
    2: [F(1, 6)],
    3: [F(4, 75), F(16, 75)],
    4: [F(5, 6), F(-8, 3), F(5, 2)],
    5: [F(-165, 64), F(55, 6), F(-425, 64), F(85, 96)],
    6: [F(12, 5), F(-8), F(4015, 612), F(-11, 36), F(88, 255)],
    7: [F(-8263, 15000), F(124, 75), F(-643, 680), F(-81, 250), F(2484, 10625)],
    8: [F(3501, 1720), F(-300, 43), F(297275, 52632), F(-319, 2322), F(24068, 84065), F(0),
        F(3850, 26703)],
}

# Weights of the propagated sixth-order solution.
B = [F(3, 40), F(0), F(875, 2244), F(23, 72), F(264, 1955), F(0), F(125, 11592), F(43, 616)]

# Weights of the fifth-order companion (stages 1 to 6 only).
BHAT = [F(13, 160), F(0), F(2375, 5984), F(5, 16), F(12, 85), F(3, 44), F(0), F(0)]

# Error weights, the difference of the two solutions per unit step.
E = [bh - b for bh, b in zip(BHAT, B)]

# Stage abscissae: the row sums of a (stage 1 at the start of the step).
C = [F(0)] + [sum(A_ROWS[s]) for s in range(2, 9)]


def table():
    """The step's table in its storage order: a row by row, then b, then e.
    A list of (label, rational) pairs, 43 entries."""
    out = []
    for s in range(2, 9):
        for j, v in enumerate(A_ROWS[s], start=1):
            out.append((f"a{s}{j}", v))
    out += [(f"b{j}", v) for j, v in enumerate(B, start=1)]
    out += [(f"e{j}", v) for j, v in enumerate(E, start=1)]
    return out
