// varnel-pack build: settings from the command line and a project file,
// turned into the core builder's options.
#include "BuildCommand.h"

#include <fstream>
#include <iostream>
#include <map>

#include "Cli.h"
#include "IniFile.h"
#include "Interrupt.h"
#include "Languages.h"
#include "package/PackBuild.h"
#include "package/PackBuildText.h"
#include "package/Signature.h"
#include "util/FileIO.h"
#include "util/Utils.h"

namespace {

enum class TKind { Flag, Text, Path, Level, Size, Seed, CodePage };

struct TKey {
  const char* name;
  TKind kind;
  const char* help;
};

// Every build setting: --name VALUE on the command line, name = VALUE in a project file.
const TKey kKeys[] = {
    {"stub", TKind::Path, "stub executable (\"MZ\" at 0, \"PE\" at 256)"},
    {"output", TKind::Path, "setup executable to write (-o)"},
    {"engine", TKind::Text, "the engine among the files, by its name in the package"},
    {"engine-args", TKind::Text, "arguments written after the engine's \"*\""},
    {"languages", TKind::Path, "INI file, one [Language] section each (default: English)"},
    {"code-page", TKind::CodePage, "code page of names and texts (default 1252)"},
    {"level", TKind::Level, "compression level 0..9, 0 = copy, still checked (default 6)"},
    {"entry-size", TKind::Size, "largest piece of a file per entry (default 4M)"},
    {"volume-size", TKind::Size, "split into volumes of at most this size (0: one file)"},
    {"first-volume-file", TKind::Flag, "write the first volume as OUTPUT.001"},
    {"seed", TKind::Seed, "seed of the token scrambler (same seed, same bytes)"},
    {"temp-drive-notice", TKind::Flag, "tell the user the temp drive and ask"},
    {"copy-to-temp", TKind::Flag, "spanned package: run from a copy in the temp folder"},
    {"activity-bar", TKind::Flag, "show the activity bar while extracting"},
    {"agent-trace-log", TKind::Flag, "agent writes a trace log"},
    {"download-setup", TKind::Flag, "download the setup file instead of extracting"},
    {"ask-before-download", TKind::Flag, "ask the user before downloading"},
    {"carries-agent", TKind::Flag, "write the auto-update agent while extracting"},
    {"agent-package", TKind::Flag, "the executable is an auto-update agent"},
    {"info-url", TKind::Text, "INFO folder URL of the agent (default http://)"},
    {"info-file", TKind::Text, "agent's information file name (default .info)"},
    {"agent-file", TKind::Text, "agent file name (default .exe)"},
    {"token", TKind::Text, "secret token, plain text (stored scrambled)"},
    {"background", TKind::Flag, "background setup (as with /hide)"},
    {"download-url", TKind::Text, "download block: folder URL of the setup file"},
    {"download-file", TKind::Text, "download block: name of the setup file"},
    {"always-download", TKind::Flag, "download block: never use a copy beside the stub"},
    {"download-token", TKind::Text, "download block: secret token, plain text"},
    {"download-size", TKind::Text, "download block: size of the setup file in bytes"},
    {"update-key", TKind::Path, "public key file (keygen): updates must be signed"},
};

const TKey* FindKey(const std::string& name) {
  for (const TKey& key : kKeys)
    if (name == key.name) return &key;
  return nullptr;
}

struct TSetting {
  std::string value;   // UTF-8
  std::string base;    // folder that relative paths start from (host encoding)
  std::string origin;  // for messages: "--name" or "file:line"
};

using TSettings = std::map<std::string, TSetting>;

struct TFileArg {
  std::string path;
  std::string origin;
};

std::string ReadProject(const std::string& path, TSettings& settings, std::vector<TFileArg>& files) {
  std::vector<TIniSection> sections;
  std::string error = ReadIniFile(path, sections);
  if (!error.empty()) return error;
  const std::string base = cli::DirectoryOf(path);
  for (const TIniSection& section : sections) {
    const bool fileList = SameText(section.name, "Files");
    if (!fileList && !section.name.empty() && !SameText(section.name, "Package"))
      return path + ":" + std::to_string(section.number) + ": unknown section [" + section.name + "]";
    for (const TIniLine& line : section.lines) {
      const std::string origin = path + ":" + std::to_string(line.number);
      if (fileList) {
        files.push_back({cli::ResolvePath(base, cli::Utf8ToHost(line.text)), origin});
        continue;
      }
      if (!line.hasEquals) return origin + ": expected key = value";
      if (!FindKey(line.key)) return origin + ": unknown key " + line.key;
      settings[line.key] = {line.value, base, origin};
    }
  }
  return "";
}

// Applies one setting to the builder's options.
std::string Apply(const TKey& key, const TSetting& s, PackBuild::TBuildOptions& o, std::string& languageFile) {
  const std::string name = key.name;
  const std::string bad = s.origin + ": bad value \"" + s.value + "\" for " + name;
  bool flag = false;
  uint64_t number = 0;
  switch (key.kind) {
    case TKind::Flag:
      if (!cli::ParseBool(s.value, flag)) return bad + " (expected 0 or 1)";
      break;
    case TKind::Level:
      if (!cli::ParseUInt(s.value, 9, number)) return bad + " (expected 0 to 9)";
      o.level = static_cast<int>(number);
      return "";
    case TKind::Seed:
      if (!cli::ParseUInt(s.value, 0xFFFFFFFFu, number)) return bad + " (expected 0 to 4294967295)";
      o.seed = static_cast<uint32_t>(number);
      return "";
    case TKind::CodePage:
      if (!cli::ParseUInt(s.value, 65535, number) || !PackText::IsSupportedCodePage(static_cast<int>(number)))
        return bad + " (expected one of the code pages " + PackText::SupportedCodePagesText() + ")";
      o.codePage = static_cast<int>(number);
      return "";
    case TKind::Size:
      if (!PackBuild::ParseSize(s.value, number)) return bad + " (expected bytes, or a number with K, M or G)";
      (name == "entry-size" ? o.entrySize : o.volumeSize) = number;
      return "";
    case TKind::Text:
    case TKind::Path:
      break;
  }
  const std::string path = cli::ResolvePath(s.base, cli::Utf8ToHost(s.value));
  static const std::map<std::string, uint8_t> kOptionBits = {
      {"temp-drive-notice", PackFormat::kOptTempDriveNotice},
      {"copy-to-temp", PackFormat::kOptCopyToTemp},
      {"activity-bar", PackFormat::kOptActivityBar},
      {"agent-trace-log", PackFormat::kOptAgentTraceLog}};
  if (auto bit = kOptionBits.find(name); bit != kOptionBits.end()) {
    o.options = static_cast<uint8_t>(flag ? (o.options | bit->second) : (o.options & ~bit->second));
    return "";
  }
  const std::map<std::string, std::string*> texts = {
      {"stub", &o.stubPath},          {"output", &o.output},
      {"engine", &o.engineName},      {"engine-args", &o.engineArgs},
      {"languages", &languageFile},   {"info-url", &o.info.infoFolderURL},
      {"info-file", &o.info.infoFile}, {"agent-file", &o.info.agentFile},
      {"token", &o.info.token},       {"download-url", &o.download.url},
      {"download-file", &o.download.setupFile}, {"download-token", &o.download.token},
      {"download-size", &o.download.size}, {"update-key", &o.updateKey}};
  if (auto text = texts.find(name); text != texts.end()) {
    *text->second = key.kind == TKind::Path ? path : s.value;
    if (StartsWith("download-", name)) o.download.present = true;
    return "";
  }
  const std::map<std::string, bool*> flags = {
      {"first-volume-file", &o.firstVolumeFile}, {"download-setup", &o.downloadSetup},
      {"ask-before-download", &o.askBeforeDownload}, {"carries-agent", &o.carriesAgent},
      {"agent-package", &o.agentPackage},        {"background", &o.info.background},
      {"always-download", &o.download.alwaysDownload}};
  if (auto f = flags.find(name); f != flags.end()) {
    *f->second = flag;
    if (name == "always-download" || (name == "download-setup" && flag)) o.download.present = true;
  }
  return "";
}

// A key file is one short line: anything larger is refused unread.
bool ReadKeyFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string bytes(Signature::kMaxSignatureFile + 1, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (in.bad()) return false;
  bytes.resize(static_cast<size_t>(in.gcount()));
  text = bytes;
  return true;
}

std::vector<cli::TOptionDef> OptionDefs() {
  std::vector<cli::TOptionDef> defs;
  for (const TKey& key : kKeys) defs.push_back({key.name, key.kind != TKind::Flag, key.name == std::string("output") ? 'o' : '\0'});
  defs.push_back({"project", true, 'p'});
  defs.push_back({"verbose", false, 'v'});
  defs.push_back({"no-progress", false, 0});
  return defs;
}

}  // namespace

std::string BuildHelp() {
  std::string help =
      "usage: varnel-pack build [--project FILE] [settings] [FILE|FOLDER]...\n"
      "\n"
      "Writes a setup executable: the stub, then a package of the given files.\n"
      "A file is carried under its own name; a folder carries its files under\n"
      "their names relative to it (\"\\\" separated). Dates are the files' dates.\n"
      "\n"
      "Settings, as --NAME VALUE (flags: --NAME, --NAME 1 or --NAME 0) or as\n"
      "NAME = VALUE lines in the [Package] section of a project file (flags:\n"
      "NAME = 1):\n";
  for (const TKey& key : kKeys) {
    std::string left = std::string("  ") + key.name;
    static const char* const kValue[] = {"", " TEXT", " FILE", " N", " SIZE", " N", " N"};
    left += kValue[static_cast<int>(key.kind)];
    if (left.size() < 26) left.resize(26, ' ');
    help += left + key.help + "\n";
  }
  help +=
      "\n"
      "Command line only:\n"
      "  -p, --project FILE      project file (the command line overrides it)\n"
      "  -v, --verbose           list the files and volumes written\n"
      "  --no-progress           no progress bar (it only shows on a terminal)\n"
      "\n"
      "Project file: [Package] holds the settings; [Files] lists one file or\n"
      "folder per line. Relative paths in it start at the project file's folder.\n"
      "\n"
      "  [Package]\n"
      "  stub = VarnelStub.exe\n"
      "  output = out/setup.exe\n"
      "  engine = Engine.exe\n"
      "  token = MyProduct-2026\n"
      "  [Files]\n"
      "  payload\n"
      "\n"
      "SIZE is in bytes or with K, M or G, binary units (1K = 1024 bytes, 650M =\n"
      "650 x 1048576). With volume-size the package continues in OUTPUT.002,\n"
      "OUTPUT.003, ...; a block is never split; 0 (the default) writes one file.\n"
      "\n"
      "Names and texts are taken as UTF-8 and stored in the code page (1252,\n"
      "1250, 1251, ..., 932, 936, 949, 950); one it cannot hold is refused.\n"
      "An engine is required unless download-setup or agent-package is set.\n"
      "The languages file has one section per language with the keys\n ";
  int column = 1;
  for (const char* const* k = kLanguageKeys; *k; ++k) {
    const std::string item = std::string(" ") + *k + (k[1] ? "," : ".");
    if (static_cast<size_t>(column) + item.size() > 76) {
      help += "\n ";
      column = 1;
    }
    help += item;
    column += static_cast<int>(item.size());
  }
  help += "\n";
  return help;
}

namespace {

// What cannot work in a setup run is refused before anything is written.
std::string CheckEngine(const PackBuild::TBuildOptions& o, const TSettings& settings) {
  if (!o.engineName.empty() || o.downloadSetup || o.agentPackage) {
    if (o.engineName.empty() && !o.engineArgs.empty())
      return settings.at("engine-args").origin + ": engine-args without an engine (set engine)";
    return "";
  }
  if (settings.count("engine-args")) return settings.at("engine-args").origin + ": engine-args without an engine (set engine)";
  return "no engine given (--engine NAME): the stub would extract the files, start nothing and end with exit code 4";
}

std::string BuildSummary(const PackBuild::TBuildReport& report, int64_t ms) {
  uint64_t written = 0;
  for (const std::string& volume : report.volumes) {
    TFile file(volume, TFile::Mode::Read);
    written += static_cast<uint64_t>(file.Size());
  }
  return "built " + report.volumes.front() + ": " + cli::CountText(report.files, "file", "files") + ", " +
         cli::CountText(report.inputBytes, "byte", "bytes") + " in " +
         cli::CountText(report.volumes.size(), "volume", "volumes") + " of " +
         cli::CountText(written, "byte", "bytes") + ", " + cli::SecondsText(ms);
}

}  // namespace

int RunBuild(int argc, char** argv) {
  const int64_t started = cli::NowMs();
  cli::TParsedArgs args;
  std::string error = cli::ParseArgs(argc, argv, 2, OptionDefs(), args);
  if (args.help) {
    std::cout << BuildHelp();
    return 0;
  }
  if (!error.empty()) return cli::Fail(error);

  TSettings settings;
  std::vector<TFileArg> files;
  if (auto project = args.values.find("project"); project != args.values.end()) {
    error = ReadProject(project->second, settings, files);
    if (!error.empty()) return cli::Fail(error);
  }
  for (const auto& [name, value] : args.values)
    if (FindKey(name))
      settings[name] = {cli::HostToUtf8(value), "", "--" + name};
  for (const std::string& path : args.positional) files.push_back({path, "command line"});

  PackBuild::TBuildOptions options;
  std::string languageFile;
  for (const auto& [name, setting] : settings) {
    error = Apply(*FindKey(name), setting, options, languageFile);
    if (!error.empty()) return cli::Fail(error);
  }
  if (options.stubPath.empty()) return cli::Fail("no stub given (--stub FILE)");
  if (options.output.empty()) return cli::Fail("no output file given (-o FILE)");
  if (files.empty() && !options.downloadSetup && !options.agentPackage)
    return cli::Fail("no files or folders to carry");
  error = CheckEngine(options, settings);
  if (!error.empty()) return cli::Fail(error);
  // update-key names a file; the builder takes (and checks) its text.
  if (!options.updateKey.empty() && !ReadKeyFile(options.updateKey, options.updateKey))
    return cli::Fail("cannot read the update key file " + options.updateKey);
  if (!languageFile.empty()) {
    std::vector<std::string> warnings;
    error = LanguageBlockFromIni(languageFile, options.codePage, options.languageBlock, warnings);
    if (!error.empty()) return cli::Fail(error);
    for (const std::string& warning : warnings) cli::Warn(warning);
  }
  std::vector<std::string> paths, warnings;
  for (const TFileArg& file : files) paths.push_back(file.path);
  error = PackBuild::CollectInputs(paths, options.inputs, &warnings);
  if (!error.empty()) return cli::Fail(error);
  for (PackBuild::TInput& input : options.inputs) input.name = cli::HostToUtf8(input.name);
  for (const std::string& warning : warnings) cli::Warn(warning);

  const bool verbose = args.values.count("verbose") && args.values["verbose"] == "1";
  const bool progressWanted = !(args.values.count("no-progress") && args.values["no-progress"] == "1");
  cli::TProgressBar bar(progressWanted && cli::StderrIsTerminal() && !verbose, "packing");
  interrupt::Install();
  options.onTempFile = interrupt::Track;
  options.interrupted = interrupt::Requested;
  PackBuild::TBuildReport report;
  error = PackBuild::BuildPackage(
      options, report, [&bar](uint64_t done, uint64_t total) { bar.Update(done, total); },
      [verbose](const std::string& line) {
        if (verbose) std::cout << line << "\n";
      });
  bar.Finish();
  for (const std::string& warning : report.warnings) cli::Warn(warning);
  if (!error.empty()) {
    const int code = cli::Fail(error);
    interrupt::EndIfRequested();
    return code;
  }
  if (verbose || cli::StdoutIsTerminal()) std::cout << BuildSummary(report, cli::NowMs() - started) << "\n";
  return 0;
}
