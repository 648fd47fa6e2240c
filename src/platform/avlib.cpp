// Opens the codec libraries on first use, resolves the function table and routes their log.
#include "platform/avlib.h"

#include <dlfcn.h>

#include <cstdio>
#include <mutex>
#include <type_traits>

#include "platform/libmsg.h"

namespace rf {
namespace {

constexpr size_t kLibraries = size_t(AvLibrary::Count);

struct Loaded {
  std::once_flag once;
  bool ok = false;
  AvApi api;
  std::string failure;
};

Loaded& State() {
  static Loaded s;
  return s;
}

const char* const kSonames[kLibraries] = {
    "libavutil.so." AV_STRINGIFY(LIBAVUTIL_VERSION_MAJOR),
    "libswresample.so." AV_STRINGIFY(LIBSWRESAMPLE_VERSION_MAJOR),
    "libswscale.so." AV_STRINGIFY(LIBSWSCALE_VERSION_MAJOR),
    "libavcodec.so." AV_STRINGIFY(LIBAVCODEC_VERSION_MAJOR),
    "libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR),
};

LibLevel LevelOf(int level) {
  if (level <= AV_LOG_ERROR) return LibLevel::Error;
  return level <= AV_LOG_WARNING ? LibLevel::Warning : LibLevel::Note;
}

// The libraries send a line in pieces; each thread collects its own until the line ends.
thread_local std::string t_piece;
thread_local int t_pieceLevel = AV_LOG_QUIET;

void OnLog(void* object, int level, const char* format, va_list args) {
  if (level > AV_LOG_INFO) return;  // verbose and debug output is of no use to a user
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  t_piece += text;
  if (t_pieceLevel == AV_LOG_QUIET || level < t_pieceLevel) t_pieceLevel = level;
  if (t_piece.empty() || t_piece.back() != '\n') return;
  // The context's class names the codec or component the line is about.
  const AVClass* cls = object ? *static_cast<const AVClass* const*>(object) : nullptr;
  const char* source = cls && cls->item_name ? cls->item_name(object) : "codec";
  LibMessage(source ? source : "codec", LevelOf(t_pieceLevel), t_piece);
  t_piece.clear();
  t_pieceLevel = AV_LOG_QUIET;
}

void LoadOnce(Loaded& s) {
  s.ok = detail::AvResolve(s.api, kSonames, s.failure);
  if (s.ok) s.api.av_log_set_callback(OnLog);
}

}  // namespace

bool AvLoad() {
  Loaded& s = State();
  std::call_once(s.once, LoadOnce, s);
  // Each operation that needed the libraries fails with the reason.
  if (!s.ok) LibMessage("", LibLevel::Error, s.failure);
  return s.ok;
}

const std::string& AvLoadFailure() { return State().failure; }

const AvApi& Av() { return State().api; }

namespace detail {

const char* AvSoname(AvLibrary library) { return kSonames[size_t(library)]; }

bool AvResolve(AvApi& api, const char* const (&sonames)[kLibraries], std::string& failure) {
  // Once resolved, the libraries stay open for the life of the process: the table keeps their
  // functions. A library is never unmapped, not even after a failed attempt, so that what its
  // start-up code allocated stays reachable instead of leaking.
  void* handles[kLibraries] = {};
  for (size_t i = 0; i < kLibraries; ++i) {
    handles[i] = dlopen(sonames[i], RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handles[i]) {
      const char* why = dlerror();
      failure = std::string("The codec library ") + sonames[i] + " is not installed or cannot be loaded" +
                (why ? std::string(" (") + why + ")" : std::string());
      while (i > 0) dlclose(handles[--i]);
      return false;
    }
  }
  AvApi table;
  bool ok = true;
  auto resolve = [&](AvLibrary library, const char* name, auto& slot) {
    if (!ok) return;
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(dlsym(handles[size_t(library)], name));
    if (slot) return;
    ok = false;
    failure = std::string("The codec library ") + sonames[size_t(library)] + " lacks the function " + name;
  };
#define RF_AV_RESOLVE(library, name) resolve(AvLibrary::library, #name, table.name);
  RF_AV_FUNCTIONS(RF_AV_RESOLVE)
#undef RF_AV_RESOLVE
  if (ok) api = table;
  for (size_t i = 0; !ok && i < kLibraries; ++i) dlclose(handles[i]);
  return ok;
}

}  // namespace detail
}  // namespace rf
