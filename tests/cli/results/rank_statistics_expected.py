"""Independent values for rank_statistics_test.cpp.

The U distribution is counted by enumerating every ordering of the two
samples (itertools), not by the generating function the host uses; the
interval's order statistics come from that count. Arithmetic in mpmath at
30 digits. Run: python3 rank_statistics_expected.py
"""
import itertools

import mpmath

mpmath.mp.dps = 30


def u_counts(m, n):
    counts = [0] * (m * n + 1)
    for positions in itertools.combinations(range(m + n), m):
        # U: pairs with the current value above the baseline value; the
        # baseline values take the given ranks.
        u = sum(n - (p - i) for i, p in enumerate(positions))
        counts[u] += 1
    return counts


def compare(baseline, current):
    m, n = len(baseline), len(current)
    counts = u_counts(m, n)
    total = sum(counts)
    logs_b = [mpmath.log(mpmath.mpf(x)) for x in baseline]
    logs_c = [mpmath.log(mpmath.mpf(y)) for y in current]
    d = sorted(y - x for y in logs_c for x in logs_b)
    pairs = len(d)
    mid = d[pairs // 2] if pairs % 2 else (d[pairs // 2 - 1] + d[pairs // 2]) / 2
    u = sum(1 for v in d if v > 0)
    lower = sum(counts[: u + 1]) / mpmath.mpf(total)
    upper = sum(counts[u:]) / mpmath.mpf(total)
    p = min(1, 2 * min(lower, upper))
    c, below = 0, 0
    while below + counts[c] <= total * mpmath.mpf("0.025"):
        below += counts[c]
        c += 1
    if c == 0:
        return mpmath.exp(mid), None, None, p
    return mpmath.exp(mid), mpmath.exp(d[c - 1]), mpmath.exp(d[pairs - c]), p


def normal_with_ties(baseline, current):
    """The normal approximation from midranks: U from the current side's
    rank sum, its variance as that of a sum of n of the pooled ranks drawn
    without replacement (which holds with ties), not the closed formula."""
    m, n = len(baseline), len(current)
    pooled = sorted(baseline + current)
    rank = {}
    for v in set(pooled):
        first = pooled.index(v) + 1
        last = len(pooled) - pooled[::-1].index(v)
        rank[v] = mpmath.mpf(first + last) / 2
    big_n = m + n
    u = sum(rank[y] for y in current) - mpmath.mpf(n * (n + 1)) / 2
    mean_rank = mpmath.mpf(big_n + 1) / 2
    spread = sum((rank[v] - mean_rank) ** 2 for v in pooled)
    variance = mpmath.mpf(m * n) / (big_n * (big_n - 1)) * spread
    sigma = mpmath.sqrt(variance)
    z = max(0, abs(u - mpmath.mpf(m * n) / 2) - mpmath.mpf("0.5")) / sigma
    p = 2 * (1 - mpmath.ncdf(z))
    quantile = mpmath.sqrt(2) * mpmath.erfinv(mpmath.mpf("0.95"))
    c = int(mpmath.floor(mpmath.mpf(m * n) / 2 - quantile * sigma + mpmath.mpf("0.5")))
    logs_b = [mpmath.log(mpmath.mpf(x)) for x in baseline]
    logs_c = [mpmath.log(mpmath.mpf(y)) for y in current]
    d = sorted(y - x for y in logs_c for x in logs_b)
    pairs = len(d)
    mid = d[pairs // 2] if pairs % 2 else (d[pairs // 2 - 1] + d[pairs // 2]) / 2
    return u, mpmath.exp(mid), mpmath.exp(d[c - 1]), mpmath.exp(d[pairs - c]), p


# More than 100 runs a side, from a few levels: ties within and across.
TIED_LARGE = ([1000 + (i % 5) * 10 for i in range(150)],
              [1000 + (i * 7 % 6) * 10 for i in range(120)])

CASES = {
    "clear_rise": ([1000, 1004, 998, 1002, 1001], [1050, 1046, 1052, 1049, 1051]),
    "same": ([1000, 1010, 990, 1005, 995, 1002], [1003, 992, 1008, 999, 1001, 996]),
    "outlier_low": ([1000, 1004, 998, 1002, 1001, 999, 1003, 997],
                    [1050, 1046, 1052, 10, 1051, 1048, 1047, 1053]),
    "outlier_high": ([1000, 1010, 990, 1005, 995, 1002],
                     [1003, 992, 1008, 999, 5000, 996]),
    "unequal": ([460, 470, 455], [1182, 1190, 1175, 1185, 1179]),
}

if __name__ == "__main__":
    for name, (b, c) in CASES.items():
        est, low, high, p = compare(b, c)
        fmt = lambda v: "none" if v is None else mpmath.nstr(v, 15)
        print(name, fmt(est), fmt(low), fmt(high), fmt(p))
    u, est, low, high, p = normal_with_ties(*TIED_LARGE)
    print("tied_large", mpmath.nstr(u, 15), mpmath.nstr(est, 15), mpmath.nstr(low, 15),
          mpmath.nstr(high, 15), mpmath.nstr(p, 15))
    print("counts 4,4", u_counts(4, 4))
    print("counts 3,5", u_counts(3, 5))
