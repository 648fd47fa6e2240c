// Numbered file names: splitting "shot0041_final.tga" into its parts and naming members.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rf {

struct QSeqName {
  std::string prefix;  // folder and the part of the name before the number
  std::string suffix;  // everything after the number, extension included
  int32_t firstNumber = 0;
  int32_t count = 0;       // members found or written
  int32_t digitWidth = 0;  // digits of the number as written in the name
};

// True when the file part of the name holds a number (its last run of digits).
bool SeqSplit(std::string_view name, std::string& prefix, int32_t& digitWidth, int32_t& firstNumber,
              std::string& suffix);
bool SeqSplit(std::string_view name, QSeqName& seq);
// The name of member index (1-based): number first + index - 1, zero-padded to the digit width.
std::string SeqMakeName(const QSeqName& seq, int32_t index);

}  // namespace rf
