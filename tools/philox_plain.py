#!/usr/bin/env python3
"""The philox stream's series, written plainly from its definition.

A second, independent statement of the stream, in pure Python (no numpy,
no compiled module), for the known answers and for anyone reimplementing
it: Philox4x32-10 keyed by the seed, the polar method on its words, and the
cascade. Its exp and log are Python's math module's, that is the C
library's; where the C library is one on which the program's own exp and
log were proven bit-identical to it (`cascade --version --verbose` tells),
the two agree to the last bit.

    tools/philox_plain.py SEED LAMBDA STEP_NUMBER N0 [START STOP] [--weights] [--law NAME[:BETA]]

prints values START .. STOP - 1 (default: all) one a line as float.hex, or
the weights with --weights; the factors follow the law (lognormal unless
given; binomial, microcanonical or logpoisson[:BETA]).
"""
import math
import sys

MASK = 0xFFFFFFFF
MULTIPLIERS = (0xD2511F53, 0xCD9E8D57)
KEY_STEPS = (0x9E3779B9, 0xBB67AE85)


def philox4x32_10(counter, key):
    """The four output words of Philox4x32-10 for four counter words and two key words."""
    c0, c1, c2, c3 = counter
    k0, k1 = key
    for round_number in range(10):
        if round_number > 0:
            k0 = (k0 + KEY_STEPS[0]) & MASK
            k1 = (k1 + KEY_STEPS[1]) & MASK
        product0 = MULTIPLIERS[0] * c0
        product1 = MULTIPLIERS[1] * c2
        c0, c1, c2, c3 = ((product1 >> 32) ^ c1 ^ k0, product1 & MASK, (product0 >> 32) ^ c3 ^ k1, product0 & MASK)
    return c0, c1, c2, c3


def polar_pair(seed, generation, pair):
    """(v1, v2) of the first accepted attempt of a pair of a generation."""
    key = (seed & MASK, seed >> 32)
    attempt = 0
    while True:
        r0, r1, r2, r3 = philox4x32_10((pair & MASK, pair >> 32, attempt, generation), key)
        v1 = 2.0 * (float(((r1 << 32) | r0) >> 11) * 2.0 ** -53) - 1.0
        v2 = 2.0 * (float(((r3 << 32) | r2) >> 11) * 2.0 ** -53) - 1.0
        rsq = v1 * v1 + v2 * v2
        if rsq < 1.0 and rsq != 0.0:
            return v1, v2
        attempt += 1


def deviates(seed, generation, pair):
    """The two deviates of a pair: for child (or value) 2p and 2p + 1."""
    v1, v2 = polar_pair(seed, generation, pair)
    rsq = v1 * v1 + v2 * v2
    fac = math.sqrt(-2.0 * math.log(rsq) / rsq)
    return v1 * fac, v2 * fac


# Every law but the lognormal draws its factors from this attempt word, one
# the polar pairs never reach.
LAW_ATTEMPT = 0xFFFFFFFF


def uniforms(seed, generation, pair):
    """(u1, u2) in [0, 1) of a pair's one draw for the laws beyond the lognormal."""
    r0, r1, r2, r3 = philox4x32_10((pair & MASK, pair >> 32, LAW_ATTEMPT, generation), (seed & MASK, seed >> 32))
    return float(((r1 << 32) | r0) >> 11) * 2.0 ** -53, float(((r3 << 32) | r2) >> 11) * 2.0 ** -53


def law_factor(law, beta, sigma, seed, generation, child):
    """W of one child under a law beyond the lognormal, as its definition draws it."""
    u1, u2 = uniforms(seed, generation, child >> 1)
    if law in ("binomial", "microcanonical"):
        c = -0.5 * math.log(0.5 * (math.exp(2.0 * sigma) + math.exp(-2.0 * sigma)))
        if law == "binomial":
            e = 1.0 if (u1, u2)[child & 1] < 0.5 else -1.0
        else:
            e = (1.0 if u1 < 0.5 else -1.0) * (1.0 if child & 1 == 0 else -1.0)
        return math.exp(c + sigma) if e > 0 else math.exp(c - sigma)
    lb = math.log(beta)
    mu = sigma * sigma / (lb * lb)
    c = 0.5 * mu * (1.0 - beta * beta)
    u = (u1, u2)[child & 1]
    p = math.exp(-mu)
    f = p
    k = 0
    while u >= f:
        grown_p = p * mu / (k + 1)
        if f + grown_p == f:
            break
        k += 1
        p = grown_p
        f = f + p
    return math.exp(c + k * lb)


def series(seed, lam, step_number, n0, start=None, stop=None, law="lognormal"):
    """(values, weights) of [start, stop), each value made from its own ancestors."""
    count = n0 << step_number
    start = 0 if start is None else start
    stop = count if stop is None else stop
    sigma = math.sqrt(lam * lam / step_number)
    s2 = sigma * sigma
    name, _, parameter = law.partition(":")
    beta = float(parameter) if parameter else 2.0 / 3.0
    values, weights = [], []
    for index in range(start, stop):
        weight = 1.0
        for generation in range(step_number):
            child = index >> (step_number - generation - 1)
            if name == "lognormal":
                z = deviates(seed, generation, child >> 1)[child & 1]
                weight = math.exp(sigma * z - s2) * weight
            else:
                weight = law_factor(name, beta, sigma, seed, generation, child) * weight
        weights.append(weight)
        values.append(deviates(seed, step_number, index >> 1)[index & 1] * weight)
    return values, weights


def main(words):
    weights_wanted = "--weights" in words
    words = [w for w in words if w != "--weights"]
    law = "lognormal"
    if "--law" in words and words.index("--law") + 1 < len(words):
        at = words.index("--law")
        law = words[at + 1]
        words = words[:at] + words[at + 2:]
    if len(words) not in (4, 6):
        sys.stderr.write(__doc__)
        return 2
    seed, lam, step_number, n0 = int(words[0]), float(words[1]), int(words[2]), int(words[3])
    bounds = (int(words[4]), int(words[5])) if len(words) == 6 else (None, None)
    values, weights = series(seed, lam, step_number, n0, *bounds, law=law)
    for value in weights if weights_wanted else values:
        print(value.hex())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
