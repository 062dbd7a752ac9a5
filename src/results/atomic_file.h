// Replacing a file in one step: the bytes go to a temporary file in the
// same folder, which is renamed over the name only once it is complete.
#pragma once

#include <string>

namespace talvex {

// False when any step failed (the temporary file is then removed and the
// previous file, if any, is left as it was).
bool writeFileAtomically(const std::string& path, const std::string& bytes);

}  // namespace talvex
