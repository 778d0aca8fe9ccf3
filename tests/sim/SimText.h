// Small text helpers shared by the parts of the simulated Windows.
#pragma once

#include <string>
#include <vector>

namespace orfa::sim {

// Folds the ASCII letters A to Z to lower case; other bytes stay as they are.
std::string Fold(const std::string& text);
bool SameNoCase(const std::string& a, const std::string& b);
// Splits at every backslash; empty pieces are dropped.
std::vector<std::string> SplitPath(const std::string& path);
// Windows wildcard match ("*" any run, "?" one character), without regard to case.
// "*.*" matches every name, those without a dot included.
bool WildcardMatch(const std::string& pattern, const std::string& name);

}  // namespace orfa::sim
