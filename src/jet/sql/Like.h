#pragma once
// Jet's LIKE patterns (the DAO dialect): * any run, ? one character, # one digit, [list],
// [!list], ranges a-z inside a list; inside a list * ? # and [ stand for themselves, and -
// does when it comes first or last; [] matches nothing (a zero-length string). Letter case
// is ignored by Unicode simple case folding: characters that fold to each other match.
//
// A matcher works on UTF-8 directly. REQUIRES: one thread per matcher (it reuses a buffer).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace jet::sql {

class LikePattern {
 public:
  // Nothing when the pattern is malformed (an unclosed [ or a reversed range).
  static std::optional<LikePattern> compile(std::string_view pattern);

  bool matches(std::string_view utf8) const;

  // Whether the pattern is a search for any one of a set of ASCII characters ("*[list]*",
  // "*x*", "*#*") that no other character matches, letter case ignored; if so, `hit` marks
  // them (both cases of a letter).
  bool asciiSearch(bool (&hit)[128]) const;

 private:
  struct CharSet {
    bool negated = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;  // as written
    std::vector<std::pair<char32_t, char32_t>> folded;  // bounds folded
    bool asciiHit[128] = {};  // precomputed answer (negation applied) for ASCII characters
    // When every bound is ASCII, only two non-ASCII characters fold into ASCII (the Kelvin
    // sign to k, the long s to s); unless k or s is in the set, every non-ASCII character
    // gets the same answer and UTF-8 can be tested byte by byte.
    bool byteWise = false;
    bool byteHit[256] = {};
    bool contains(char32_t c) const;  // c unfolded; negation applied
  };
  struct Elem {
    enum Kind : uint8_t { Literal, Any, Digit, Star, Set } kind;
    char32_t c = 0;  // Literal: folded
    int set = -1;    // Set: index into sets_
  };

  void addSet(CharSet set);
  bool matchOne(const Elem& e, char32_t c) const;  // c unfolded
  bool matchGeneral(std::string_view utf8) const;

  std::vector<Elem> elems_;
  std::vector<CharSet> sets_;
  // "*X*" where X takes one character: a search for any character X accepts.
  bool containsOne_ = false;
  mutable std::vector<char32_t> buf_;
};

// Simple case folding of one code point.
char32_t foldCase(char32_t c);

}  // namespace jet::sql
