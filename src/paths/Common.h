// Directory macros: "<InstallDir>", "<WinDir>", "<Date=6>", "<UserName>" and
// the rest of the table, expanded in paths of the agent's settings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "paths/PathSystem.h"

// Process-wide values the expander reads. A setup engine fills the hooks;
// the stub sets only the install folders.
struct TMacroHooks {
  std::string applicationFolder, commonFolder, auxiliaryFolder;  // no trailing "\"
  std::string userMacros;     // key=value list: "|<Token>=value|"
  std::string serviceExes;    // list of service executable paths
  int64_t requiredFreeBytes = 0;
  int64_t lastExitCode = 0;
  // Entered values by name ("UserName", "ProjectName", ...); none: empty.
  std::string (*enteredValue)(const std::string& name) = nullptr;
};
TMacroHooks& MacroHooks();

void SetInstallFolders(const std::string& application, const std::string& common,
                       const std::string& auxiliary);

// How much longer than its input an expanded text may grow. A text that
// would grow more (huge values, or values that name macros again) is
// returned as it is.
inline constexpr size_t kMacroGrowthLimit = 1 << 20;

// Expands the macros of text. suffix follows directory values (see the
// replacement rule in Common.cpp); resolveRelative makes paths with ".."
// absolute. The stub passes "\" and all flags set.
std::string ExpandMacros(const std::string& text, const std::string& suffix = "\\",
                         bool resolveRelative = true, bool withDirectories = true,
                         bool withUserMacros = true);
// The same over a given system and hooks.
std::string ExpandMacrosWith(TPathSystem& system, const TMacroHooks& hooks, const std::string& text,
                             const std::string& suffix, bool resolveRelative, bool withDirectories,
                             bool withUserMacros);

// Directory replacement rule: every occurrence of macro (any case) becomes
// value + suffix, without the suffix where the occurrence ends the text, is
// followed by a blank, or is followed by the character that both begins and
// ends the text (not "<", not a letter: a "|", "," or quoted list), and
// without it for an empty value.
std::string ReplaceDirMacro(const std::string& text, const std::string& macro, const std::string& value,
                            const std::string& suffix);
// The date macro's text for a code character; empty for an unknown code.
std::string DateMacroText(TPathSystem& system, char code);
