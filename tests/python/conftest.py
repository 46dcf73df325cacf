import _tessark  # noqa: F401  (fails early and clearly when the module is not built)
