// Text and JSON forms of an inspection.
#include <cstdio>
#include <ostream>

#include "Inspect.h"
#include "SetupFile.h"
#include "package/PackBuildText.h"
#include "util/Utils.h"
#include "util/VxSUB.h"

using namespace PackFormat;

namespace {

const char* YesNo(bool b) { return b ? "yes" : "no"; }

// An empty stored token is shown empty, not as the unscrambler's random number.
std::string PlainToken(const std::string& stored) { return stored.empty() ? "" : UnscrambleToken(stored); }

std::string Hex2(unsigned char c) {
  static const char kHex[] = "0123456789ABCDEF";
  return {kHex[c >> 4], kHex[c & 15]};
}

// Control characters of the language block shown readably.
std::string Printable(const std::string& text) {
  std::string out;
  for (unsigned char c : text) out += c >= 32 && c != 127 ? std::string(1, static_cast<char>(c)) : "\\x" + Hex2(c);
  return out;
}

// Each language with its items, in the code page of its own Charset.
void PrintLanguages(const std::string& block, int packageCodePage, std::ostream& out) {
  const int count = SUB::ItemCount(block);
  if (count <= 0 || block.front() != kLangOuterDelimiter) {
    out << "language block:       " << Printable(block) << "\n";
    return;
  }
  for (int i = 0; i < count; ++i) {
    const std::string language = SUB::GetItem(block, i, "");
    const int64_t charset = TextToInt64(Trim(SUB::GetValue(language, "Charset", "", "", true)), -1);
    int cp = charset < 0 || charset > 255 ? 0 : PackText::CodePageOfCharset(static_cast<int>(charset), packageCodePage);
    if (cp == 0) cp = packageCodePage;
    out << "language:             " << Printable(Shown(SUB::GetItem(language, 0, ""), cp)) << " (code page " << cp
        << ")\n";
    for (int k = 1; k < SUB::ItemCount(language); ++k)
      out << "  " << Printable(Shown(SUB::GetItem(language, k, ""), cp)) << "\n";
  }
}

void PrintSummary(const std::string& path, int cp, std::ostream& out) {
  TGFileInfo info(path);
  auto shown = [cp](const std::string& bytes) { return Printable(Shown(bytes, cp)); };
  const TPackTrailer& t = info.Trailer();
  out << "file:                 " << path << "\n";
  out << "package found:        " << YesNo(t.HasMagic()) << "\n";
  if (!t.HasMagic()) return;
  out << "information blocks:   " << int(t.InfoBlockCount()) << "\n";
  out << "first entry offset:   " << t.DataStart() << "\n";
  out << "file entries:         " << t.EntryCount() << "\n";
  out << "trailer length:       " << t.Length() << "\n";
  const uint32_t sum = PackageChecksum(path, t.Length());
  out << "checksum:             " << t.Checksum();
  if (t.Checksum() == kNoChecksum || sum == kNoChecksum)
    out << " (not computed)\n";
  else
    out << (sum == t.Checksum() ? " (matches)\n" : " (MISMATCH: computed " + std::to_string(sum) + ")\n");
  out << "space table:         ";
  for (int i = 0; i < kSpaceTableEntries; ++i) out << " " << t.SpaceEntry(i);
  out << "\n";
  out << "temp-drive notice:    " << YesNo(info.TempDriveNotice()) << "\n";
  out << "more volumes:         " << YesNo(info.MoreVolumes()) << "\n";
  out << "copy to temp:         " << YesNo(info.CopyToTemp()) << "\n";
  out << "activity bar:         " << YesNo(info.ShowActivityBar()) << "\n";
  out << "agent trace log:      " << YesNo(info.AgentTraceLog()) << "\n";
  out << "download setup:       " << YesNo(info.DownloadSetup()) << "\n";
  out << "ask before download:  " << YesNo(info.AskBeforeDownload()) << "\n";
  out << "carries agent:        " << YesNo(info.CarriesAgent()) << "\n";
  out << "agent package:        " << YesNo(info.IsAgentPackage()) << "\n";
  out << "code page:            " << cp << "\n";
  PrintLanguages(info.LanguageBlock(), cp, out);
  out << "info folder URL:      " << shown(info.InfoFolderURL()) << "\n";
  out << "info file:            " << shown(info.InfoFileName()) << "\n";
  out << "settings file:        " << shown(info.OriginalFileName()) << "\n";
  out << "agent file:           " << shown(info.AgentFileName()) << "\n";
  out << "secret token:         " << shown(PlainToken(info.SecretToken(false))) << "\n";
  out << "background setup:     " << YesNo(info.BackgroundSetup()) << "\n";
  if (!info.UpdateKey().empty()) out << "update key:           " << info.UpdateKey() << "\n";
  if (t.InfoBlockCount() > 2) {
    out << "download URL:         " << shown(info.DownloadURL()) << "\n";
    out << "download file:        " << shown(info.DownloadFileName()) << "\n";
    out << "always download:      " << YesNo(info.AlwaysDownload()) << "\n";
    out << "download token:       " << shown(PlainToken(info.DownloadToken(false))) << "\n";
    out << "download size:        " << info.DownloadSize() << "\n";
    if (!info.DownloadUpdateKey().empty()) out << "download update key:  " << info.DownloadUpdateKey() << "\n";
  }
  out << "space required here:  " << static_cast<uint64_t>(info.SpaceRequired(path)) << " bytes\n";
}

void PrintVolume(const TVolumeReport& v, int cp, std::ostream& out) {
  out << "volume " << v.number << ":             " << v.path;
  if (!v.present || !v.package) {
    out << (v.present ? " (no package)\n" : " (MISSING)\n");
    return;
  }
  out << "\n  package end " << v.packageEnd << " of " << v.fileSize << " bytes, " << v.trailer.EntryCount()
      << " in the entry count, " << v.entries.size() << " entries, checksum " << v.trailer.Checksum() << " ("
      << v.checksumStatus << "), more volumes: " << YesNo((v.trailer.Options() & kOptMoreVolumes) != 0) << "\n";
  if (v.entries.empty()) return;
  char line[160];
  // "in package": the block's bytes; "size": the file's bytes it carries.
  std::snprintf(line, sizeof(line), "    %-19s %12s %12s  %-7s  %s\n", "date", "in package", "size", "kind", "name");
  out << line;
  for (const TEntryReport& e : v.entries) {
    const char* kind = !e.block.readable ? "DAMAGED" : e.block.compressed ? "zlib" : "raw";
    std::snprintf(line, sizeof(line), "    %-19s %12lld %12lld  %-7s  ", DosDateText(e.date).c_str(),
                  static_cast<long long>(e.block.storedSize), static_cast<long long>(e.dataSize), kind);
    out << line << Printable(Shown(e.name, cp)) << (e.engine ? "  [engine]" : "")
        << (e.block.hasNul ? "" : "  (no header)") << "\n";
  }
}

// JSON string of UTF-8 text: control characters escaped; a text that is not
// UTF-8 has its bytes above 127 escaped one by one.
std::string J(const std::string& text) {
  std::u32string unused;
  const bool utf8 = PackText::DecodeUtf8(text, unused);
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 32 || c == 127 || (c > 127 && !utf8)) {
      out += "\\u00" + Hex2(c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

const char* B(bool b) { return b ? "true" : "false"; }

void PrintJsonInfo(const TGFileInfo& info, int cp, std::ostream& out) {
  auto J = [cp](const std::string& bytes) { return ::J(Shown(bytes, cp)); };
  out << ",\"flags\":{\"tempDriveNotice\":" << B(info.TempDriveNotice()) << ",\"moreVolumes\":" << B(info.MoreVolumes())
      << ",\"copyToTemp\":" << B(info.CopyToTemp()) << ",\"activityBar\":" << B(info.ShowActivityBar())
      << ",\"agentTraceLog\":" << B(info.AgentTraceLog()) << ",\"downloadSetup\":" << B(info.DownloadSetup())
      << ",\"askBeforeDownload\":" << B(info.AskBeforeDownload()) << ",\"carriesAgent\":" << B(info.CarriesAgent())
      << ",\"agentPackage\":" << B(info.IsAgentPackage()) << "}";
  out << ",\"languageBlock\":" << J(info.LanguageBlock());
  out << ",\"info\":{\"infoFolderURL\":" << J(info.InfoFolderURL()) << ",\"infoFile\":" << J(info.InfoFileName())
      << ",\"settingsFile\":" << J(info.OriginalFileName()) << ",\"agentFile\":" << J(info.AgentFileName())
      << ",\"secretToken\":" << J(PlainToken(info.SecretToken(false))) << ",\"storedToken\":" << J(info.SecretToken(false))
      << ",\"background\":" << B(info.BackgroundSetup()) << "}";
  out << ",\"download\":";
  if (info.Trailer().InfoBlockCount() > 2)
    out << "{\"url\":" << J(info.DownloadURL()) << ",\"file\":" << J(info.DownloadFileName())
        << ",\"alwaysDownload\":" << B(info.AlwaysDownload()) << ",\"token\":" << J(PlainToken(info.DownloadToken(false)))
        << ",\"storedToken\":" << J(info.DownloadToken(false)) << ",\"size\":" << J(info.DownloadSize()) << "}";
  else
    out << "null";
}

void PrintJsonVolume(const TVolumeReport& v, int cp, std::ostream& out) {
  const TPackTrailer& t = v.trailer;
  out << "{\"number\":" << v.number << ",\"path\":" << J(v.path) << ",\"present\":" << B(v.present)
      << ",\"package\":" << B(v.package);
  if (v.package) {
    out << ",\"fileSize\":" << v.fileSize << ",\"packageEnd\":" << v.packageEnd << ",\"format\":" << int(t.bytes[0])
        << ",\"infoBlockCount\":" << int(t.InfoBlockCount()) << ",\"dataStart\":" << t.DataStart()
        << ",\"entryCount\":" << t.EntryCount() << ",\"checksum\":" << t.Checksum()
        << ",\"computedChecksum\":" << v.computedChecksum << ",\"checksumStatus\":" << J(v.checksumStatus)
        << ",\"options\":" << int(t.Options()) << ",\"moreVolumes\":" << B((t.Options() & kOptMoreVolumes) != 0)
        << ",\"trailerLength\":" << t.Length() << ",\"spaceTable\":[";
    for (int i = 0; i < kSpaceTableEntries; ++i) out << (i ? "," : "") << t.SpaceEntry(i);
    out << "],\"entries\":[";
    for (size_t i = 0; i < v.entries.size(); ++i) {
      const TEntryReport& e = v.entries[i];
      out << (i ? "," : "") << "{\"name\":" << J(Shown(e.name, cp)) << ",\"date\":" << e.date
          << ",\"dateText\":" << J(DosDateText(e.date)) << ",\"offset\":" << e.block.offset
          << ",\"storedSize\":" << e.block.storedSize << ",\"inflatedSize\":" << e.block.inflatedSize
          << ",\"dataSize\":" << e.dataSize << ",\"compressed\":" << B(e.block.compressed)
          << ",\"engine\":" << B(e.engine) << ",\"readable\":" << B(e.block.readable) << "}";
    }
    out << "]";
  }
  out << "}";
}

}  // namespace

void PrintInspectionText(const TInspection& inspection, std::ostream& out) {
  PrintSummary(inspection.path, inspection.codePage, out);
  if (inspection.volumes.empty() || !inspection.volumes[0].package) return;
  out << "volumes:              " << inspection.volumes.size() << "\n";
  for (const TVolumeReport& volume : inspection.volumes) PrintVolume(volume, inspection.codePage, out);
  for (const std::string& extra : inspection.extraVolumes)
    out << "not announced:        " << extra << " (no trailer says that it follows)\n";
  for (const std::string& problem : inspection.problems) out << "PROBLEM: " << problem << "\n";
}

void PrintInspectionJson(const TInspection& inspection, std::ostream& out) {
  TGFileInfo info(inspection.path);
  const bool package = info.Trailer().HasMagic();
  out << "{\"file\":" << J(inspection.path) << ",\"package\":" << B(package);
  if (package) {
    out << ",\"codePage\":" << inspection.codePage;
    out << ",\"firstEntryOffset\":" << info.Trailer().DataStart()
        << ",\"spaceRequiredHere\":" << static_cast<uint64_t>(info.SpaceRequired(inspection.path));
    PrintJsonInfo(info, inspection.codePage, out);
  }
  out << ",\"volumes\":[";
  for (size_t i = 0; i < inspection.volumes.size(); ++i) {
    out << (i ? "," : "");
    PrintJsonVolume(inspection.volumes[i], inspection.codePage, out);
  }
  out << "],\"extraVolumes\":[";
  for (size_t i = 0; i < inspection.extraVolumes.size(); ++i) out << (i ? "," : "") << J(inspection.extraVolumes[i]);
  out << "],\"problems\":[";
  for (size_t i = 0; i < inspection.problems.size(); ++i) out << (i ? "," : "") << J(inspection.problems[i]);
  out << "]}\n";
}
