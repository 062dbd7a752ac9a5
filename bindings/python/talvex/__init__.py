"""Exploratory factor analysis of test and questionnaire data.

    import talvex
    result = talvex.analyse(frame)          # a pandas DataFrame or a NumPy array
    result["factors"], result["rotated_loadings"]
    print(result["report"])

The members of the result are those of the JSON results of `talvex analyse`
(docs/results-schema.md), matrices as two-dimensional NumPy arrays, plus
`report`, the text of the report.
"""

import json
import math
import numbers

import numpy as np

from . import _talvex

__all__ = ["analyse", "AnalysisError"]


class AnalysisError(ValueError):
    """The settings or the data were refused, or the run failed.

    `report` and `results` hold what a failed run wrote (None when no run
    started)."""

    def __init__(self, message, report=None, results=None):
        super().__init__(message)
        self.report = report
        self.results = results


def _text(raw):
    return raw.decode("utf-8", "replace")


def _setting(value):
    if isinstance(value, bool):
        return "on" if value else "off"
    return str(value)


def _is_number(x):
    return isinstance(x, numbers.Real) and not isinstance(x, bool)


def _arrays(value):
    """Lists of equal-length rows of numbers become 2-D arrays, at any depth."""
    if isinstance(value, dict):
        return {k: _arrays(v) for k, v in value.items()}
    if isinstance(value, list):
        rows = value
        if (rows and all(isinstance(r, list) and r for r in rows)
                and len({len(r) for r in rows}) == 1
                and all(_is_number(x) for r in rows for x in r)):
            return np.array(rows, dtype=float)
        return [_arrays(v) for v in value]
    return value


def _missing(x):
    return x is None or (isinstance(x, float) and math.isnan(x))


def _frame_scores(frame):
    import pandas as pd

    columns = []
    for label in frame.columns:
        column = frame[label]
        if pd.api.types.is_bool_dtype(column):
            raise AnalysisError("column %r holds true/false values, not scores" % (label,))
        try:
            columns.append(pd.to_numeric(column, errors="raise").to_numpy(dtype=float, na_value=np.nan))
        except (TypeError, ValueError):
            raise AnalysisError("column %r is not numeric" % (label,)) from None
    labels = [str(label) for label in frame.columns]
    scores = np.column_stack(columns) if columns else np.empty((len(frame), 0))
    return scores, labels


def _array_scores(data):
    array = np.asarray(data)
    if array.dtype == object:
        try:
            array = np.vectorize(lambda x: np.nan if _missing(x) else float(x), otypes=[float])(array)
        except (TypeError, ValueError):
            raise AnalysisError("the data hold a value that is not a number") from None
    elif not np.issubdtype(array.dtype, np.number) or np.issubdtype(array.dtype, np.complexfloating):
        raise AnalysisError("the data are not numbers (%s)" % array.dtype)
    return array, []


def analyse(data, factors=None, *, name="data", progress=None, **settings):
    """Reads, configures and computes the analysis of data.

    data: a pandas DataFrame (its column names are the labels) or a matrix
    of participants x items; NaN and None are missing scores.
    factors: the number of factors; None for the number the procedure
    advises. settings: any control of the dialogs by its key, e.g.
    factorCountProcedure="PA", dispersionType="polychoric",
    simplicityRotation="Promin"; True and False are on and off.
    name: what the report calls the data. progress: called with the text
    of each stage. Ctrl-C stops the run (KeyboardInterrupt).
    """
    if hasattr(data, "columns") and hasattr(data, "to_numpy"):
        scores, labels = _frame_scores(data)
    else:
        scores, labels = _array_scores(data)
    if scores.ndim != 2:
        raise AnalysisError("the data must be a matrix of participants x items")
    pairs = []
    if factors is not None:
        pairs.append(("factorCount", _setting(factors)))
    pairs += [(key, _setting(value)) for key, value in settings.items()]
    out = _talvex.analyse(np.ascontiguousarray(scores, dtype=np.float64), labels, pairs, str(name),
                          progress)
    messages = _text(out["messages"]).strip()
    report = _text(out["report"]) if out["report"] else None
    results = json.loads(_text(out["results"])) if out["results"] else None
    if out["status"] != 0:
        raise AnalysisError(messages or "the run failed", report, results)
    result = _arrays(results)
    result["report"] = report
    return result
