#include "analysis/progress.h"

// Placeholder until the run lands.
