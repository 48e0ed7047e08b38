"""python3 run_classes.py MODULE CLASS...: runs those test classes of a
unittest module; python3 run_classes.py MODULE --others CLASS...: runs every
other class of it. CTest runs a long module as several tests side by side,
each of the module's tests in exactly one of them."""
import sys
import unittest


def cases(suite):
    for test in suite:
        if isinstance(test, unittest.TestSuite):
            yield from cases(test)
        else:
            yield test


def main(module, *names):
    others = names[:1] == ("--others",)
    named = set(names[1:] if others else names)
    found = list(cases(unittest.defaultTestLoader.loadTestsFromName(module)))
    # A class renamed or removed must not leave its test running nothing.
    missing = named - {type(test).__name__ for test in found}
    chosen = [test for test in found if (type(test).__name__ in named) != others]
    if missing or not chosen:
        print(f"run_classes: {module} has no class {', '.join(sorted(missing))}" if missing
              else f"run_classes: no test of {module} chosen", file=sys.stderr)
        return 2
    result = unittest.TextTestRunner().run(unittest.TestSuite(chosen))
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
