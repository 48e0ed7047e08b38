"""Tables of refused calls: each must raise the exception named, in one line holding the words
named, and let no numpy warning out on the way."""
import warnings

# Every level that leaves an interval without meaning, and what it raises.
BAD_LEVELS = [(-0.1, ValueError), (0, ValueError), (1, ValueError), (1.5, ValueError), (float("nan"), ValueError),
              (True, TypeError), ("0.9", TypeError), (None, TypeError)]


def level_cases(call):
    """(name, call, error, words) of `call(level)` at each of BAD_LEVELS."""
    return [(f"level {level!r}", lambda level=level: call(level), error, "level") for level, error in BAD_LEVELS]


def assert_refusals(test, cases):
    """cases: (name, call, error, words)."""
    for name, call, error, words in cases:
        with test.subTest(name):
            with warnings.catch_warnings(record=True) as caught:
                warnings.simplefilter("always")
                with test.assertRaises(error) as refused:
                    call()
            message = str(refused.exception)
            test.assertIn(words, message)
            test.assertNotIn("\n", message)
            test.assertEqual([str(warning.message) for warning in caught], [])
