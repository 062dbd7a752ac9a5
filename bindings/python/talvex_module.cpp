// _talvex: the entry point of the shared library for Python. The package
// around it (talvex/__init__.py) turns data frames into a matrix and the
// results into a dict.
#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "app/embedded_analysis.h"

namespace py = pybind11;

namespace {

using Scores = py::array_t<double, py::array::c_style | py::array::forcecast>;

// Runs the analysis without the GIL. At every stage the GIL is taken back
// to call progress and to see whether a signal (Ctrl-C) arrived; a Python
// error there stops the run and is raised when it has unwound.
py::dict analyse(const Scores& scores, std::vector<std::string> labels,
                 std::vector<std::pair<std::string, std::string>> settings, std::string name,
                 const py::object& progress) {
    if (scores.ndim() != 2) throw py::value_error("the data must be a matrix (two dimensions)");
    talvex::EmbeddedAnalysisInput input;
    input.scores = scores.data();
    input.rows = static_cast<int>(scores.shape(0));
    input.columns = static_cast<int>(scores.shape(1));
    input.labels = std::move(labels);
    input.settings = std::move(settings);
    input.dataName = std::move(name);
    std::atomic<bool> cancel{false};
    std::shared_ptr<py::error_already_set> raised;
    input.cancel = &cancel;
    input.progress = [&](const std::string& text) {
        py::gil_scoped_acquire gil;
        if (cancel.load()) return;
        try {
            if (!progress.is_none()) progress(text);
            if (PyErr_CheckSignals() != 0) throw py::error_already_set();
        } catch (py::error_already_set& e) {
            raised = std::make_shared<py::error_already_set>(std::move(e));
            cancel.store(true);
        }
    };
    talvex::EmbeddedAnalysisResult result;
    {
        py::gil_scoped_release release;
        result = talvex::analyseScores(input);
    }
    if (raised) throw *raised;
    py::dict out;
    out["status"] = result.status;
    out["halted"] = result.halted;
    // Bytes: a label need not be UTF-8; the package decodes them.
    out["report"] = py::bytes(result.report);
    out["results"] = py::bytes(result.results);
    out["messages"] = py::bytes(result.messages);
    return out;
}

}  // namespace

PYBIND11_MODULE(_talvex, m) {
    m.doc() = "The analysis of the shared library; use talvex.analyse.";
    m.def("analyse", &analyse, py::arg("scores"), py::arg("labels"), py::arg("settings"),
          py::arg("name"), py::arg("progress"));
}
