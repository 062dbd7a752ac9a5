// The entry point of the shared library for R; R/analyse.R turns data frames
// into a matrix and the JSON results into a list.
#include <Rcpp.h>
#include <R_ext/Utils.h>

#include <talvex/embedded_analysis.h>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

namespace {

void checkInterrupt(void*) { R_CheckUserInterrupt(); }

// Whether the user pressed Ctrl-C (or Esc), without R's jump out of the call.
bool interruptPending() { return R_ToplevelExec(checkInterrupt, nullptr) == FALSE; }

}  // namespace

// [[Rcpp::export]]
Rcpp::List analyse_scores(Rcpp::NumericMatrix x, std::vector<std::string> labels,
                          std::vector<std::string> keys, std::vector<std::string> values,
                          std::string name, Rcpp::Nullable<Rcpp::Function> progress) {
    const int rows = x.nrow();
    const int columns = x.ncol();
    // R's matrices are column-major, the library's row-major; NA is a NaN.
    std::vector<double> scores(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns));
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < columns; ++j)
            scores[static_cast<std::size_t>(i) * static_cast<std::size_t>(columns) + static_cast<std::size_t>(j)] = x(i, j);
    talvex::EmbeddedAnalysisInput input;
    input.scores = scores.data();
    input.rows = rows;
    input.columns = columns;
    input.labels = std::move(labels);
    for (std::size_t k = 0; k < keys.size() && k < values.size(); ++k)
        input.settings.emplace_back(keys[k], values[k]);
    input.dataName = std::move(name);
    std::atomic<bool> cancel{false};
    bool interrupted = false;
    std::string callbackError;
    input.cancel = &cancel;
    input.progress = [&](const std::string& text) {
        if (cancel.load()) return;
        if (progress.isNotNull()) {
            try {
                Rcpp::Function(progress)(text);
            } catch (const Rcpp::internal::InterruptedException&) {
                interrupted = true;
                cancel.store(true);
                return;
            } catch (const std::exception& e) {
                callbackError = e.what();
                cancel.store(true);
                return;
            }
        }
        if (interruptPending()) {
            interrupted = true;
            cancel.store(true);
        }
    };
    talvex::EmbeddedAnalysisResult result = talvex::analyseScores(input);
    if (interrupted) throw Rcpp::internal::InterruptedException();
    if (!callbackError.empty()) Rcpp::stop("progress: " + callbackError);
    return Rcpp::List::create(Rcpp::Named("status") = result.status,
                              Rcpp::Named("report") = result.report,
                              Rcpp::Named("results") = result.results,
                              Rcpp::Named("messages") = result.messages);
}
