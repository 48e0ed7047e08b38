"""The cascade model the estimators and the theory are taken under (model=), refused as
cascade.generate refuses it: by the core's table of models, in its words."""


def checked_model(model):
    """`model` if the core's table names it; the TypeError or ValueError of generate otherwise."""
    from cascade import _native  # the package's compiled module, loaded with the package

    # The philox stream draws every law and model the core has.
    _native.check_run(0.0, 1, 1, 0, "philox", None, model)
    return model
