#include "tests/sim/SimText.h"

namespace orfa::sim {

std::string Fold(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool SameNoCase(const std::string& a, const std::string& b) { return Fold(a) == Fold(b); }

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string piece;
  for (char c : path) {
    if (c == '\\') {
      if (!piece.empty()) parts.push_back(piece);
      piece.clear();
    } else {
      piece += c;
    }
  }
  if (!piece.empty()) parts.push_back(piece);
  return parts;
}

namespace {

bool Match(const std::string& p, size_t pi, const std::string& n, size_t ni) {
  while (pi < p.size()) {
    if (p[pi] == '*') {
      while (pi < p.size() && p[pi] == '*') ++pi;
      if (pi == p.size()) return true;
      for (size_t k = ni; k <= n.size(); ++k) {
        if (Match(p, pi, n, k)) return true;
      }
      return false;
    }
    if (ni == n.size()) return false;
    if (p[pi] != '?' && p[pi] != n[ni]) return false;
    ++pi;
    ++ni;
  }
  return ni == n.size();
}

}  // namespace

bool WildcardMatch(const std::string& pattern, const std::string& name) {
  std::string p = Fold(pattern);
  if (p == "*.*") p = "*";
  return Match(p, 0, Fold(name), 0);
}

}  // namespace orfa::sim
