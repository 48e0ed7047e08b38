"""The cascade models the estimators and the theory take (model=): the core's table."""


def checked_model(model):
    """`model` if the core's table names it; ValueError (a str naming none) or TypeError otherwise."""
    import cascade  # the package, loaded before its statistics

    names = tuple(cascade.models()) if hasattr(cascade, "models") else ("dyadic",)
    if not isinstance(model, str):
        raise TypeError(f"model must be a str, got {type(model).__name__}")
    if model not in names:
        raise ValueError(f"model must be one of {', '.join(names)}, got {model!r}")
    return model
