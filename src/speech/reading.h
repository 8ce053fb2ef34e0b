#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "speech/speech_request.h"
#include "util/result.h"

namespace virn::speech {

// One unit of what the engine speaks: a word (a content word with the particles and endings
// that follow it) in katakana, or a pause.
struct ReadingToken {
  enum class Kind { word, pause, sentence_end, question, exclamation };
  Kind kind = Kind::word;
  std::string kana;  // katakana and ー; empty for pauses
};

// The spoken form of a UTF-8 text: MeCab's pronunciation for Japanese words (は → ワ, へ → エ,
// long vowels as ー), numbers read as numbers, Latin letters by their names, common symbols
// as words, punctuation and line breaks as pauses. Characters with no known reading (an
// emoji, an unknown kanji) are left out. Fails only when the dictionary cannot be loaded.
// Thread-safe: the one tagger of the process is used behind a lock.
Result<std::vector<ReadingToken>> read_text(std::string_view text);

// The reading as a person reads it: katakana with 、。？！ for the pauses.
std::string reading_display(const std::vector<ReadingToken>& tokens);

// The reading as espeak-ng's Japanese voice takes it: words apart, ASCII clause punctuation.
std::string reading_for_engine(const std::vector<ReadingToken>& tokens);

bool has_words(const std::vector<ReadingToken>& tokens);

// True when the text holds nothing but punctuation, brackets and white space.
bool only_punctuation(std::string_view text);

// check_request, and also refuses a text that is only punctuation.
std::optional<Error> check_speakable(const SpeechRequest& request);

// Katakana for hiragana, full-width for half-width kana; everything else unchanged.
std::string to_katakana(std::string_view text);

// Reading of Latin letters by their names, case ignored: "ab" → エービー.
std::string letter_reading(std::string_view letters);

}  // namespace virn::speech
