"""What the check and the estimate refuse, whichever module finds it."""


class UncheckableSeries(ValueError):
    """What is left of the series cannot carry the check or the estimate; the message says why."""
