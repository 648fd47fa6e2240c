// Error and warning registers and the composition of every message the system shows.
#include "foundation/errors.h"

#include <cstdio>
#include <initializer_list>

#include "foundation/monitor.h"
#include "foundation/trace.h"

namespace rf {
namespace {

struct Register {
  int32_t category = 0;
  int32_t code = 0;
  std::string text;
};

Register g_error;
Register g_warning;
bool g_locked = false;
std::string g_lastFileName;
std::string g_appTitle;

// One category of the message table: the texts of codes 1..n and the text of any other code.
// A file message marked with a trailing '+' gets the last file name appended.
struct CategoryTexts {
  int32_t category;
  std::initializer_list<const char*> codes;
  const char* other;
};

const char* const kMovieTexts[] = {"Invalid movie format.",
                                   "Cannot write to movie file.",
                                   "Cannot decompress movie image data.",
                                   "Cannot compress movie image data.",
                                   "Movie format not supported.",
                                   "Cannot open movie file.",
                                   "End of movie reached.",
                                   "Cannot create movie file."};

const CategoryTexts kTable[] = {
    {4, {"Out of range.", "Not supported.", "Invalid variable type."}, "General \"GEN\" error."},
    {5,
     {"Memory allocation fault.", "Memory manager fault.", "Memory reallocation fault.",
      "Memory could not be deallocated.", "Invalid memory request.", "Fatal memory manager error."},
     "General memory fault."},
    {6,
     {"Cannot open file: +", "Cannot create file: +", "Cannot read from file.", "Cannot write to file.",
      "Cannot seek in file.", "Cannot delete file: +", "Cannot append to file: +", "Cannot close file.",
      "File not exist.", "File name change failed.", "Fatal file manager fault."},
     "General file handling fault."},
    {7,
     {"Image format not supported.", "Invalid image format.", "Cannot decompress image data.", "Image header invalid.",
      "Cannot compress image data.", "Cannot initialize image function.", "Cannot initialize image compression data.",
      "Cannot open image file.", "Image data corrupted.", "Cannot realize palette.", "Cannot create image file."},
     "General image handling fault."},
    {8,
     {"Audio conversion error.", "Audio conversion error (ACM).", "Audio conversion error (WAVE).",
      "Invalid audio format."},
     "General audio handling fault."},
    {9,
     {"Cannot read from AVI file.", "Cannot write to AVI file.", "Cannot read audio data from AVI file.",
      "Cannot write audio data to AVI file.", "Cannot open AVI file.", "Cannot create AVI file.",
      "Cannot initialize AVI codec.", "AVI audio stream not valid (decompressor not found?), ignoring audio"},
     "General AVI handling fault."},
    {12,
     {kMovieTexts[0], kMovieTexts[1], kMovieTexts[2], kMovieTexts[3], kMovieTexts[4], kMovieTexts[5], kMovieTexts[6],
      kMovieTexts[7]},
     "General \"MVI\" handling fault."},
    {13,
     {"Cannot open WAV file.", "Cannot create WAV file.", "Cannot read from WAV file.", "Cannot write to WAV file.",
      "Cannot seek in WAV file."},
     "general \"WAV\" handling fault."},
    {14,
     {kMovieTexts[0], kMovieTexts[1], kMovieTexts[2], kMovieTexts[3], kMovieTexts[4], kMovieTexts[5], kMovieTexts[6],
      kMovieTexts[7]},
     "General \"MVI\" handling fault."},
    {15, {"End of HAV movie reached."}, "General \"HAV\" handling fault."},
    {16, {"UNI protocol fault."}, "General \"UNI\" handling fault."},
    {17, {"End of FLIC movie reached."}, "General \"FLIC\" handling fault."},
};

// Categories whose message is a fixed prefix followed by the code.
struct PrefixText {
  int32_t category;
  const char* prefix;
};
const PrefixText kPrefixes[] = {
    {10, "AVI subsystem malfunction: "},
    {11, "Video For Windows malfunction: "},
    {19, "Fatal error in Audio Compression Manager: "},
    {20, "Fatal error in Win-MM: "},
};

std::string Unsigned(int32_t v) { return std::to_string(uint32_t(v)); }

// The message for the code, with the stored text used for the text-carrying categories.
std::string Compose(int32_t category, int32_t code, const std::string& storedText) {
  if (category == 0 || code == 0) return "No errors.";
  if (category >= 1 && category <= 3) return storedText;
  for (const auto& row : kTable) {
    if (row.category != category) continue;
    if (code < 1 || size_t(code) > row.codes.size()) return row.other;
    std::string text = row.codes.begin()[code - 1];
    if (text.back() == '+') {
      text.pop_back();
      text += g_lastFileName;
    }
    return text;
  }
  for (const auto& p : kPrefixes)
    if (p.category == category) return p.prefix + Unsigned(code);
  return "Undefined error: " + Unsigned(category) + ":" + Unsigned(code);
}

MessageBoxHook& Hook() {
  static MessageBoxHook hook = [](MsgBox, const std::string& title, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
  };
  return hook;
}

QuestionHook& Question() {
  static QuestionHook hook = [](Buttons, const std::string&, const std::string&) { return Answer::No; };
  return hook;
}

void ShowBox(MsgBox kind, const std::string& title, const std::string& text) {
  if (Hook()) Hook()(kind, title, text);
}

}  // namespace

void ErrSetFull(int32_t category, int32_t code, std::string_view text, Site site) {
  if (g_locked) return;
  g_locked = true;
  const bool isError = category != 0 && code != 0;
  if (isError) {
    g_error.category = category;
    g_error.code = code;
    if (!text.empty()) g_error.text = text;
    TraceRecord('!', category, code, Compose(category, code, g_error.text), site);
    TraceClearLabels();
  } else {
    g_error.category = 0;
    g_error.code = 0;
  }
  g_locked = false;
  if (isError) detail::MonOnError();
}

void ErrSet(int32_t category, int32_t code, Site site) { ErrSetFull(category, code, {}, site); }

void ErrSetText(int32_t category, std::string_view text, Site site) {
  ErrSetFull(category, TEXT_ONLY_CODE, text, site);
}

void ErrClear() {
  if (g_locked) return;
  g_error.category = 0;
  g_error.code = 0;
}

int32_t ErrCategory() { return g_error.category; }
int32_t ErrCode() { return g_error.code; }
bool ErrNone() { return g_error.category == 0 && g_error.code == 0; }
std::string ErrMessage(int32_t category, int32_t code) { return Compose(category, code, g_error.text); }
std::string ErrLastMessage() { return ErrMessage(g_error.category, g_error.code); }
void ErrLock() { g_locked = true; }
void ErrUnlock() { g_locked = false; }
bool ErrLocked() { return g_locked; }

void WarnSetFull(int32_t category, int32_t code, std::string_view text, Site site) {
  if (category == 0 || code == 0) {
    WarnClear();
    return;
  }
  g_warning.category = category;
  g_warning.code = code;
  if (!text.empty()) g_warning.text = text;
  TraceRecord('?', category, code, WarnLastMessage(), site);
}

void WarnSet(int32_t category, int32_t code, Site site) { WarnSetFull(category, code, {}, site); }

void WarnSetText(int32_t category, std::string_view text, Site site) {
  WarnSetFull(category, TEXT_ONLY_CODE, text, site);
}

void WarnClear() {
  g_warning.category = 0;
  g_warning.code = 0;
}

bool WarnNone() { return g_warning.category == 0 && g_warning.code == 0; }
int32_t WarnCategory() { return g_warning.category; }
int32_t WarnCode() { return g_warning.code; }
std::string WarnLastMessage() { return Compose(g_warning.category, g_warning.code, g_warning.text); }

void SetLastFileName(std::string_view name) { g_lastFileName = name; }
const std::string& LastFileName() { return g_lastFileName; }

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
  MessageBoxHook previous = std::move(Hook());
  Hook() = std::move(hook);
  return previous;
}

QuestionHook SetQuestionHook(QuestionHook hook) {
  QuestionHook previous = std::move(Question());
  Question() = std::move(hook);
  return previous;
}

Answer AskQuestion(Buttons buttons, const std::string& text) {
  return Question() ? Question()(buttons, AppTitle(), text) : Answer::No;
}

void SetAppTitle(std::string_view title) { g_appTitle = title; }
const std::string& AppTitle() {
  static const std::string kOwnTitle = "Reelforge";
  return g_appTitle.empty() ? kOwnTitle : g_appTitle;
}

void ShowErrorBox(const std::string& text) { ShowBox(MsgBox::Error, AppTitle(), text); }
void ShowWarningBox(const std::string& text) { ShowBox(MsgBox::Warning, AppTitle(), text); }
void ShowInfoBox(const std::string& text) { ShowBox(MsgBox::Information, AppTitle(), text); }
void DvlShowError(const std::string& text) { ShowBox(MsgBox::Error, "Error", text); }

bool ShowLastError(std::string_view fileName) {
  if (ErrNone()) return false;
  std::string text = ErrLastMessage();
  if (!fileName.empty()) text = text + " (file: " + std::string(fileName) + ")";
  ShowErrorBox(text);
  ErrClear();
  return true;
}

}  // namespace rf

namespace rf::detail {

void ErrStore(int32_t category, int32_t code, std::string_view text) {
  g_error.category = category;
  g_error.code = code;
  if (!text.empty()) g_error.text = text;
}

}  // namespace rf::detail
