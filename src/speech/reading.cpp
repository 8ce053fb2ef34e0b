#include "speech/reading.h"

#include <mecab.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "speech/number_reading.h"

#ifndef VIRN_MECAB_DICDIR
#define VIRN_MECAB_DICDIR "/var/lib/mecab/dic/ipadic-utf8"
#endif

namespace virn::speech {
namespace {

// ---- UTF-8 ------------------------------------------------------------------------------

std::vector<char32_t> decode(std::string_view text) {
  std::vector<char32_t> out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<std::uint8_t>(text[i]);
    std::size_t length = lead < 0x80    ? 1
                         : lead >= 0xF0 ? 4
                         : lead >= 0xE0 ? 3
                         : lead >= 0xC0 ? 2
                                        : 0;
    char32_t code = length == 1   ? lead
                    : length == 2 ? lead & 0x1Fu
                    : length == 3 ? lead & 0x0Fu
                                  : lead & 0x07u;
    bool valid = length != 0 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<std::uint8_t>(text[i + k]);
      valid = (next & 0xC0u) == 0x80u;
      code = (code << 6) | (next & 0x3Fu);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not characters either.
    valid = valid && !(length == 2 && code < 0x80) && !(length == 3 && code < 0x800) &&
            !(length == 4 && code < 0x10000) && !(code >= 0xD800 && code <= 0xDFFF) &&
            code <= 0x10FFFF;
    // A broken sequence is one replacement character per byte; callers check UTF-8 before.
    if (!valid) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    out.push_back(code);
    i += length;
  }
  return out;
}

void append(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// ---- Characters -------------------------------------------------------------------------

bool is_ascii_digit(char32_t c) {
  return c >= '0' && c <= '9';
}
bool is_latin(char32_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool is_space(char32_t c) {
  return c == ' ' || c == '\t' || c == 0x3000 || c == 0xA0;
}
bool is_katakana(char32_t c) {
  return (c >= 0x30A1 && c <= 0x30FA) || c == 0x30FC;
}
bool is_hiragana(char32_t c) {
  return c >= 0x3041 && c <= 0x3096;
}

// Half-width katakana U+FF61..U+FF9D as their full-width forms.
constexpr std::u32string_view kHalfWidth =
    U"。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホ"
    U"マミムメモヤユヨラリルレロワン";

bool voices(char32_t c) {
  return (c >= 0x30AB && c <= 0x30C8 && c != 0x30C3) || (c >= 0x30CF && c <= 0x30DB) || c == 0x30A6;
}

char32_t voiced(char32_t c) {
  if (c == 0x30A6) return 0x30F4;  // ウ → ヴ
  if (c >= 0x30CF && c <= 0x30DB) return (c - 0x30CF) % 3 == 0 ? c + 1 : c;
  // カ..ト: the voiced form follows each plain one, except around the small ッ.
  if (c >= 0x30C4 && c <= 0x30C8) return (c - 0x30C4) % 2 == 0 ? c + 1 : c;
  return (c - 0x30AB) % 2 == 0 ? c + 1 : c;
}

// Full-width ASCII to ASCII, half-width kana to full-width (with their voicing marks), the
// ideographic space to a space. Hiragana stays: the dictionary knows words in it.
std::vector<char32_t> normalize(const std::vector<char32_t>& in) {
  std::vector<char32_t> out;
  out.reserve(in.size());
  for (const char32_t c : in) {
    if (c >= 0xFF01 && c <= 0xFF5E) {
      out.push_back(c - 0xFEE0);
    } else if (c >= 0xFF61 && c <= 0xFF9D) {
      out.push_back(kHalfWidth[c - 0xFF61]);
    } else if (c == 0xFF9E && !out.empty() && voices(out.back())) {
      out.back() = voiced(out.back());
    } else if (c == 0xFF9F && !out.empty() && out.back() >= 0x30CF && out.back() <= 0x30DB &&
               (out.back() - 0x30CF) % 3 == 0) {
      out.back() += 2;
    } else if (c == 0xFF9E || c == 0xFF9F) {
      continue;
    } else if (c == 0x3000) {
      out.push_back(' ');
    } else if (c == 0xFFE5 || c == 0xA5) {
      out.push_back(0xA5);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string_view symbol_word(char32_t c) {
  switch (c) {
    case '%':
      return "パーセント";
    case '&':
      return "アンド";
    case '+':
      return "プラス";
    case '=':
      return "イコール";
    case '@':
      return "アット";
    case '#':
      return "シャープ";
    case '$':
      return "ドル";
    case 0xA5:
      return "エン";
    case 0x20AC:
      return "ユーロ";
    case 0xD7:
      return "カケル";
    case 0xF7:
      return "ワル";
    case 0xB0:
    case 0x2103:
      return "ド";
    case '/':
      return "スラッシュ";
    case '<':
      return "ショウナリ";
    case '>':
      return "ダイナリ";
    default:
      return {};
  }
}

enum class Pause { none, gap, pause, sentence_end, question, exclamation };

Pause pause_of(char32_t c, char32_t next) {
  switch (c) {
    case '\n':
    case '\r':
    case 0x3002:
    case 0x2029:
    case 0x2028:
      return Pause::sentence_end;
    case '.':
      return next == 0 || is_space(next) || next == '\n' || next == '\r' ? Pause::sentence_end
                                                                         : Pause::gap;
    case '?':
    case 0x2047:
    case 0x2048:
      return Pause::question;
    case '!':
    case 0x203C:
    case 0x2049:
      return Pause::exclamation;
    case 0x3001:
    case ',':
    case ';':
    case ':':
    case 0x2026:
    case 0x2025:
      return Pause::pause;
    default:
      break;
  }
  if (is_space(c)) return Pause::gap;
  if (c < 0x80)
    return (c < 0x20 || c == 0x7F || (!is_latin(c) && !is_ascii_digit(c) && symbol_word(c).empty()))
               ? Pause::gap
               : Pause::none;
  // Brackets, quotes, dashes, the middle dot and the wave dash separate words silently.
  if ((c >= 0x3008 && c <= 0x3011) || (c >= 0x3014 && c <= 0x301F) || c == 0x30FB ||
      (c >= 0x2010 && c <= 0x2027) ||
      (c >= 0x2030 && c <= 0x205E && c != 0x2047 && c != 0x2048 && c != 0x2049 && c != 0x203C)) {
    return Pause::gap;
  }
  return Pause::none;
}

// ---- Segments ---------------------------------------------------------------------------

// A stretch of the normalised text and how it is read: by the dictionary (japanese) or by
// the rules here (everything else).
struct Segment {
  enum class Kind { japanese, number, latin, symbol, pause };
  Kind kind;
  std::size_t begin = 0;  // byte range in the tagger's input
  std::size_t end = 0;
  std::string reading;
  Pause pause = Pause::none;
  bool spoken = false;
};

bool is_number_start(const std::vector<char32_t>& t, std::size_t i) {
  if (is_ascii_digit(t[i])) return true;
  // A minus sign reads マイナス only in front of a number and not after a word or number.
  const bool minus = t[i] == '-' || t[i] == 0x2212;
  return minus && i + 1 < t.size() && is_ascii_digit(t[i + 1]) &&
         (i == 0 || !(is_latin(t[i - 1]) || is_ascii_digit(t[i - 1])));
}

std::size_t number_end(const std::vector<char32_t>& t, std::size_t i, std::string& ascii) {
  if (!is_ascii_digit(t[i])) {
    ascii += '-';
    ++i;
  }
  const auto digits_at = [&t](std::size_t at, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
      if (at + k >= t.size() || !is_ascii_digit(t[at + k])) return false;
    }
    return true;
  };
  std::size_t run = 0;
  while (i < t.size() && is_ascii_digit(t[i])) {
    ascii += static_cast<char>(t[i++]);
    ++run;
  }
  // 1,000,000: a comma followed by exactly three digits continues the number.
  while (run <= 3 && i < t.size() && t[i] == ',' && digits_at(i + 1, 3) && !digits_at(i + 4, 1)) {
    ascii += ',';
    for (int k = 0; k < 3; ++k)
      ascii += static_cast<char>(t[i + 1 + k]);
    i += 4;
  }
  if (i + 1 < t.size() && t[i] == '.' && is_ascii_digit(t[i + 1])) {
    ascii += '.';
    ++i;
    while (i < t.size() && is_ascii_digit(t[i]))
      ascii += static_cast<char>(t[i++]);
  }
  return i;
}

struct Prepared {
  std::string input;  // what the tagger reads
  std::vector<Segment> segments;
};

Prepared prepare(const std::vector<char32_t>& t) {
  Prepared p;
  const auto open = [&p](Segment::Kind kind) -> Segment& {
    p.segments.push_back(Segment{kind, p.input.size(), p.input.size(), {}, Pause::none, false});
    return p.segments.back();
  };
  for (std::size_t i = 0; i < t.size();) {
    const char32_t c = t[i];
    const char32_t next = i + 1 < t.size() ? t[i + 1] : 0;
    if (is_number_start(t, i)) {
      std::string ascii;
      const std::size_t end = number_end(t, i, ascii);
      Segment& s = open(Segment::Kind::number);
      s.reading = number_reading(ascii);
      // Full-width digits let the dictionary see a number, so 年 after it reads ネン.
      for (const char d : ascii) {
        if (d >= '0' && d <= '9') append(p.input, 0xFF10 + static_cast<char32_t>(d - '0'));
        if (d == '.') append(p.input, 0xFF0E);
      }
      s.end = p.input.size();
      i = end;
      continue;
    }
    if (is_latin(c)) {
      Segment& s = open(Segment::Kind::latin);
      std::string letters;
      while (i < t.size() && is_latin(t[i]))
        letters += static_cast<char>(t[i++]);
      s.reading = letter_reading(letters);
      p.input += letters;
      s.end = p.input.size();
      continue;
    }
    // A wave dash between two numbers is "to": 3〜5 → サンカラゴ.
    if ((c == '~' || c == 0x301C) && !p.segments.empty() &&
        p.segments.back().kind == Segment::Kind::number &&
        p.segments.back().end == p.input.size() && is_ascii_digit(next)) {
      Segment& s = open(Segment::Kind::symbol);
      s.reading = "カラ";
      append(p.input, 0x301C);
      s.end = p.input.size();
      ++i;
      continue;
    }
    if (const auto word = symbol_word(c); !word.empty()) {
      Segment& s = open(Segment::Kind::symbol);
      s.reading = std::string(word);
      append(p.input, c);
      s.end = p.input.size();
      ++i;
      continue;
    }
    if (const Pause pause = pause_of(c, next); pause != Pause::none) {
      Segment& s = open(Segment::Kind::pause);
      s.pause = pause;
      // The tagger sees a plain mark in place of line breaks and stray control bytes.
      switch (pause) {
        case Pause::gap:
          p.input += ' ';
          break;
        case Pause::pause:
          append(p.input, 0x3001);
          break;
        case Pause::sentence_end:
          append(p.input, 0x3002);
          break;
        case Pause::question:
          append(p.input, 0xFF1F);
          break;
        case Pause::exclamation:
          append(p.input, 0xFF01);
          break;
        case Pause::none:
          break;
      }
      s.end = p.input.size();
      // CR LF is one line break.
      i += (c == '\r' && next == '\n') ? 2 : 1;
      continue;
    }
    if (p.segments.empty() || p.segments.back().kind != Segment::Kind::japanese ||
        p.segments.back().end != p.input.size()) {
      open(Segment::Kind::japanese);
    }
    append(p.input, c);
    p.segments.back().end = p.input.size();
    ++i;
  }
  return p;
}

// ---- Kana -------------------------------------------------------------------------------

bool is_small(char32_t c) {
  switch (c) {
    case 0x30A1:
    case 0x30A3:
    case 0x30A5:
    case 0x30A7:
    case 0x30A9:  // ァィゥェォ
    case 0x30E3:
    case 0x30E5:
    case 0x30E7:
    case 0x30EE:  // ャュョヮ
      return true;
    default:
      return false;
  }
}

// A kana that carries a vowel of its own, so a small kana may join it and ー may lengthen it.
bool carries_vowel(char32_t c) {
  return is_katakana(c) && c != 0x30FC && c != 0x30C3 && c != 0x30F3 && !is_small(c);
}

// Spoken katakana from a dictionary pronunciation or a kana word: hiragana and obsolete kana
// become their spoken katakana, a small kana that cannot join its neighbour becomes full
// size, a ー that lengthens nothing goes. Anything that is not kana is dropped.
std::string spoken_kana(std::string_view text) {
  std::vector<char32_t> chars;
  for (char32_t c : normalize(decode(text))) {
    if (is_hiragana(c) || c == 0x309D || c == 0x309E) c += 0x60;  // ゝゞ too
    if (c >= 0x31F0 && c <= 0x31FF) {
      static constexpr std::u32string_view kAinu = U"クシストヌハヒフヘホムラリルレロ";
      c = kAinu[c - 0x31F0];
    }
    switch (c) {
      case 0x30F2:
        c = 0x30AA;
        break;  // ヲ is spoken オ
      case 0x30F0:
        c = 0x30A4;
        break;  // ヰ
      case 0x30F1:
        c = 0x30A8;
        break;  // ヱ
      case 0x30F5:
        c = 0x30AB;
        break;  // ヵ
      case 0x30F6:
        c = 0x30B1;
        break;      // ヶ
      case 0x30F7:  // ヷヸヹヺ: the nearest sound
      case 0x30F8:
      case 0x30F9:
      case 0x30FA:
        c = 0x30F4;
        break;
      default:
        break;
    }
    if ((c == 0x30FD || c == 0x30FE) && !chars.empty()) {
      chars.push_back(c == 0x30FE && voices(chars.back()) ? voiced(chars.back()) : chars.back());
      continue;
    }
    if (!is_katakana(c)) continue;
    const char32_t prev = chars.empty() ? 0 : chars.back();
    if (is_small(c) && !carries_vowel(prev)) {
      c = c == 0x30EE ? 0x30EF : c + 1;
    } else if (c == 0x30EE) {
      c = 0x30EF;
    }
    if (c == 0x30FC && !(carries_vowel(prev) || is_small(prev))) continue;
    if (c == 0x30C3 && prev == 0x30C3) continue;
    chars.push_back(c);
  }
  std::string out;
  for (const char32_t c : chars)
    append(out, c);
  return out;
}

bool all_kana(std::string_view text) {
  for (const char32_t c : decode(text)) {
    if (!(is_katakana(c) || is_hiragana(c) || c == 0x30FD || c == 0x30FE || c == 0x309D ||
          c == 0x309E)) {
      return false;
    }
  }
  return !text.empty();
}

// ipadic features: POS, POS detail 1..3, conjugation type and form, base form, reading,
// pronunciation. Unknown words have only the first seven.
std::vector<std::string_view> split_features(std::string_view feature) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = feature.find(',', start);
    fields.push_back(feature.substr(start, comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return fields;
}

// Particles, auxiliaries, suffixes and dependent words are spoken with the word before them.
bool joins_previous(const std::vector<std::string_view>& f) {
  if (f.empty()) return false;
  if (f[0] == "助詞" || f[0] == "助動詞") return true;
  return f.size() > 1 && (f[1] == "接尾" || f[1] == "非自立");
}

// ---- Tagger -----------------------------------------------------------------------------

struct Tagger {
  Tagger() : tagger(MeCab::createTagger("-d " VIRN_MECAB_DICDIR)) {
    if (!tagger) {
      error = std::string("无法加载 MeCab 词典 " VIRN_MECAB_DICDIR "：") + MeCab::getTaggerError();
    }
  }
  std::mutex lock;
  std::unique_ptr<MeCab::Tagger> tagger;
  std::string error;
};

Tagger& shared_tagger() {
  static Tagger instance;
  return instance;
}

ReadingToken::Kind token_kind(Pause pause) {
  switch (pause) {
    case Pause::question:
      return ReadingToken::Kind::question;
    case Pause::exclamation:
      return ReadingToken::Kind::exclamation;
    case Pause::sentence_end:
      return ReadingToken::Kind::sentence_end;
    default:
      return ReadingToken::Kind::pause;
  }
}

class TokenWriter {
 public:
  void word(const std::string& kana, bool join) {
    if (kana.empty()) return;
    const bool after_word = !tokens_.empty() && tokens_.back().kind == ReadingToken::Kind::word;
    // A word the tagger split off at a long-vowel mark still belongs to the word before.
    if (after_word && (join || kana.rfind("ー", 0) == 0)) {
      tokens_.back().kana = spoken_kana(tokens_.back().kana + kana);
      return;
    }
    tokens_.push_back({ReadingToken::Kind::word, spoken_kana(kana)});
    if (tokens_.back().kana.empty()) tokens_.pop_back();
  }

  void pause(Pause pause) {
    if (pause == Pause::gap || pause == Pause::none) return;
    if (tokens_.empty()) return;  // nothing to pause after
    const auto kind = token_kind(pause);
    auto& last = tokens_.back();
    if (last.kind == ReadingToken::Kind::word) {
      tokens_.push_back({kind, {}});
    } else if (static_cast<int>(kind) > static_cast<int>(last.kind)) {
      // "。？" or "、。": the stronger mark wins; ？ and ！ over a plain sentence end.
      last.kind = kind;
    }
  }

  std::vector<ReadingToken> take() { return std::move(tokens_); }

 private:
  std::vector<ReadingToken> tokens_;
};

struct Morpheme {
  std::size_t begin = 0;  // byte range in the tagger's input
  std::size_t end = 0;
  std::string pronunciation;  // spoken katakana, empty when the dictionary has none
  bool joins = false;         // spoken with the word before it
};

// The tagger's nodes as plain values: its own nodes live only until the next parse.
std::vector<Morpheme> morphemes(MeCab::Tagger& tagger, const std::string& input) {
  std::vector<Morpheme> out;
  const char* base = input.c_str();
  for (const MeCab::Node* node = tagger.parseToNode(base, input.size()); node != nullptr;
       node = node->next) {
    if (node->stat == MECAB_BOS_NODE || node->stat == MECAB_EOS_NODE) continue;
    Morpheme m;
    m.begin = static_cast<std::size_t>(node->surface - base);
    m.end = m.begin + node->length;
    const auto fields = split_features(node->feature ? node->feature : "");
    const std::string_view surface(node->surface, node->length);
    if (fields.size() >= 9 && fields[8] != "*") {
      m.pronunciation = to_katakana(fields[8]);
    } else if (all_kana(surface)) {
      m.pronunciation = to_katakana(surface);  // an unknown kana word, read as written
    }
    m.joins = joins_previous(fields);
    out.push_back(std::move(m));
  }
  return out;
}

std::vector<ReadingToken> tag(MeCab::Tagger& tagger, Prepared& p) {
  TokenWriter out;
  std::size_t next_segment = 0;
  for (const Morpheme& m : morphemes(tagger, p.input)) {
    while (next_segment < p.segments.size() && p.segments[next_segment].end <= m.begin) {
      ++next_segment;
    }
    // The segments this morpheme touches.
    const std::size_t first = next_segment;
    std::size_t last = first;
    bool japanese = false;
    bool partial = false;
    for (; last < p.segments.size() && p.segments[last].begin < m.end; ++last) {
      const Segment& s = p.segments[last];
      if (s.kind == Segment::Kind::japanese) {
        japanese = true;
      } else if (s.begin < m.begin || s.end > m.end) {
        partial = true;
      }
    }
    if (japanese && !partial && (!m.pronunciation.empty() || last - first == 1)) {
      // The dictionary's word wins where it spans a number too (１２月 → ジューニガツ).
      out.word(m.pronunciation, m.joins);
      for (std::size_t k = first; k < last; ++k) {
        Segment& s = p.segments[k];
        if (s.kind == Segment::Kind::pause && !s.spoken) out.pause(s.pause);
        s.spoken = true;
      }
      continue;
    }
    for (std::size_t k = first; k < last; ++k) {
      Segment& s = p.segments[k];
      if (s.spoken) continue;
      if (s.kind == Segment::Kind::japanese) {
        // A word that runs into part of a number: its Japanese part is read on its own.
        const std::size_t from = std::max(s.begin, m.begin);
        const std::size_t to = std::min(s.end, m.end);
        for (const Morpheme& inner : morphemes(tagger, p.input.substr(from, to - from))) {
          out.word(inner.pronunciation, inner.joins);
        }
        continue;
      }
      s.spoken = true;
      if (s.kind == Segment::Kind::pause) {
        out.pause(s.pause);
      } else {
        // A unit right after a number joins it: 3% → サンパーセント.
        const bool join = s.kind == Segment::Kind::symbol && k > 0 &&
                          p.segments[k - 1].kind == Segment::Kind::number &&
                          p.segments[k - 1].end == s.begin;
        out.word(s.reading, join);
      }
    }
  }
  return out.take();
}

// espeak-ng drops the end of very long words, so a long run of kana (a long number read
// digit by digit, a row of letters) goes as several words, cut only before a kana that
// starts a new mora.
std::string engine_word(std::string_view kana) {
  constexpr std::size_t kMaxWordChars = 16;
  const std::vector<char32_t> chars = decode(kana);
  std::string out;
  std::size_t run = 0;
  for (const char32_t c : chars) {
    if (run >= kMaxWordChars && carries_vowel(c)) {
      out += ' ';
      run = 0;
    }
    append(out, c);
    ++run;
  }
  return out;
}

}  // namespace

std::string to_katakana(std::string_view text) {
  std::string out;
  for (char32_t c : normalize(decode(text))) {
    if (is_hiragana(c)) c += 0x60;
    append(out, c);
  }
  return out;
}

std::string letter_reading(std::string_view letters) {
  static constexpr std::array<std::string_view, 26> kNames{
      "エー",   "ビー",   "シー", "ディー", "イー",       "エフ",     "ジー", "エイチ", "アイ",
      "ジェー", "ケー",   "エル", "エム",   "エヌ",       "オー",     "ピー", "キュー", "アール",
      "エス",   "ティー", "ユー", "ブイ",   "ダブリュー", "エックス", "ワイ", "ゼット"};
  std::string out;
  for (const char c : letters) {
    if (c >= 'A' && c <= 'Z') out += kNames[c - 'A'];
    if (c >= 'a' && c <= 'z') out += kNames[c - 'a'];
  }
  return out;
}

Result<std::vector<ReadingToken>> read_text(std::string_view text) {
  Prepared prepared = prepare(normalize(decode(text)));
  Tagger& tagger = shared_tagger();
  if (!tagger.tagger) return Error{tagger.error};
  const std::lock_guard guard(tagger.lock);
  return tag(*tagger.tagger, prepared);
}

std::string reading_display(const std::vector<ReadingToken>& tokens) {
  std::string out;
  for (const auto& t : tokens) {
    switch (t.kind) {
      case ReadingToken::Kind::word:
        out += t.kana;
        break;
      case ReadingToken::Kind::pause:
        out += "、";
        break;
      case ReadingToken::Kind::sentence_end:
        out += "。";
        break;
      case ReadingToken::Kind::question:
        out += "？";
        break;
      case ReadingToken::Kind::exclamation:
        out += "！";
        break;
    }
  }
  return out;
}

std::string reading_for_engine(const std::vector<ReadingToken>& tokens) {
  std::string out;
  for (const auto& t : tokens) {
    switch (t.kind) {
      case ReadingToken::Kind::word:
        if (!out.empty() && out.back() != ' ') out += ' ';
        out += engine_word(t.kana);
        break;
      case ReadingToken::Kind::pause:
        out += ", ";
        break;
      case ReadingToken::Kind::sentence_end:
        out += ". ";
        break;
      case ReadingToken::Kind::question:
        out += "? ";
        break;
      case ReadingToken::Kind::exclamation:
        out += "! ";
        break;
    }
  }
  while (!out.empty() && out.back() == ' ')
    out.pop_back();
  return out;
}

bool has_words(const std::vector<ReadingToken>& tokens) {
  for (const auto& t : tokens) {
    if (t.kind == ReadingToken::Kind::word && !t.kana.empty()) return true;
  }
  return false;
}

bool only_punctuation(std::string_view text) {
  const auto chars = normalize(decode(text));
  for (std::size_t i = 0; i < chars.size(); ++i) {
    const char32_t c = chars[i];
    if (c == '-' || c == 0x2212) continue;  // a lone dash is punctuation here, not minus
    if (c == '~' || c == 0x301C) continue;
    if (pause_of(c, i + 1 < chars.size() ? chars[i + 1] : 0) == Pause::none) return false;
  }
  return true;
}

std::optional<Error> check_speakable(const SpeechRequest& request) {
  if (auto error = check_request(request)) return error;
  if (only_punctuation(request.text)) {
    return Error{"text 只有标点符号，没有可朗读的文字"};
  }
  return std::nullopt;
}

}  // namespace virn::speech
