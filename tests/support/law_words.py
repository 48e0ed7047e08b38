"""The words every face refuses an unknown law with, built from the core's
table of laws: a law added to the table changes them, and the tests that hold
a message to them follow without an edit."""
import cascade


def law_choices():
    """'lognormal, binomial, microcanonical or logpoisson[:BETA] (RULE)': the laws, as a refusal lists them."""
    items = [f"{name}[:BETA] ({row['rule']})" if row["parameter"] else name for name, row in cascade.laws().items()]
    return items[0] if len(items) == 1 else ", ".join(items[:-1]) + " or " + items[-1]
