#include "Inspect.h"

#include <ostream>

#include "package/PackX.h"

namespace {

const char* YesNo(bool b) { return b ? "yes" : "no"; }

// Control characters of the language block shown readably.
std::string Printable(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c >= 32 && c != 127) {
      out += static_cast<char>(c);
    } else {
      static const char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace

void PrintPackageInfo(const std::string& path, std::ostream& out) {
  TGFileInfo info(path);
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
  if (t.Checksum() == PackFormat::kNoChecksum || sum == PackFormat::kNoChecksum)
    out << " (not computed)\n";
  else
    out << (sum == t.Checksum() ? " (matches)\n" : " (MISMATCH: computed " + std::to_string(sum) + ")\n");
  out << "space table:         ";
  for (int i = 0; i < PackFormat::kSpaceTableEntries; ++i) out << " " << t.SpaceEntry(i);
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
  out << "language block:       " << Printable(info.LanguageBlock()) << "\n";
  out << "info folder URL:      " << info.InfoFolderURL() << "\n";
  out << "info file:            " << info.InfoFileName() << "\n";
  out << "settings file:        " << info.OriginalFileName() << "\n";
  out << "agent file:           " << info.AgentFileName() << "\n";
  out << "secret token:         " << info.SecretToken(true) << "\n";
  out << "background setup:     " << YesNo(info.BackgroundSetup()) << "\n";
  if (t.InfoBlockCount() > 2) {
    out << "download URL:         " << info.DownloadURL() << "\n";
    out << "download file:        " << info.DownloadFileName() << "\n";
    out << "always download:      " << YesNo(info.AlwaysDownload()) << "\n";
    out << "download token:       " << info.DownloadToken(true) << "\n";
    out << "download size:        " << info.DownloadSize() << "\n";
  }
  out << "space required here:  " << static_cast<uint64_t>(info.SpaceRequired(path)) << " bytes\n";
}
