#include "Like.h"

#include "jet/os/Unicode.h"

namespace jet::sql {

namespace {

// Decodes one code point; malformed bytes come out as U+FFFD one byte at a time.
inline char32_t decode(std::string_view s, size_t& i) {
  const unsigned char b0 = s[i];
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  auto cont = [&](size_t k) { return k < s.size() && (static_cast<unsigned char>(s[k]) & 0xC0) == 0x80; };
  if (b0 >= 0xC2 && b0 < 0xE0 && cont(i + 1)) {
    char32_t c = ((b0 & 0x1F) << 6) | (s[i + 1] & 0x3F);
    i += 2;
    return c;
  }
  if (b0 >= 0xE0 && b0 < 0xF0 && cont(i + 1) && cont(i + 2)) {
    char32_t c = ((b0 & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
    if (c >= 0x800) {
      i += 3;
      return c;
    }
  }
  if (b0 >= 0xF0 && b0 < 0xF5 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
    char32_t c = ((b0 & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) |
                 (s[i + 3] & 0x3F);
    if (c >= 0x10000 && c <= 0x10FFFF) {
      i += 4;
      return c;
    }
  }
  ++i;
  return 0xFFFD;
}

std::vector<char32_t> decodeAll(std::string_view s) {
  std::vector<char32_t> out;
  for (size_t i = 0; i < s.size();) out.push_back(decode(s, i));
  return out;
}

}  // namespace

char32_t foldCase(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  return os::foldCase(c);
}

bool LikePattern::CharSet::contains(char32_t c) const {
  const char32_t f = foldCase(c);
  bool in = false;
  for (size_t i = 0; i < ranges.size() && !in; ++i)
    in = (c >= ranges[i].first && c <= ranges[i].second) ||
         (f >= folded[i].first && f <= folded[i].second);
  return in != negated;
}

std::optional<LikePattern> LikePattern::compile(std::string_view pattern) {
  LikePattern p;
  const std::vector<char32_t> cs = decodeAll(pattern);
  for (size_t i = 0; i < cs.size(); ++i) {
    const char32_t c = cs[i];
    if (c == '*') {
      if (p.elems_.empty() || p.elems_.back().kind != Elem::Star) p.elems_.push_back({Elem::Star});
    } else if (c == '?') {
      p.elems_.push_back({Elem::Any});
    } else if (c == '#') {
      p.elems_.push_back({Elem::Digit});
    } else if (c == '[') {
      size_t close = i + 1;
      while (close < cs.size() && cs[close] != ']') ++close;
      if (close >= cs.size()) return std::nullopt;
      std::vector<char32_t> body(cs.begin() + i + 1, cs.begin() + close);
      i = close;
      if (body.empty()) continue;  // [] is the zero-length string
      CharSet set;
      size_t k = 0;
      if (body[0] == '!') {
        set.negated = true;
        k = 1;
      }
      // [!] excludes nothing: it takes any one character.
      for (; k < body.size(); ++k) {
        char32_t lo = body[k], hi = body[k];
        // a-z is a range unless the - stands first or last.
        if (k + 2 < body.size() && body[k + 1] == '-') {
          hi = body[k + 2];
          if (hi < lo) return std::nullopt;
          k += 2;
        }
        set.ranges.push_back({lo, hi});
        set.folded.push_back({foldCase(lo), foldCase(hi)});
      }
      p.addSet(std::move(set));
    } else {
      p.elems_.push_back({Elem::Literal, foldCase(c)});
    }
  }
  p.containsOne_ = p.elems_.size() == 3 && p.elems_[0].kind == Elem::Star &&
                   p.elems_[2].kind == Elem::Star;
  if (p.containsOne_ && p.elems_[1].kind != Elem::Set && p.elems_[1].kind != Elem::Any) {
    // "*x*" and "*#*" are searches for a one-character list.
    CharSet set;
    const Elem e = p.elems_[1];
    if (e.kind == Elem::Digit) set.ranges.push_back({'0', '9'});
    else set.ranges.push_back({e.c, e.c});
    set.folded = set.ranges;
    p.elems_.pop_back();
    p.elems_.pop_back();
    p.addSet(std::move(set));
    p.elems_.push_back({Elem::Star});
  }
  return p;
}

void LikePattern::addSet(CharSet set) {
  for (char32_t a = 0; a < 128; ++a) set.asciiHit[a] = set.contains(a);
  bool ascii = true;
  for (const auto& r : set.folded) ascii = ascii && r.second < 0x80;
  for (const auto& r : set.ranges) ascii = ascii && r.second < 0x80;
  const bool foldsIn = set.contains(0x212A) != set.negated || set.contains(0x017F) != set.negated;
  set.byteWise = ascii && !foldsIn;
  for (int b = 0; b < 256; ++b) set.byteHit[b] = b < 128 ? set.asciiHit[b] : set.negated;
  sets_.push_back(std::move(set));
  elems_.push_back({Elem::Set, 0, static_cast<int>(sets_.size() - 1)});
}

inline bool LikePattern::matchOne(const Elem& e, char32_t c) const {
  switch (e.kind) {
    case Elem::Literal: return foldCase(c) == e.c;
    case Elem::Any: return true;
    case Elem::Digit: return c >= '0' && c <= '9';
    case Elem::Set: {
      const CharSet& s = sets_[e.set];
      return c < 128 ? s.asciiHit[c] : s.contains(c);
    }
    case Elem::Star: return false;
  }
  return false;
}

bool LikePattern::matches(std::string_view s) const {
  if (containsOne_) {
    const Elem& e = elems_[1];
    if (e.kind == Elem::Set) {
      const CharSet& set = sets_[e.set];
      if (set.byteWise) {
        for (unsigned char b : s)
          if (set.byteHit[b]) return true;
        return false;
      }
      for (size_t i = 0; i < s.size();) {
        const unsigned char b = s[i];
        if (b < 0x80) {
          if (set.asciiHit[b]) return true;
          ++i;
        } else if (set.contains(decode(s, i))) {
          return true;
        }
      }
      return false;
    }
    for (size_t i = 0; i < s.size();)
      if (matchOne(e, decode(s, i))) return true;
    return false;
  }
  return matchGeneral(s);
}

bool LikePattern::asciiSearch(bool (&hit)[128]) const {
  if (!containsOne_ || elems_[1].kind != Elem::Set) return false;
  const CharSet& set = sets_[elems_[1].set];
  if (!set.byteWise || set.negated) return false;
  for (int c = 0; c < 128; ++c) hit[c] = set.asciiHit[c];
  return true;
}

bool LikePattern::matchGeneral(std::string_view s) const {
  buf_.clear();
  for (size_t i = 0; i < s.size();) buf_.push_back(decode(s, i));
  // Greedy match; on a mismatch, let the last star take one more character.
  size_t t = 0, p = 0;
  size_t starP = std::string::npos, starT = 0;
  const size_t n = buf_.size(), m = elems_.size();
  while (t < n) {
    if (p < m && elems_[p].kind != Elem::Star && matchOne(elems_[p], buf_[t])) {
      ++t;
      ++p;
    } else if (p < m && elems_[p].kind == Elem::Star) {
      starP = p++;
      starT = t;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      t = ++starT;
    } else {
      return false;
    }
  }
  while (p < m && elems_[p].kind == Elem::Star) ++p;
  return p == m;
}

}  // namespace jet::sql
