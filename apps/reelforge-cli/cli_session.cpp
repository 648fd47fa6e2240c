// The session commands (new, show, add, save), rendering a saved session or a list file, and the
// preferences the command line shares with the desktop program.
#include <getopt.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli.h"
#include "cli_progress.h"
#include "effects/fnparams.h"
#include "engine/outdef.h"
#include "formats/ffdesc.h"
#include "formats/ffsaveopt.h"
#include "foundation/errors.h"
#include "persistence/prefs.h"
#include "persistence/session.h"
#include "persistence/vflformat.h"

namespace rf::cli {
namespace {

const char* const kSessionHelp =
    "usage: reelforge-cli session new SESSION.rfs [RENDER OPTIONS] INPUT...\n"
    "       reelforge-cli session show SESSION.rfs\n"
    "       reelforge-cli session add SESSION.rfs [--sequences] [--silence SECONDS] [--list FILE.vfl] [INPUT...]\n"
    "       reelforge-cli session save SESSION.rfs -o NEW.rfs [--sections output,files,effects]\n"
    "\n"
    "new   builds a session from inputs and the options of 'render' (see 'reelforge-cli render\n"
    "      --help') and saves it instead of rendering\n"
    "show  prints the output definition, the blocks and the effects of a session\n"
    "add   appends inputs, silences and the files of a list to a session, in the order given\n"
    "save  writes the chosen sections of a session (all present ones by default) to NEW.rfs\n"
    "A session is replaced only once it is completely written.\n";

Preferences g_prefs;

std::string Sections(const SessionSections& s) {
  std::string text;
  for (const auto& [on, name] : {std::pair{s.output, "output"}, {s.files, "files"}, {s.effects, "effects"}})
    if (on) text += (text.empty() ? "" : ",") + std::string(name);
  return text.empty() ? "none" : text;
}

bool ParseSections(const std::string& text, SessionSections& s) {
  s = SessionSections{};
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = text.find(',', start);
    const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (item == "output")
      s.output = true;
    else if (item == "files")
      s.files = true;
    else if (item == "effects")
      s.effects = true;
    else
      return false;
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return true;
}

// Loads every section of the file into project; the reason is printed when it fails.
bool Load(const std::string& file, Project& project, SessionSections& present) {
  if (SessionScan(file, present) && SessionLoadFromFile(file, project, present)) return true;
  Fail(kFailed, "cannot open the session " + file);
  return false;
}

std::string BlockLine(const MMList& list, const MMBlockRec& b) {
  char line[160];
  if (!MMBlockP_IsFile(b)) {
    std::snprintf(line, sizeof line, "silence %.3f s", b.duration);
    return line;
  }
  const QMMFileInfo* f = MMFile_GetPtrByIndex(list.files, b.file);
  std::snprintf(line, sizeof line, " %d-%d of %d at %.3f/s", b.first, b.last, b.fileQuants, b.frequency);
  std::string text = (f ? f->info.name : "?") + line;
  if (b.linked && b.link != NOT_SET) text += ", linked to " + std::to_string(b.link);
  return text;
}

void Show(const Project& p, const SessionSections& present) {
  std::printf("sections: %s\n", Sections(present).c_str());
  if (present.output) {
    const OutputDef& o = p.output;
    std::printf("output: video '%s', audio '%s', mode %d, %d x %d, %.3f fps, %d frames, %d samples\n",
                OutVideoFile(o).c_str(), OutAudioFile(o).c_str(), o.OutMode, o.Width, o.Height, o.FPS, o.Frames,
                o.Samples);
  }
  const std::pair<const char*, const MMBlockList*> lists[] = {{"video", &p.list.video}, {"audio", &p.list.audio}};
  for (const auto& [name, list] : lists) {
    std::printf("%s blocks: %zu\n", name, list->items.size());
    for (size_t i = 0; i < list->items.size(); ++i)
      std::printf("  %zu: %s\n", i, BlockLine(p.list, *list->items[i]).c_str());
  }
  std::printf("effects: %zu\n", p.chain.size());
  for (size_t i = 0; i < p.chain.size(); ++i)
    std::printf("  %zu: %s, frames %d-%d\n", i, FnEntryText(*p.chain[i]).c_str(), p.chain[i]->first, p.chain[i]->last);
}

int Save(const std::string& file, const Project& project, const SessionSections& sections) {
  if (!SessionSaveToFile(file, project, sections)) return Fail(kFailed, "cannot write the session " + file);
  return kOk;
}

int CmdShow(int argc, char** argv) {
  if (argc != 2) return Fail(kUsage, "session show: wants one SESSION.rfs");
  Project project;
  SessionSections present;
  if (!Load(argv[1], project, present)) return kFailed;
  Show(project, present);
  return kOk;
}

int CmdAdd(int argc, char** argv) {
  if (argc < 2) return Fail(kUsage, "session add: wants SESSION.rfs");
  const std::string file = argv[1];
  Project project;
  SessionSections present;
  if (!Load(file, project, present)) return kFailed;
  bool sequences = false;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--sequences") {
      sequences = true;
    } else if ((a == "--silence" || a == "--list") && i + 1 < argc) {
      const std::string value = argv[++i];
      int32_t failed = 0;
      if (a == "--list" && !VFLImportFile(project, value, failed))
        return Fail(kFailed, "cannot read the list " + value);
      if (failed > 0) Fail(kOk, std::to_string(failed) + " files of " + value + " gave no block");
      char* end = nullptr;
      const double seconds = a == "--silence" ? std::strtod(value.c_str(), &end) : 0;
      if (a == "--silence" && (!end || *end || !(seconds > 0)))
        return Fail(kUsage, "session add: --silence wants a positive number of seconds");
      if (a == "--silence") ProjectAddSilence(project, seconds);
    } else if (a.rfind("-", 0) == 0) {
      return Fail(kUsage, "session add: unknown or incomplete option '" + a + "'");
    } else if (!ProjectAddFile(project, a, sequences)) {
      return Fail(kFailed, TakeError());
    }
  }
  present.files = true;
  return Save(file, project, present);
}

int CmdSave(int argc, char** argv) {
  std::string out, sections;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if ((a == "-o" || a == "--sections") && i + 1 < argc)
      (a == "-o" ? out : sections) = argv[++i];
    else if (a.rfind("-", 0) == 0)
      return Fail(kUsage, "session save: unknown or incomplete option '" + a + "'");
    else
      files.push_back(a);
  }
  if (files.size() != 1 || out.empty()) return Fail(kUsage, "session save: wants SESSION.rfs and -o NEW.rfs");
  Project project;
  SessionSections present, chosen;
  if (!Load(files[0], project, present)) return kFailed;
  chosen = present;
  if (!sections.empty() && !ParseSections(sections, chosen))
    return Fail(kUsage, "session save: --sections wants output, files and effects, separated by commas");
  return Save(out, project, chosen);
}

// Where `session new` puts the project that render builds, instead of running it.
std::string g_sessionTarget;

bool IsSessionName(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".rfs";
}

// -o OUTPUT in place of the saved names: the format follows the extension, as it does for render.
void SetOutputName(OutputDef& def, const std::string& name, bool sound) {
  const int32_t format = FFGetId(name, FF_SAVE_TABLE);
  const int32_t flags = FFGetFlags(format, FF_SAVE_TABLE);
  if ((flags & FFF_PICTURES) != 0) {
    OutSetVideoFile(def, name);
    def.VideoFormat = format;
    FFSaveSetFormat(def.VideoSaveOpt, format);
    if (def.OutMode != OM_SEPARATE) def.OutMode = sound && (flags & FFF_SOUND) != 0 ? OM_SAME_FILE : OM_VIDEO_ONLY;
  } else {
    OutSetAudioFile(def, name);
    def.AudioFormat = format;
    def.OutMode = OM_AUDIO_ONLY;
  }
  OutputFiles_OnChange(def);
}

// The project of a session, or of a list with the output the list's files suggest.
bool SavedProject(const std::string& session, const std::string& list, Project& project) {
  if (!session.empty()) {
    SessionSections present;
    return Load(session, project, present);
  }
  int32_t failed = 0;
  if (!VFLImportFile(project, list, failed)) {
    Fail(kFailed, "cannot read the list " + list);
    return false;
  }
  if (failed > 0) Fail(kOk, std::to_string(failed) + " files of " + list + " gave no block");
  CalcOptimalOutput(project.output, project.list);
  return true;
}
}  // namespace

void ApplyPreferences() {
  ReadPreferences(g_prefs);
  OutSetDefaultFPS(g_prefs.defaultFPS);
  ::setenv("TMPDIR", g_prefs.tempFolder.c_str(), 1);
}

std::string WithDefaultExtension(const std::string& name, bool pictures) {
  const size_t slash = name.rfind('/');
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) return name;
  return name + (pictures ? g_prefs.defaultVideoExt : g_prefs.defaultAudioExt);
}

bool RendersSaved(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--list" || IsSessionName(argv[i])) return true;
  return false;
}

int RenderSaved(int argc, char** argv) {
  std::string session, list, output;
  ProgressMode mode;
  Overwrite overwrite = Overwrite::Ask;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if ((a == "-o" || a == "--output" || a == "--list") && i + 1 < argc)
      (a == "--list" ? list : output) = argv[++i];
    else if (a == "-q" || a == "--quiet")
      mode.quiet = true;
    else if (a == "--progress=machine")
      mode.machine = true;
    else if (a == "-y" || a == "-n")
      overwrite = a == "-y" ? Overwrite::Yes : Overwrite::No;
    else if (IsSessionName(a) && session.empty())
      session = a;
    else
      return Fail(kUsage,
                  "render: a session or a list takes only -o, -q, -y, -n and --progress=machine, not '" + a + "'");
  }
  if (session.empty() == list.empty()) return Fail(kUsage, "render: wants one SESSION.rfs or one --list FILE.vfl");
  if (!list.empty() && output.empty()) return Fail(kUsage, "render: a list needs an output (-o OUTPUT)");
  Project project;
  if (!SavedProject(session, list, project)) return kFailed;
  if (!output.empty())
    SetOutputName(project.output, WithDefaultExtension(output, !project.list.video.items.empty()),
                  !project.list.audio.items.empty());
  SetOverwriteAnswer(overwrite);
  return RunProject(project, mode, RunSettings{});
}

bool BuildsSession() { return !g_sessionTarget.empty(); }

int SaveBuiltSession(const Project& project) {
  return Save(g_sessionTarget, project, SessionSections{true, true, true, false});
}

int CmdSession(int argc, char** argv) {
  const std::string sub = argc > 1 ? argv[1] : "";
  if (sub == "--help" || sub == "help") {
    std::fputs(kSessionHelp, stdout);
    return kOk;
  }
  if (sub == "new") {
    if (argc < 3 || std::string(argv[2]).rfind("-", 0) == 0)
      return Fail(kUsage, "session new: wants SESSION.rfs first");
    g_sessionTarget = argv[2];
    return CmdRender(argc - 2, argv + 2, JobCommand::Render);
  }
  if (sub == "show") return CmdShow(argc - 1, argv + 1);
  if (sub == "add") return CmdAdd(argc - 1, argv + 1);
  if (sub == "save") return CmdSave(argc - 1, argv + 1);
  return Fail(kUsage, "session: wants new, show, add or save (see 'reelforge-cli session --help')");
}

}  // namespace rf::cli
