// Splitting numbered file names and naming sequence members.
#include "formats/seqname.h"

#include "foundation/miscprocs.h"

namespace rf {

bool SeqSplit(std::string_view name, std::string& prefix, int32_t& digitWidth, int32_t& firstNumber,
              std::string& suffix) {
  const size_t slash = name.rfind('/');
  const size_t fileStart = slash == std::string_view::npos ? 0 : slash + 1;
  const std::string_view folder = name.substr(0, fileStart);
  const std::string_view file = name.substr(fileStart);
  prefix.assign(folder);
  suffix.clear();
  std::string digits;
  for (size_t i = file.size(); i-- > 0;) {
    const char c = file[i];
    if (c >= '0' && c <= '9') {
      digits.insert(digits.begin(), c);
    } else if (!digits.empty()) {
      prefix = std::string(folder) + std::string(file.substr(0, i + 1));
      break;
    } else {
      suffix.insert(suffix.begin(), c);
    }
  }
  digitWidth = int32_t(digits.size());
  firstNumber = 0;
  // A run longer than 9 digits keeps its last 9 as the number, so that it fits 32 bits.
  const std::string_view value = std::string_view(digits).substr(digits.size() > 9 ? digits.size() - 9 : 0);
  for (char c : value) firstNumber = firstNumber * 10 + (c - '0');
  if (digits.empty()) {
    const size_t dot = file.rfind('.');
    suffix = dot == std::string_view::npos ? std::string() : std::string(file.substr(dot));
    prefix = std::string(name.substr(0, name.size() - suffix.size()));
    return false;
  }
  return true;
}

bool SeqSplit(std::string_view name, QSeqName& seq) {
  return SeqSplit(name, seq.prefix, seq.digitWidth, seq.firstNumber, seq.suffix);
}

std::string SeqMakeName(const QSeqName& seq, int32_t index) {
  const int64_t number = int64_t(seq.firstNumber) + index - 1;
  const int32_t width = seq.digitWidth > 255 ? 255 : seq.digitWidth;
  return seq.prefix + FormatUInt(200 + width, uint32_t(number < 0 ? 0 : number)) + seq.suffix;
}

}  // namespace rf
