// The process-wide error and warning registers, message composition and the message-box hook.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "foundation/common.h"

namespace rf {

// Code used by errors that carry only a text.
inline constexpr int32_t TEXT_ONLY_CODE = 2147483647;

// Error register.
void ErrSetFull(int32_t category, int32_t code, std::string_view text, Site site = {});
void ErrSet(int32_t category, int32_t code, Site site = {});
void ErrSetText(int32_t category, std::string_view text, Site site = {});
void ErrClear();
int32_t ErrCategory();
int32_t ErrCode();
bool ErrNone();
std::string ErrMessage(int32_t category, int32_t code);
std::string ErrLastMessage();
void ErrLock();
void ErrUnlock();
bool ErrLocked();

// Locks the register for its lifetime and leaves it as it found it: clean-up after a failure
// must not replace or raise the error being reported.
class ErrLockScope {
 public:
  ErrLockScope() : wasLocked_(ErrLocked()) { ErrLock(); }
  ~ErrLockScope() {
    if (!wasLocked_) ErrUnlock();
  }
  ErrLockScope(const ErrLockScope&) = delete;
  ErrLockScope& operator=(const ErrLockScope&) = delete;

 private:
  bool wasLocked_;
};

// Warning register: recorded and traced, never aborts anything.
void WarnSetFull(int32_t category, int32_t code, std::string_view text, Site site = {});
void WarnSet(int32_t category, int32_t code, Site site = {});
void WarnSetText(int32_t category, std::string_view text, Site site = {});
void WarnClear();
bool WarnNone();
int32_t WarnCategory();
int32_t WarnCode();
std::string WarnLastMessage();

// The name the tracked file routines are about to act on; file messages append it.
void SetLastFileName(std::string_view name);
const std::string& LastFileName();

// Message boxes. The hook receives the kind, the title and the text; the default hook writes
// "title: text" to standard error. The desktop program installs real boxes.
enum class MsgBox { Error, Warning, Information };
using MessageBoxHook = std::function<void(MsgBox kind, const std::string& title, const std::string& text)>;
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);  // returns the previous hook
void SetAppTitle(std::string_view title);
const std::string& AppTitle();
void ShowErrorBox(const std::string& text);
void ShowWarningBox(const std::string& text);
void ShowInfoBox(const std::string& text);
// Titled "Error" whatever the application title; for use before the title exists.
void DvlShowError(const std::string& text);
// Questions. The hook receives the buttons, the title and the text and returns the answer; the
// default hook answers No, so that a program with no way to ask never takes the risky branch.
enum class Answer { No, Yes, Cancel };
enum class Buttons { YesNo, YesNoCancel };
using QuestionHook = std::function<Answer(Buttons buttons, const std::string& title, const std::string& text)>;
QuestionHook SetQuestionHook(QuestionHook hook);  // returns the previous hook
// Asks under the application title.
Answer AskQuestion(Buttons buttons, const std::string& text);
// After a user action: shows the register's message (with "%s (file: %s)" when a file is
// named) in the error box and clears the register. Returns true when there was an error.
bool ShowLastError(std::string_view fileName = {});

namespace detail {
// Stores an error without tracing it or telling the monitor: the monitor's own bookkeeping.
void ErrStore(int32_t category, int32_t code, std::string_view text);
}  // namespace detail

}  // namespace rf
