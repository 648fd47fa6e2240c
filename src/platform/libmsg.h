// Messages of the outside libraries: every line goes into the trace, none to standard error, and
// the last error line is kept as the reason of the failure the library reports next.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

namespace rf {

enum class LibLevel { Error, Warning, Note };

// One line of a library: traced as "#library: text"; an error line becomes the pending reason.
void LibMessage(std::string_view library, LibLevel level, std::string_view text);
// The same with a printf format, as the libraries' callbacks receive it.
void LibMessageV(std::string_view library, LibLevel level, const char* format, va_list args);

// The last error line since the reason was last taken or dropped ("library: text"), emptied.
std::string LibTakeReason();
// Forgets the pending reason: an operation that starts afresh calls it so that an old line is
// never taken for the reason of a new failure.
void LibDropReason();

}  // namespace rf
