"""One call shape for every public function of cascade.stats, and the 1.x orders refused
loudly: a TypeError that shows the new shape, never a quiet reading in the new order."""
import inspect
import unittest

import numpy as np

import tool_runs  # noqa: F401  (puts the package on the path, and the cache in a folder of its own)
import cascade
from cascade import stats

STEPS, N0 = 6, 16
X = cascade.generate(0.4, STEPS, N0, seed=1, generator="philox")
DATA_KEYWORDS = "lam=None, intermittency=None, law='lognormal', model='dyadic'"

# name: (its signature, a call in the new shape (None: run by other tests), calls in the 1.x orders).
SHAPES = {
    "check": (f"(x, step_number, n0, *, {DATA_KEYWORDS}, realizations=1, as_text=False, cache=True, progress=None)",
              None,
              [lambda: stats.check(X, 0.4, STEPS, N0), lambda: stats.check(values=X, lam=0.4, step_number=STEPS, n0=N0),
               lambda: stats.check(X, STEPS, N0)]),
    "estimate_lambda": ("(x, step_number, n0, *, law='lognormal', model='dyadic', realizations=1, level=0.95)",
                        lambda: stats.estimate_lambda(X, STEPS, N0),
                        [lambda: stats.estimate_lambda(values=X, step_number=STEPS, n0=N0),
                         lambda: stats.estimate_lambda(X, STEPS, N0, 1)]),
    "lag_covariance": (f"(x, step_number, n0, lags, *, {DATA_KEYWORDS}, weights=None, realizations=1, level=0.95)",
                       lambda: stats.lag_covariance(X, STEPS, N0, [1, 2]),
                       [lambda: stats.lag_covariance(X, [1, 2], STEPS, N0),
                        lambda: stats.lag_covariance(X, 3, STEPS, N0),
                        lambda: stats.lag_covariance(X, np.arange(1, 4), STEPS, N0, lam=0.4),
                        lambda: stats.lag_covariance(X, STEPS, N0, [1], 0.4)]),
    "structure_functions": (f"(x, step_number, n0, q, scales, *, of='walk', {DATA_KEYWORDS}, realizations=1, "
                            "level=0.95)",
                            lambda: stats.structure_functions(X, STEPS, N0, [2.0], [1, 2]),
                            [lambda: stats.structure_functions(X, [2.0], [1, 2], STEPS, N0),
                             lambda: stats.structure_functions(X, 2, 4, STEPS, N0),
                             lambda: stats.structure_functions(X, 2.0, [1, 2], STEPS, N0)]),
    "scaling_exponents": (f"(x, step_number, n0, q, scales, *, of='walk', {DATA_KEYWORDS}, realizations=1, "
                          "level=0.95)",
                          lambda: stats.scaling_exponents(X, STEPS, N0, [2.0], [1, 2, 4]),
                          [lambda: stats.scaling_exponents(X, [2.0], [1, 2, 4], STEPS, N0),
                           lambda: stats.scaling_exponents(X, 2, 4, STEPS, N0)]),
    "log_cumulants": (f"(x, step_number, n0, *, {DATA_KEYWORDS}, realizations=1, level=0.95)",
                      lambda: stats.log_cumulants(X, STEPS, N0),
                      [lambda: stats.log_cumulants(X, STEPS, N0, 1)]),
    "compare_laws": ("(x, step_number, n0, *, lam=None, intermittency=None, laws=('lognormal', 'binomial', "
                     "'microcanonical', 'logpoisson'), model='dyadic', realizations=1)",
                     lambda: stats.compare_laws(X, STEPS, N0, lam=0.4),
                     [lambda: stats.compare_laws(X, 0.4, STEPS, N0), lambda: stats.compare_laws(X, 0.4, STEPS),
                      lambda: stats.compare_laws(X, STEPS, N0, 0.4)]),
    "theory": ("(lam, step_number, n0, *, intermittency=None, lags=None, law='lognormal', model='dyadic')",
               lambda: stats.theory(0.4, STEPS, N0, lags=[1]),
               [lambda: stats.theory(0.4, STEPS, N0, [1]), lambda: stats.theory(0.4, STEPS, N0, None, "binomial")]),
}


class CallShapeTest(unittest.TestCase):
    def test_every_public_function_that_takes_data_or_gives_theory_is_in_the_table(self):
        takes = {name for name in stats.__all__ if inspect.isfunction(getattr(stats, name))
                 and {"x", "step_number"} & set(inspect.signature(getattr(stats, name)).parameters)}
        self.assertEqual(takes - {"intermittency_of", "lambda_for"}, set(SHAPES))

    def test_each_signature_is_the_shape(self):
        for name, (shape, _, _) in SHAPES.items():
            with self.subTest(name):
                self.assertEqual(str(inspect.signature(getattr(stats, name))), shape)

    def test_a_call_in_the_shape_is_taken(self):
        for name, (_, call, _) in SHAPES.items():
            if call is not None:
                with self.subTest(name):
                    call()

    def test_old_orders_are_refused_with_the_shape_in_one_line(self):
        for name, (shape, _, old_calls) in SHAPES.items():
            for number, call in enumerate(old_calls):
                with self.subTest(name, call=number):
                    with self.assertRaises(TypeError) as refused:
                        call()
                    message = str(refused.exception)
                    self.assertTrue(message.endswith(f"; the call shape is {name}{shape}"), message)
                    self.assertNotIn("\n", message)

    def test_a_model_the_core_does_not_name_is_refused(self):
        for name in SHAPES:
            with self.subTest(name):
                call = getattr(stats, name)
                arguments = (0.4, STEPS, N0) if name == "theory" else (X, STEPS, N0)
                extra = {"lags": [1]} if name == "lag_covariance" else {}
                if name in ("structure_functions", "scaling_exponents"):
                    arguments += ([2.0], [1, 2])
                if name == "check":
                    extra["lam"] = 0.4
                for model, error in [("cantor", ValueError), (1, TypeError)]:
                    with self.assertRaises(error) as generate_s:
                        cascade.generate(0.4, STEPS, N0, seed=1, generator="philox", model=model)
                    with self.assertRaises(error) as refused:
                        call(*arguments, model=model, **extra)
                    self.assertEqual(str(refused.exception), str(generate_s.exception))


# Those that take lambda, each with the arguments of a call (lam and intermittency aside) and what tells
# the lambda taken in its result.
TAKE_LAMBDA = {
    "lag_covariance": ((X, STEPS, N0, [1, 2]), {}, lambda r: r.lam),
    "structure_functions": ((X, STEPS, N0, [2.0], [1, 2]), {}, lambda r: r.lam),
    "scaling_exponents": ((X, STEPS, N0, [2.0], [1, 2]), {}, lambda r: r.lam),
    "log_cumulants": ((X, STEPS, N0), {}, lambda r: r.lam),
    "compare_laws": ((X, STEPS, N0), {}, lambda r: r.lam),
    "check": ((X, STEPS, N0), {"cache": True}, lambda r: r.rows[1].theory),
}


class IntermittencyTest(unittest.TestCase):
    def test_intermittency_names_the_lambda_that_lambda_for_gives(self):
        coefficient = 0.02
        lam = stats.lambda_for(coefficient, STEPS)
        for name, (arguments, keywords, taken) in TAKE_LAMBDA.items():
            with self.subTest(name):
                call = getattr(stats, name)
                self.assertEqual(taken(call(*arguments, intermittency=coefficient, **keywords)),
                                 taken(call(*arguments, lam=lam, **keywords)))

    def test_both_are_refused_and_check_needs_one(self):
        for name, (arguments, keywords, _) in TAKE_LAMBDA.items():
            with self.subTest(name):
                with self.assertRaisesRegex(ValueError, "^give lam or intermittency, not both: got lam=0.4 and "
                                                        "intermittency=0.02$"):
                    getattr(stats, name)(*arguments, lam=0.4, intermittency=0.02, **keywords)
        with self.assertRaisesRegex(TypeError, r"^check needs lam= or intermittency=, got neither; the call shape"):
            stats.check(X, STEPS, N0)

    def test_theory_takes_it_in_place_of_its_first_argument(self):
        self.assertEqual(stats.theory(None, STEPS, N0, intermittency=0.02).lam, stats.lambda_for(0.02, STEPS))
        with self.assertRaisesRegex(ValueError, "^give lam or intermittency, not both"):
            stats.theory(0.4, STEPS, N0, intermittency=0.02)


if __name__ == "__main__":
    unittest.main()
