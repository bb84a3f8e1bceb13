// The name meant by a mistyped one: the closest known name by edit distance.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vexctl {

// The number of single-character insertions, deletions and substitutions that turn `a` into
// `b` (a swap of two neighbours counts as one).
size_t EditDistance(const std::string& a, const std::string& b);

// The candidate closest to `typed`, when it is close enough to be what was meant: at most a
// third of the typed length away, and three edits at most. The first of equally close ones.
std::optional<std::string> ClosestName(const std::string& typed,
                                       const std::vector<std::string>& candidates);

}  // namespace vexctl
