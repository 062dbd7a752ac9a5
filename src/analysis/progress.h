// The progress ticker: counts the matrices created during a run and moves a
// bouncing bar one step every 501 ticks while the progress window is shown.
#pragma once

#include <cstdint>
#include <string>

namespace talvex {

// The progress window as the run sees it.
class ProgressView {
public:
    virtual ~ProgressView() = default;
    virtual void showProgress() = 0;
    virtual void hideProgress() = 0;
    virtual void setProgressText(const std::string& text) = 0;
    // Sets the bar position (0 .. 1000) and the direction of its step.
    virtual void setProgressBar(int position, int step) = 0;
    // Synchronous repaint of the progress window.
    virtual void repaintProgress() = 0;
};

class ProgressTicker {
public:
    // Attaches a view: from now on every matrix construction ticks, and the
    // view is repainted whenever the bar moves. detach() stops both.
    void attach(ProgressView& view);
    void detach();
    bool shown() const { return view_ != nullptr; }

    void tick();
    void resetCount() { count_ = 0; }
    void resetBar();
    std::uint64_t count() const { return count_; }
    int position() const { return position_; }
    int direction() const { return direction_; }
    // Parallel analysis progress: stage text "Computing PA ... %3i%%".
    void reportPercent(int percent) { reportPercent("Computing PA", percent); }
    // A long stage's progress: stage text "<stage> ... %3i%%".
    void reportPercent(const char* stage, int percent);

private:
    ProgressView* view_ = nullptr;
    std::uint64_t count_ = 0;
    int sinceStep_ = 0;
    int position_ = 0;
    int direction_ = 1;
};

}  // namespace talvex
