"""The theory of each multiplier law, derived again in the test: by brute force
over every outcome of a small tree (binomial, microcanonical), by quadrature
and Poisson sums (lognormal, logpoisson), and against ensembles drawn here in
numpy from each law's definition. Runs under the cascade_theory suite."""
import itertools
import math
import unittest

import numpy as np
from scipy import integrate

import tool_runs  # noqa: F401  (puts the package on the path)
import cascade
from cascade.stats import parse_law, theory
from law_words import law_choices
from cascade.stats import _laws

LAWS = [*cascade.laws(), "logpoisson:0.4"]


def beta_of(law):
    return float(law.partition(":")[2] or 2.0 / 3.0)


def offset(law, sigma):
    """The constant c of log W = c + sigma eps or c + K ln beta, from the laws' definitions."""
    if law.startswith("logpoisson"):
        beta = beta_of(law)
        return 0.5 * sigma ** 2 / math.log(beta) ** 2 * (1.0 - beta ** 2)
    return -0.5 * math.log(math.cosh(2.0 * sigma))


def factor_expectation(law, sigma, f):
    """E[f(log W)] for one child's factor, summed or integrated from its law."""
    if law == "lognormal":
        density = lambda z: math.exp(-z * z / 2.0) / math.sqrt(2.0 * math.pi)  # noqa: E731
        # Beyond |z| = 40 the density is below e^-800.
        return integrate.quad(lambda z: f(sigma * z - sigma ** 2) * density(z), -40.0, 40.0, points=[0.0],
                              epsabs=1e-14, epsrel=1e-12, limit=200)[0]
    if law.startswith("logpoisson"):
        return poisson_expectation(sigma ** 2 / math.log(beta_of(law)) ** 2,
                                   lambda k: f(offset(law, sigma) + k * math.log(beta_of(law))))
    if law in ("binomial", "microcanonical"):
        return 0.5 * (f(offset(law, sigma) + sigma) + f(offset(law, sigma) - sigma))
    # A law not written out here: its law of log W as scipy integrates it.
    return parse_law(law).log_factor_distribution(sigma ** 2).expect(f, epsabs=1e-14, epsrel=1e-12, limit=200)


def poisson_expectation(mu, f):
    """E[f(K)], K ~ Poisson(mu), summed until the terms, past their peak, are far below a double's
    precision of the total (f here grows at most exponentially, so the terms fall like 1/k! at last)."""
    total, probability, k, previous = 0.0, math.exp(-mu), 0, math.inf
    while True:
        term = probability * f(k)
        total += term
        if k > mu + 20 and abs(term) <= 1e-18 * abs(total) and abs(term) <= previous:
            return total
        previous = abs(term)
        k += 1
        probability *= mu / k


def cumulants(law, sigma):
    mean = factor_expectation(law, sigma, lambda x: x)
    central = [factor_expectation(law, sigma, lambda x, j=j: (x - mean) ** j) for j in (2, 3, 4)]
    return mean, central[0], central[1], central[2] - 3.0 * central[0] ** 2


def tree(steps, n0):
    """A (values, factors) matrix: 1 where a final value carries the factor of child (k, a),
    a = value >> (steps - k), the children of step k numbered across all n0 cells."""
    children = [(k, a) for k in range(1, steps + 1) for a in range(n0 << k)]
    matrix = np.zeros((n0 << steps, len(children)))
    for column, (k, a) in enumerate(children):
        matrix[[i for i in range(n0 << steps) if i >> (steps - k) == a], column] = 1.0
    return children, matrix


def enumerated_log_weights(law, sigma, steps, n0):
    """Every equally likely outcome of the coins of a binomial or microcanonical tree: an
    (outcomes, values) array of log w."""
    children, matrix = tree(steps, n0)
    if law == "binomial":
        signs = np.eye(len(children))  # a coin of its own for every child
    else:
        # One coin per parent (k, a >> 1): + to its left child, - to its right.
        parents = sorted({(k, a >> 1) for k, a in children})
        signs = np.array([[(1.0 if a % 2 == 0 else -1.0) * (parent == (k, a >> 1)) for parent in parents]
                          for k, a in children])
    coins = np.array(list(itertools.product((-1.0, 1.0), repeat=signs.shape[1])))
    return steps * offset(law, sigma) + sigma * coins @ signs.T @ matrix.T


def pair_averages(covariance):
    """The (values, values) covariance averaged over the N - l pairs at each lag l = 1 .. N-1."""
    count = covariance.shape[0]
    return np.array([np.mean([covariance[i, i + lag] for i in range(count - lag)]) for lag in range(1, count)])


def normal_absolute_moment(q):
    """E|g|^q by quadrature."""
    return 2.0 * integrate.quad(lambda z: z ** q * math.exp(-z * z / 2.0) / math.sqrt(2.0 * math.pi),
                                0.0, np.inf, epsabs=1e-14, epsrel=1e-12)[0]


class LawParserTest(unittest.TestCase):
    def test_every_law_of_the_core_has_a_theory_and_no_other(self):
        import cascade
        self.assertEqual(set(_laws._THEORIES), set(cascade.laws()))
        for name, row in cascade.laws().items():
            law = parse_law(name)
            self.assertEqual(law.name, name)
            # A bare name takes the core's default parameter.
            self.assertEqual(getattr(law, "beta", None), row["default"])

    def test_a_law_without_a_theory_is_refused_in_one_line(self):
        kept = _laws._THEORIES.pop("binomial")
        try:
            with self.assertRaises(ValueError) as caught:
                parse_law("binomial")
        finally:
            _laws._THEORIES["binomial"] = kept
        self.assertEqual(str(caught.exception),
                         "law binomial has no theory in cascade.stats (it knows "
                         f"{', '.join(name for name in cascade.laws() if name != 'binomial')})")

    def test_reads_each_law_and_logpoissons_beta(self):
        for text, kind, beta in [("lognormal", _laws.LogNormal, None), ("binomial", _laws.Binomial, None),
                                 ("microcanonical", _laws.Microcanonical, None),
                                 ("logpoisson", _laws.LogPoisson, 2.0 / 3.0),
                                 ("logpoisson:0.667", _laws.LogPoisson, 0.667),
                                 ("logpoisson:.25", _laws.LogPoisson, 0.25),
                                 ("logpoisson:0.999", _laws.LogPoisson, 0.999)]:
            with self.subTest(law=text):
                law = parse_law(text)
                self.assertIs(type(law), kind)
                self.assertEqual(law.name, text.partition(":")[0])
                if beta is not None:
                    self.assertEqual(law.beta, beta)
                self.assertEqual(parse_law(law.text), law)

    def test_refuses_other_text_naming_the_laws_and_the_text(self):
        # The program's own reading: its messages, and its decimals ("+0.5", "1e-1" are numbers there too).
        names = f"law must be {law_choices()}, got "
        parameter = "law logpoisson's parameter must be a decimal number beta with 0 < beta < 1, got "
        for text, message in [("", names + "''"), ("x", names + "'x'"), ("Lognormal", names + "'Lognormal'"),
                              ("lognormal:0.5", names + "'lognormal:0.5'"), ("binomial:", names + "'binomial:'"),
                              (" binomial", names + "' binomial'"), ("logpoisson:", parameter + "''"),
                              ("logpoisson:0", parameter + "'0'"), ("logpoisson:1", parameter + "'1'"),
                              ("logpoisson:1.5", parameter + "'1.5'"), ("logpoisson:-0.5", parameter + "'-0.5'"),
                              ("logpoisson:nan", parameter + "'nan'"), ("logpoisson: 0.5", parameter + "' 0.5'"),
                              ("logpoisson:0.5 ", parameter + "'0.5 '"), ("logpoisson:0.5:1", parameter + "'0.5:1'"),
                              ("logpoisson:0.99999999999999999999",
                               parameter + "'0.99999999999999999999', which rounds to 1 in the doubles"),
                              ("logpoisson:1e-999", parameter + "'1e-999', which rounds to 0 in the doubles")]:
            with self.subTest(law=text):
                with self.assertRaises(ValueError) as caught:
                    parse_law(text)
                self.assertEqual(str(caught.exception), message)
                with self.assertRaises(ValueError):
                    theory(0.5, 4, 1, law=text)
        self.assertEqual(parse_law("logpoisson:+0.5").beta, 0.5)
        self.assertEqual(parse_law("logpoisson:1e-1").beta, 0.1)

    def test_refuses_what_is_not_a_str(self):
        for value in [None, 0.5, True, b"lognormal", ["binomial"]]:
            with self.subTest(law=value):
                with self.assertRaisesRegex(TypeError, "^law must be a str, got "):
                    theory(0.5, 4, 1, law=value)


class OneFactorTest(unittest.TestCase):
    """One step's factor: the log-cumulants, E[W^q], zeta and tau against sums and integrals of its law."""

    def test_log_cumulants_and_moments(self):
        for law in LAWS:
            for lam, steps in [(0.6, 4), (1.7, 3), (0.2, 9)]:
                sigma = lam / math.sqrt(steps)
                result = theory(lam, steps, 2, law=law)
                with self.subTest(law=law, lam=lam, steps=steps):
                    np.testing.assert_allclose(result.log_cumulants, cumulants(law, sigma), rtol=1e-8, atol=1e-12)
                    self.assertAlmostEqual(result.log_cumulants[1], sigma ** 2, places=12)
                    self.assertAlmostEqual(result.moment_of_factor(2.0), 1.0, places=12)
                    for q in (-1.5, -1.0, 0.5, 1.0, 3.0):
                        expected = factor_expectation(law, sigma, lambda x, q=q: math.exp(q * x))
                        self.assertAlmostEqual(result.moment_of_factor(q) / expected, 1.0, places=9)
                        self.assertAlmostEqual(result.zeta(q), -math.log2(expected), places=9)
                        # Boxes of whole cells at step k: sum over the 2^k boxes of E[(2^-k W_k^2)^q].
                        squared = factor_expectation(law, sigma, lambda x, q=q: math.exp(2.0 * q * x))
                        for k in (1, steps):
                            boxes = 2.0 ** k * (2.0 ** -k) ** q * squared ** k
                            self.assertAlmostEqual(result.tau(q), -math.log2(boxes) / k, places=9)
                    np.testing.assert_allclose(result.moment_of_factor(np.array([0.5, 3.0])),
                                               [result.moment_of_factor(0.5), result.moment_of_factor(3.0)])

    def test_c1_c2_are_the_first_two_terms_of_zeta(self):
        for law in LAWS:
            result = theory(0.9, 5, 1, law=law)
            kappa = cumulants(law, 0.9 / math.sqrt(5))
            with self.subTest(law=law):
                self.assertAlmostEqual(result.c1, -kappa[0] / math.log(2.0), places=10)
                self.assertAlmostEqual(result.c2, -kappa[1] / math.log(2.0), places=10)
                # The cumulant series of zeta: its third derivative at 0 is -kappa3 / ln 2.
                h = 1e-2
                zeta = result.zeta(np.array([2 * h, h, -h, -2 * h]))
                third = (zeta[0] - 2 * zeta[1] + 2 * zeta[2] - zeta[3]) / (2 * h ** 3)
                self.assertAlmostEqual(third, -kappa[2] / math.log(2.0), places=4)

    def test_lognormal_keeps_todays_values(self):
        for lam, steps, n0 in [(0.4, 10, 64), (1.3, 3, 1)]:
            sigma2 = lam * lam / steps
            default, named = theory(lam, steps, n0), theory(lam, steps, n0, law="lognormal")
            q = np.linspace(-3.0, 4.0, 15)
            with self.subTest(lam=lam, steps=steps):
                self.assertEqual(default.law, named.law)
                self.assertAlmostEqual(default.mean_log_weight, -lam * lam, places=13)
                self.assertAlmostEqual(default.mean_log_magnitude, -lam * lam - (np.euler_gamma + math.log(2)) / 2,
                                       places=13)
                self.assertEqual(default.variance_log_magnitude, lam * lam + math.pi ** 2 / 8)
                self.assertAlmostEqual(default.c1, sigma2 / math.log(2.0), places=14)
                self.assertAlmostEqual(default.c2, -sigma2 / math.log(2.0), places=14)
                np.testing.assert_allclose(default.zeta(q), default.c1 * q + default.c2 * q * q / 2, rtol=1e-12,
                                           atol=1e-15)
                np.testing.assert_array_equal(default.lag_covariance, named.lag_covariance)
                self.assertEqual(default.log_cumulants, (-sigma2, sigma2, 0.0, 0.0))


class TreeTest(unittest.TestCase):
    """A whole small tree: E[w^q], E[|x|^q] and the lag covariance of log w."""

    def log_weight_covariance(self, law, sigma, steps, n0):
        """Cov(log w_i, log w_j) and E[w_i^q] (a function of q, per value), exactly."""
        if law in ("binomial", "microcanonical"):
            logs = enumerated_log_weights(law, sigma, steps, n0)
            centred = logs - logs.mean(axis=0)
            return centred.T @ centred / logs.shape[0], lambda q: np.exp(q * logs).mean(axis=0)
        # Independent factors: shared children times one factor's variance, integrated or summed.
        kappa = cumulants(law, sigma)
        _, matrix = tree(steps, n0)
        if law == "lognormal":
            def weight_moment(q):  # log w is normal: a sum of independent normals
                return np.full(n0 << steps, integrate.quad(
                    lambda z: math.exp(q * (steps * kappa[0] + math.sqrt(steps * kappa[1]) * z) - z * z / 2.0),
                    -40.0, 40.0, points=[0.0], limit=200)[0] / math.sqrt(2.0 * math.pi))
        elif law.startswith("logpoisson"):
            beta = beta_of(law)

            def weight_moment(q):  # the n Poisson counts on a path add up to one of rate n mu
                mu = sigma ** 2 / math.log(beta) ** 2
                return np.full(n0 << steps, poisson_expectation(
                    steps * mu, lambda k: math.exp(q * (steps * offset(law, sigma) + k * math.log(beta)))))
        else:
            def weight_moment(q):  # the n independent factors on a path: their moments multiply
                return np.full(n0 << steps, factor_expectation(law, sigma, lambda x: math.exp(q * x)) ** steps)
        return kappa[1] * matrix @ matrix.T, weight_moment

    def test_moments_of_weights_and_magnitudes(self):
        for law in LAWS:
            for lam, steps, n0 in [(0.8, 3, 1), (1.4, 2, 2)]:
                result = theory(lam, steps, n0, law=law)
                _, weight_moment = self.log_weight_covariance(law, lam / math.sqrt(steps), steps, n0)
                for q in (-1.5, -0.5, 0.5, 2.0, 3.0):
                    with self.subTest(law=law, lam=lam, steps=steps, q=q):
                        expected = weight_moment(q)
                        np.testing.assert_allclose(result.moment_of_weight(q), expected, rtol=1e-8)
                        magnitude = result.moment_of_magnitude(q)
                        if q > -1.0:
                            self.assertAlmostEqual(magnitude / (expected[0] * normal_absolute_moment(q)), 1.0,
                                                   places=7)
                        else:
                            self.assertEqual(magnitude, math.inf)

    def test_lag_covariance_of_log_weights(self):
        for law in LAWS:
            for lam, steps, n0 in [(0.8, 3, 1), (1.4, 2, 2)]:
                count = n0 << steps
                result = theory(lam, steps, n0, lags=range(1, count), law=law)
                covariance, _ = self.log_weight_covariance(law, lam / math.sqrt(steps), steps, n0)
                with self.subTest(law=law, lam=lam, steps=steps, n0=n0):
                    np.testing.assert_allclose(np.diag(covariance), lam * lam, rtol=1e-9)
                    self.assertAlmostEqual(result.variance_log_weight, lam * lam, places=12)
                    self.assertAlmostEqual(result.variance_log_magnitude, lam * lam + math.pi ** 2 / 8, places=12)
                    np.testing.assert_allclose(result.log_weight_lag_covariance, pair_averages(covariance),
                                               rtol=1e-8, atol=1e-12)
                    np.testing.assert_array_equal(result.lag_covariance, result.log_weight_lag_covariance)

    def test_microcanonical_at_powers_of_two(self):
        """sigma^2 N/(N - l) (n - p - 3 + 3 2^(p - n)) at l = 2^p: about one sigma^2 below the other
        laws' at short lags, -sigma^2/2 N/(N - l) at half a cell (where the other laws' reach 0) and
        0 at a whole cell."""
        for lam, steps, n0 in [(0.5, 12, 3), (1.0, 6, 1)]:
            count, sigma2 = n0 << steps, lam * lam / steps
            lags = [1 << p for p in range(steps + 1) if (1 << p) < count]
            result = theory(lam, steps, n0, lags=lags, law="microcanonical")
            for lag, value in zip(lags, result.lag_covariance):
                p = lag.bit_length() - 1
                with self.subTest(lam=lam, steps=steps, lag=lag):
                    expected = sigma2 * count / (count - lag) * (steps - p - 3 + 3 * 2.0 ** (p - steps))
                    self.assertAlmostEqual(value, expected, places=12)

    def test_microcanonical_box_energies_scale_exactly_with_tau(self):
        """Sibling energies are conserved, so the actual share of a cell's energy in each box of
        step k has sum_boxes E[mu^q] = (2^-k)^tau(q) at every k, not only in the limit."""
        lam, steps = 1.2, 3
        squares = np.exp(2.0 * enumerated_log_weights("microcanonical", lam / math.sqrt(steps), steps, 1))
        np.testing.assert_allclose(squares.sum(axis=1), 2.0 ** steps, rtol=1e-12)
        result = theory(lam, steps, 1, law="microcanonical")
        for k in range(1, steps + 1):
            shares = squares.reshape(squares.shape[0], 1 << k, -1).sum(axis=2) / squares.sum(axis=1, keepdims=True)
            for q in (-1.0, 0.5, 2.0, 3.5):
                with self.subTest(k=k, q=q):
                    self.assertAlmostEqual(-math.log2((shares ** q).mean(axis=0).sum()) / k, result.tau(q), places=10)


def drawn_log_weights(law, lam, steps, n0, realizations, rng):
    """log w of `realizations` series of n0 2^steps values, drawn from the law's definition."""
    sigma = lam / math.sqrt(steps)
    logs = np.zeros((realizations, n0 << steps))
    for k in range(1, steps + 1):
        children = n0 << k
        if law == "lognormal":
            factors = sigma * rng.standard_normal((realizations, children)) - sigma ** 2
        elif law == "binomial":
            factors = offset(law, sigma) + sigma * rng.choice((-1.0, 1.0), (realizations, children))
        elif law == "microcanonical":
            coins = rng.choice((-1.0, 1.0), (realizations, children // 2))
            factors = offset(law, sigma) + sigma * np.stack([coins, -coins], axis=2).reshape(realizations, children)
        elif law.startswith("logpoisson"):
            mu = sigma ** 2 / math.log(beta_of(law)) ** 2
            factors = offset(law, sigma) + rng.poisson(mu, (realizations, children)) * math.log(beta_of(law))
        else:
            # A law not written out here: its theory's own draw, about its mean.
            theory_of_law = parse_law(law)
            factors = (theory_of_law.log_cumulants(sigma ** 2)[0]
                       + theory_of_law.centred_log_factors(rng, sigma ** 2, (realizations, children)))
        logs += np.repeat(factors, 1 << (steps - k), axis=1)
    return logs


class DrawnEnsembleTest(unittest.TestCase):
    """2000 series of 8 x 2^5 values drawn for each law at lambda = 1. Series are independent,
    so each statistic's standard error is the spread of its per-series values over sqrt(2000);
    each must lie within 4.5 of them of theory (about 1 in 150000 for one normal statistic, so
    the 65 comparisons fail by chance well below 1 in 1000; the seed is fixed, and its largest
    |deviation| is 2.9). The laws' means of log w lie 32 to 120 standard errors apart (binomial
    and microcanonical share theirs), and microcanonical's lag covariance lies sigma^2 = 0.2
    below the other laws', about 270 of its standard errors at lag 1. A microcanonical cell's
    values are a permutation of fixed values (each parent hands c + sigma and c - sigma to its
    two children, in one order or the other), so its one-point statistics have no spread and
    must equal theory to rounding."""

    def test_statistics_of_log_weights_and_weights(self):
        lam, steps, n0, realizations = 1.0, 5, 8, 2000
        lags = [1, 2, 3, 4, 8, 16, 31]
        rng = np.random.default_rng(20240611)
        for law in LAWS:
            result = theory(lam, steps, n0, lags=lags, law=law)
            logs = drawn_log_weights(law, lam, steps, n0, realizations, rng)
            centred = logs - result.mean_log_weight
            rows = [("mean log w", logs.mean(axis=1), result.mean_log_weight),
                    ("variance log w", (centred ** 2).mean(axis=1), result.variance_log_weight)]
            rows += [(f"C({lag})", (centred[:, :-lag] * centred[:, lag:]).mean(axis=1), expected)
                     for lag, expected in zip(lags, result.log_weight_lag_covariance)]
            rows += [(f"E[w^{q}]", np.exp(q * logs).mean(axis=1), result.moment_of_weight(q))
                     for q in (-1.0, 0.5, 1.0, 1.5)]
            for name, per_series, expected in rows:
                error = per_series.std(ddof=1) / math.sqrt(realizations)
                with self.subTest(law=law, statistic=name):
                    self.assertLess(abs(per_series.mean() - expected), 4.5 * error + 1e-12 * abs(expected))


if __name__ == "__main__":
    unittest.main()
