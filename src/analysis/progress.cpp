#include "analysis/progress.h"

#include <cstdio>

#include "core/matrix.h"

namespace talvex {

namespace {
void tickHook(void* ticker) { static_cast<ProgressTicker*>(ticker)->tick(); }
}  // namespace

void ProgressTicker::attach(ProgressView& view) {
    view_ = &view;
    setConstructionHook(&tickHook, this);
}

void ProgressTicker::detach() {
    setConstructionHook(nullptr, nullptr);
    view_ = nullptr;
}

void ProgressTicker::tick() {
    ++count_;
    ++sinceStep_;
    // The bar sweeps between 0 and 1000, one step every 501 ticks; the
    // window is repainted only when the bar moves.
    if (sinceStep_ >= 501) {
        position_ += direction_;
        sinceStep_ = 0;
        if (position_ > 999) direction_ = -1;
        if (position_ < 1) direction_ = 1;
        if (view_ != nullptr) {
            view_->setProgressBar(position_, direction_);
            view_->repaintProgress();
        }
    }
}

void ProgressTicker::resetBar() {
    position_ = 0;
    direction_ = 1;
    sinceStep_ = 0;
    if (view_ != nullptr) view_->setProgressBar(0, 1);
}

void ProgressTicker::reportPercent(const char* stage, int percent) {
    if (view_ != nullptr) {
        char text[96];
        std::snprintf(text, sizeof text, "%s ... %3i%%", stage, percent);
        view_->setProgressText(text);
        view_->repaintProgress();
    }
    tick();
}

}  // namespace talvex
