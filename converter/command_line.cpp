#include "converter/command_line.h"

#include <cstring>

#include "converter/console.h"
#include "converter/framework_bridge.h"
#include "framework/text.h"
#include "mxf/AS_DCP.h"

namespace {

bool IsAsciiLetterOrDigit(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

// The argument without enclosing quotes and with every backslash-quote pair
// turned into a lone quote.
TString Unquote(TString argument) {
  while (argument.Length() >= 2 && argument.StartsWith(u'"') && argument.EndsWith(u'"')) {
    argument = argument.SubString(1, argument.Length() - 1);
  }
  argument.Replace(TString(u"\\\""), TString(u"\""));
  return argument;
}

// Whether an argument must be quoted to stay one argument.
bool NeedsQuotes(const TString& argument) {
  if (argument.IsEmpty()) return true;
  for (std::int32_t i = 0; i < argument.Length(); ++i) {
    if (StringIsSpace(argument.CharAt(i))) return true;
  }
  return false;
}

bool SameArguments(const TStringArray& a, const TStringArray& b) {
  if (a.Count() != b.Count()) return false;
  for (std::int32_t i = 0; i < a.Count(); ++i) {
    if (!a[i].Equals(b[i])) return false;
  }
  return true;
}

TString Narrow8ToString(const char* text) { return TString::FromNarrow(text ? text : "", 0); }

}  // namespace

TStringArray SplitCommandLineText(const TString& text) {
  TString line = text;
  line.Trim();
  TStringArray pieces;
  const std::int32_t length = line.Length();
  if (length == 0) return pieces;
  bool inQuote = line.CharAt(0) == u'"';
  std::int32_t start = 0;
  std::int32_t i = 1;
  while (i < length) {
    if (line.CharAt(i) == u' ' && !inQuote) {
      pieces.Append(line.SubString(start, i));
      while (i < length && line.CharAt(i) == u' ') ++i;
      start = i;
    }
    if (i < length && line.CharAt(i) == u'"' && line.CharAt(i - 1) != u'\\') inQuote = !inQuote;
    ++i;
  }
  pieces.Append(line.SubString(start, i));
  TStringArray arguments;
  for (std::int32_t k = 0; k < pieces.Count(); ++k) arguments.Append(Unquote(pieces[k]));
  return arguments;
}

TString JoinCommandLine(int argc, const char* const* argv) {
  TString line;
  for (int k = 0; k < argc; ++k) {
    const TString argument = Narrow8ToString(argv[k]);
    TString escaped = argument;
    escaped.Replace(TString(u"\""), TString(u"\\\""));
    if (k > 0) line.AppendChar(u' ');
    if (NeedsQuotes(argument)) {
      line.AppendChar(u'"');
      line.Append(escaped);
      line.AppendChar(u'"');
    } else {
      line.Append(escaped);
    }
  }
  return line;
}

TStringArray SplitProcessArguments(int argc, const char* const* argv) {
  TStringArray split = SplitCommandLineText(JoinCommandLine(argc, argv));
  TStringArray given;
  for (int k = 0; k < argc; ++k) given.Append(Narrow8ToString(argv[k]));
  if (SameArguments(split, given)) return split;
  return given;
}

TCommandLineOptions::TCommandLineOptions(const TStringArray& arguments) {
  const TString helpWord(u"-help");
  for (std::int32_t k = 1; k < arguments.Count(); ++k) {
    const TString& argument = arguments[k];
    if (argument.EqualsNoCase(helpWord)) {
      mHelpRequested = 1;
      continue;
    }
    if (argument.Length() == 2 && argument.CharAt(0) == u'-' && IsAsciiLetterOrDigit(argument.CharAt(1))) {
      switch (argument.CharAt(1)) {
        case u'h':
          mHelpRequested = 1;
          break;
        case u'V':
          mVersionRequested = 1;
          break;
        case u'v':
          mVerbose = 1;
          break;
        case u'W':
          mReadOnly = 1;
          break;
        default:
          PrintNote("NOTE: Unrecognized option: %s", argument.ToNarrow(0));
          return;
      }
      continue;
    }
    if (argument.StartsWith(u'-')) {
      PrintNote("NOTE: Unrecognized argument: %s", argument.ToNarrow(0));
      return;
    }
    if (mInputPath.IsEmpty()) {
      mInputPath = argument;
    } else if (mOutputPrefix.IsEmpty()) {
      mOutputPrefix = argument;
    }
  }
  if (mHelpRequested || mVersionRequested) return;
  if (mInputPath.IsEmpty()) {
    PrintNote("Option requires at least one filename argument.");
    return;
  }
  if (mOutputPrefix.IsEmpty()) mOutputPrefix = ConverterRemoveFileExtension(mInputPath);
  mParseError = 0;
}

TString ProgramFileName() { return ConverterExtractFileName(ConverterModuleFilePath()); }

void PrintUsage() {
  const TString name = ProgramFileName();
  const char* text = name.ToNarrow(0);
  PrintNote("Usage:\n  %s [-h|-help] [-V]\n  %s [-v]\n  [-W] <input-file> [<file-prefix>]\n\n", text, text);
  PrintNote(
      "Options:\n"
      "  -h | -help        - Show help\n"
      "  -v                - Verbose, prints informative messages to stdout\n"
      "  -V                - Show version information\n"
      "  -W                - Read input file only, do not write destination file\n"
      "  \n"
      "  \n"
      "NOTES: There is no option grouping, all options must be distinct arguments.\n"
      "All option arguments must be separated from the option by whitespace.\n");
}

void PrintVersion() {
  TString version(u"V");
  version.Append(TString::FromInt(GetVersionMajor()));
  version.AppendChar(u'.');
  version.Append(TString::FromInt(GetVersionMinor()));
  version.AppendChar(u'.');
  version.Append(TString::FromInt(GetVersionPatch()));
  const TString name = ProgramFileName();
  PrintNote("%s %s", name.ToNarrow(0), version.ToNarrow(0));
  const TString maker = TString::ExpandTemplates(TString(u"Made by $MProductString, $MProductHomeURL"));
  PrintNote("%s", maker.ToNarrow(0));
  PrintNote("MXF library: ASDCP %s, https://tarvo.example/asdcp/", ASDCP::Version());
}
