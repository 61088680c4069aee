// Recursive-descent reader of the mangled-name grammar, writing the readable
// text as it goes.  Every buffer comes from the caller's PlatformDemangler:
// text being built lives in its arena (taken and given back in stack
// order), substitution candidates and template arguments are copied into
// its pool.  Every step checks its bounds and gives up rather than guess.
#include "platform/demangle.h"

#include <cstring>

namespace {

constexpr int kMaxDepth = 48;
constexpr std::size_t kTextSize = 1024;

// A text being built in the arena.
struct Text {
  char* data = nullptr;
  std::size_t capacity = 0;
  std::size_t length = 0;
};

class Reader {
 public:
  Reader(const char* name, PlatformDemangler* work) : mPos(name), mWork(work) {
    work->arenaUsed = 0;
    work->poolUsed = 0;
    work->substitutionCount = 0;
    work->templateArgCount = 0;
  }

  bool Failed() const { return mFailed; }
  bool AtEnd() const { return *mPos == 0; }

  bool ParseMangledName(Text& out) {
    if (mPos[0] != '_' || mPos[1] != 'Z') return Fail();
    mPos += 2;
    if (!ParseEncoding(out)) return false;
    if (*mPos == '.') {
      // Clone suffixes such as ".cold" or ".constprop.0".
      Put(out, " [clone ");
      Put(out, mPos);
      Put(out, "]");
      mPos += std::strlen(mPos);
    }
    return !mFailed && AtEnd();
  }

  // --- arena ----------------------------------------------------------------

  bool NewText(Text& text, std::size_t capacity = kTextSize) {
    if (mWork->arenaUsed + capacity > PlatformDemangler::kArenaSize) return Fail();
    text.data = mWork->arena + mWork->arenaUsed;
    text.capacity = capacity;
    text.length = 0;
    text.data[0] = 0;
    mWork->arenaUsed += capacity;
    return true;
  }
  std::size_t Mark() const { return mWork->arenaUsed; }
  void Release(std::size_t mark) { mWork->arenaUsed = mark; }

  void Put(Text& text, const char* s, std::size_t n) {
    if (mFailed) return;
    if (text.length + n + 1 > text.capacity) {
      Fail();
      return;
    }
    std::memcpy(text.data + text.length, s, n);
    text.length += n;
    text.data[text.length] = 0;
  }
  void Put(Text& text, const char* s) { Put(text, s, std::strlen(s)); }
  void Put(Text& text, const Text& other) { Put(text, other.data, other.length); }

 private:
  bool Fail() {
    mFailed = true;
    return false;
  }
  bool Peek(char c) const { return *mPos == c; }
  bool Take(char c) {
    if (*mPos != c) return false;
    ++mPos;
    return true;
  }

  // --- substitutions and template arguments ---------------------------------

  bool Store(const Text& text, PlatformDemangler::Span* span) {
    if (mWork->poolUsed + text.length > PlatformDemangler::kPoolSize) return Fail();
    std::memcpy(mWork->pool + mWork->poolUsed, text.data, text.length);
    span->offset = static_cast<unsigned>(mWork->poolUsed);
    span->length = static_cast<unsigned>(text.length);
    mWork->poolUsed += text.length;
    return true;
  }
  bool AddSubstitution(const Text& text) {
    if (mWork->substitutionCount >= PlatformDemangler::kMaxSubstitutions) return Fail();
    return Store(text, &mWork->substitutions[mWork->substitutionCount++]);
  }
  void PutSpan(Text& out, const PlatformDemangler::Span& span) {
    Put(out, mWork->pool + span.offset, span.length);
  }

  // <seq-id> _ in base 36 (digits, then upper-case letters); S_ is 0.
  bool ParseSeqId(int* index) {
    if (Take('_')) {
      *index = 0;
      return true;
    }
    long value = 0;
    while (true) {
      const char c = *mPos;
      int digit;
      if (c >= '0' && c <= '9') {
        digit = c - '0';
      } else if (c >= 'A' && c <= 'Z') {
        digit = c - 'A' + 10;
      } else {
        break;
      }
      value = value * 36 + digit;
      if (value > 100000) return Fail();
      ++mPos;
    }
    if (!Take('_')) return Fail();
    *index = static_cast<int>(value) + 1;
    return true;
  }

  // S <seq-id> _, or one of the std abbreviations (not St, which the
  // callers read as the std:: prefix).
  bool ParseSubstitution(Text& out) {
    if (!Take('S')) return Fail();
    static const struct {
      char code;
      const char* text;
    } kAbbreviations[] = {{'a', "std::allocator"}, {'b', "std::basic_string"}, {'s', "std::string"},
                          {'i', "std::istream"},   {'o', "std::ostream"},      {'d', "std::iostream"}};
    for (const auto& abbreviation : kAbbreviations) {
      if (Take(abbreviation.code)) {
        Put(out, abbreviation.text);
        return !mFailed;
      }
    }
    int index = 0;
    if (!ParseSeqId(&index)) return false;
    if (index >= mWork->substitutionCount) return Fail();
    PutSpan(out, mWork->substitutions[index]);
    return !mFailed;
  }

  // T_ or T <number> _.
  bool ParseTemplateParam(Text& out) {
    if (!Take('T')) return Fail();
    int index = 0;
    if (!Take('_')) {
      long value = 0;
      while (*mPos >= '0' && *mPos <= '9') {
        value = value * 10 + (*mPos++ - '0');
        if (value > 1000) return Fail();
      }
      if (!Take('_')) return Fail();
      index = static_cast<int>(value) + 1;
    }
    if (index >= mWork->templateArgCount) return Fail();
    PutSpan(out, mWork->templateArgs[index]);
    return !mFailed;
  }

  // --- names ----------------------------------------------------------------

  bool ParseNumber(long* value) {
    if (*mPos < '0' || *mPos > '9') return Fail();
    long v = 0;
    while (*mPos >= '0' && *mPos <= '9') {
      v = v * 10 + (*mPos++ - '0');
      if (v > 4096) return Fail();
    }
    *value = v;
    return true;
  }

  // <length> <identifier>.
  bool ParseSourceName(Text& out) {
    long length = 0;
    if (!ParseNumber(&length) || length <= 0) return Fail();
    for (long i = 0; i < length; ++i) {
      if (mPos[i] == 0) return Fail();
    }
    static const char kAnonymous[] = "_GLOBAL__N";
    if (length >= 10 && std::strncmp(mPos, kAnonymous, 10) == 0) {
      Put(out, "(anonymous namespace)");
    } else {
      Put(out, mPos, static_cast<std::size_t>(length));
    }
    mPos += length;
    return !mFailed;
  }

  bool ParseOperatorName(Text& out) {
    static const struct {
      char code[3];
      const char* text;
    } kOperators[] = {{"nw", " new"}, {"na", " new[]"}, {"dl", " delete"}, {"da", " delete[]"}, {"ps", "+"},
                      {"ng", "-"},    {"ad", "&"},      {"de", "*"},       {"co", "~"},         {"pl", "+"},
                      {"mi", "-"},    {"ml", "*"},      {"dv", "/"},       {"rm", "%"},         {"an", "&"},
                      {"or", "|"},    {"eo", "^"},      {"aS", "="},       {"pL", "+="},        {"mI", "-="},
                      {"mL", "*="},   {"dV", "/="},     {"rM", "%="},      {"aN", "&="},        {"oR", "|="},
                      {"eO", "^="},   {"ls", "<<"},     {"rs", ">>"},      {"lS", "<<="},       {"rS", ">>="},
                      {"eq", "=="},   {"ne", "!="},     {"lt", "<"},       {"gt", ">"},         {"le", "<="},
                      {"ge", ">="},   {"ss", "<=>"},    {"nt", "!"},       {"aa", "&&"},        {"oo", "||"},
                      {"pp", "++"},   {"mm", "--"},     {"cm", ","},       {"pm", "->*"},       {"pt", "->"},
                      {"cl", "()"},   {"ix", "[]"}};
    for (const auto& op : kOperators) {
      if (mPos[0] == op.code[0] && mPos[1] == op.code[1]) {
        mPos += 2;
        Put(out, "operator");
        Put(out, op.text);
        return !mFailed;
      }
    }
    return Fail();
  }

  // ABI tags after a name: B <source-name> gives [abi:name].
  bool ParseAbiTags(Text& out) {
    while (Peek('B')) {
      ++mPos;
      Put(out, "[abi:");
      if (!ParseSourceName(out)) return false;
      Put(out, "]");
    }
    return !mFailed;
  }

  bool ParseUnqualifiedName(Text& out) {
    if (Take('L')) {
      // Internal linkage: the name reads the same.
    }
    if (*mPos >= '0' && *mPos <= '9') {
      if (!ParseSourceName(out)) return false;
    } else if (*mPos >= 'a' && *mPos <= 'z') {
      if (!ParseOperatorName(out)) return false;
    } else {
      return Fail();
    }
    return ParseAbiTags(out);
  }

  // The last component of a qualified name, without its template
  // arguments: the class name a constructor or destructor repeats.
  bool LastComponent(const Text& prefix, char* name, std::size_t size) {
    std::size_t end = prefix.length;
    if (end > 0 && prefix.data[end - 1] == '>') {
      // Step back over the balanced argument list.
      int level = 0;
      while (end > 0) {
        const char c = prefix.data[--end];
        if (c == '>') ++level;
        if (c == '<' && --level == 0) break;
      }
      if (level != 0) return Fail();
    }
    std::size_t begin = end;
    while (begin > 0 && !(begin >= 2 && prefix.data[begin - 1] == ':' && prefix.data[begin - 2] == ':')) {
      --begin;
    }
    if (begin == end || end - begin >= size) return Fail();
    std::memcpy(name, prefix.data + begin, end - begin);
    name[end - begin] = 0;
    return true;
  }

  // C1, C2, C3, CI1/CI2 <type>, D0, D1, D2: the class's own name.
  bool ParseCtorDtorName(Text& out) {
    char nameCopy[256];
    if (!LastComponent(out, nameCopy, sizeof nameCopy)) return false;
    Put(out, "::");
    if (Take('C')) {
      if (Take('I')) {
        // Inheriting constructor: the base type follows.
        if (*mPos < '1' || *mPos > '3') return Fail();
        ++mPos;
        const std::size_t mark = Mark();
        Text ignored;
        if (!NewText(ignored) || !ParseType(ignored)) return false;
        Release(mark);
      } else {
        if (*mPos < '1' || *mPos > '5') return Fail();
        ++mPos;
      }
    } else if (Take('D')) {
      if (*mPos < '0' || *mPos > '5') return Fail();
      ++mPos;
      Put(out, "~");
    } else {
      return Fail();
    }
    Put(out, nameCopy);
    return ParseAbiTags(out);
  }

  // I <template-arg>+ E.  With `record`, the arguments become the ones
  // that template parameters refer to.
  bool ParseTemplateArgs(Text& out, bool record) {
    if (!Take('I')) return Fail();
    Put(out, "<");
    PlatformDemangler::Span spans[PlatformDemangler::kMaxTemplateArgs];
    int count = 0;
    bool first = true;
    while (!Take('E')) {
      if (AtEnd()) return Fail();
      const std::size_t mark = Mark();
      Text arg;
      if (!NewText(arg)) return false;
      if (Peek('L')) {
        if (!ParseLiteral(arg)) return false;
      } else if (!ParseType(arg)) {
        return false;
      }
      if (count >= PlatformDemangler::kMaxTemplateArgs) return Fail();
      if (record && !Store(arg, &spans[count])) return false;
      ++count;
      if (!first) Put(out, ", ");
      Put(out, arg);
      first = false;
      Release(mark);
    }
    if (count == 0) return Fail();
    if (out.length > 0 && out.data[out.length - 1] == '>') Put(out, " ");
    Put(out, ">");
    if (record) {
      for (int i = 0; i < count; ++i) mWork->templateArgs[i] = spans[i];
      mWork->templateArgCount = count;
    }
    return !mFailed;
  }

  // L <type> <value> E for the integer types; anything else gives up.
  bool ParseLiteral(Text& out) {
    if (!Take('L')) return Fail();
    const char type = *mPos;
    const char* suffix = nullptr;
    switch (type) {
      case 'i':
        suffix = "";
        break;
      case 'j':
        suffix = "u";
        break;
      case 'l':
        suffix = "l";
        break;
      case 'm':
        suffix = "ul";
        break;
      case 'x':
        suffix = "ll";
        break;
      case 'y':
        suffix = "ull";
        break;
      case 'b':
        break;
      default:
        return Fail();
    }
    ++mPos;
    const bool negative = Take('n');
    const char* digits = mPos;
    while (*mPos >= '0' && *mPos <= '9') ++mPos;
    const std::size_t count = static_cast<std::size_t>(mPos - digits);
    if (count == 0 || !Take('E')) return Fail();
    if (type == 'b') {
      if (negative || count != 1 || (digits[0] != '0' && digits[0] != '1')) return Fail();
      Put(out, digits[0] == '1' ? "true" : "false");
      return !mFailed;
    }
    if (negative) Put(out, "-");
    Put(out, digits, count);
    Put(out, suffix);
    return !mFailed;
  }

  // A name with template arguments at the end reports `isTemplate`.
  // Prefixes become substitution candidates; the complete name does not
  // (a caller that reads it as a type adds it).
  bool ParseNestedName(Text& out, bool* isTemplate, bool* isCtorDtor, char* qualifiers,
                       std::size_t qualifiersSize) {
    if (!Take('N')) return Fail();
    // Qualifiers of a member function: r, V, K, then & or &&.
    std::size_t q = 0;
    auto addQualifier = [&](const char* text) {
      const std::size_t n = std::strlen(text);
      if (q + n + 1 > qualifiersSize) return false;
      std::memcpy(qualifiers + q, text, n);
      q += n;
      qualifiers[q] = 0;
      return true;
    };
    if (qualifiersSize > 0) qualifiers[0] = 0;
    bool isConst = false, isVolatile = false, isRestrict = false;
    if (Take('r')) isRestrict = true;
    if (Take('V')) isVolatile = true;
    if (Take('K')) isConst = true;
    if ((isConst && !addQualifier(" const")) || (isVolatile && !addQualifier(" volatile")) ||
        (isRestrict && !addQualifier(" restrict"))) {
      return Fail();
    }
    if (Take('R')) {
      if (!addQualifier(" &")) return Fail();
    } else if (Take('O')) {
      if (!addQualifier(" &&")) return Fail();
    }

    bool firstComponent = true;
    *isTemplate = false;
    *isCtorDtor = false;
    while (!Take('E')) {
      if (AtEnd()) return Fail();
      if (Peek('S') && mPos[1] == 't' && firstComponent) {
        mPos += 2;
        Put(out, "std");
        firstComponent = false;
        continue;  // std:: itself is no substitution candidate
      }
      if (Peek('S')) {
        if (!firstComponent) return Fail();
        if (!ParseSubstitution(out)) return false;
        firstComponent = false;
        continue;  // already a candidate
      }
      if (Peek('I')) {
        if (firstComponent) return Fail();
        if (!ParseTemplateArgs(out, true)) return false;
        *isTemplate = true;
      } else if (Peek('T')) {
        if (!firstComponent) return Fail();
        if (!ParseTemplateParam(out)) return false;
        *isTemplate = false;
      } else if (Peek('C') || (Peek('D') && mPos[1] >= '0' && mPos[1] <= '5')) {
        if (firstComponent) return Fail();
        if (!ParseCtorDtorName(out)) return false;
        *isCtorDtor = true;
        *isTemplate = false;
      } else {
        if (!firstComponent) Put(out, "::");
        if (!ParseUnqualifiedName(out)) return false;
        *isTemplate = false;
        *isCtorDtor = false;
      }
      firstComponent = false;
      if (!Peek('E') && !AddSubstitution(out)) return false;
    }
    if (firstComponent) return Fail();
    return !mFailed;
  }

  // <name>: nested, std::, a substitution with template arguments, or an
  // unscoped name (with template arguments).
  bool ParseName(Text& out, bool* isTemplate, bool* isCtorDtor, char* qualifiers,
                 std::size_t qualifiersSize) {
    *isTemplate = false;
    *isCtorDtor = false;
    if (qualifiersSize > 0) qualifiers[0] = 0;
    if (Peek('N')) return ParseNestedName(out, isTemplate, isCtorDtor, qualifiers, qualifiersSize);
    if (Peek('Z')) return Fail();  // local names
    if (Peek('S') && mPos[1] == 't') {
      mPos += 2;
      Put(out, "std::");
      if (!ParseUnqualifiedName(out)) return false;
    } else if (Peek('S')) {
      if (!ParseSubstitution(out)) return false;
      if (!Peek('I')) return Fail();
      if (!ParseTemplateArgs(out, true)) return false;
      *isTemplate = true;
      return !mFailed;
    } else if (!ParseUnqualifiedName(out)) {
      return false;
    }
    if (Peek('I')) {
      if (!AddSubstitution(out) || !ParseTemplateArgs(out, true)) return false;
      *isTemplate = true;
    }
    return !mFailed;
  }

  // --- types ------------------------------------------------------------------

  bool ParseBuiltinType(Text& out) {
    static const struct {
      char code;
      const char* text;
    } kBuiltins[] = {{'v', "void"},        {'w', "wchar_t"},
                     {'b', "bool"},        {'c', "char"},
                     {'a', "signed char"}, {'h', "unsigned char"},
                     {'s', "short"},       {'t', "unsigned short"},
                     {'i', "int"},         {'j', "unsigned int"},
                     {'l', "long"},        {'m', "unsigned long"},
                     {'x', "long long"},   {'y', "unsigned long long"},
                     {'n', "__int128"},    {'o', "unsigned __int128"},
                     {'f', "float"},       {'d', "double"},
                     {'e', "long double"}, {'g', "__float128"},
                     {'z', "..."}};
    for (const auto& builtin : kBuiltins) {
      if (Take(builtin.code)) {
        Put(out, builtin.text);
        return !mFailed;
      }
    }
    if (Peek('D')) {
      static const struct {
        char code;
        const char* text;
      } kExtended[] = {{'n', "decltype(nullptr)"}, {'s', "char16_t"}, {'i', "char32_t"}, {'u', "char8_t"}};
      for (const auto& builtin : kExtended) {
        if (mPos[1] == builtin.code) {
          mPos += 2;
          Put(out, builtin.text);
          return !mFailed;
        }
      }
    }
    return Fail();
  }

  bool IsBuiltinStart() const {
    const char c = *mPos;
    if (c == 'D') {
      return mPos[1] == 'n' || mPos[1] == 's' || mPos[1] == 'i' || mPos[1] == 'u';
    }
    return c && std::strchr("vwbcahstijlmxynofdegz", c) != nullptr;
  }

  bool ParseType(Text& out) {
    if (++mDepth > kMaxDepth) return Fail();
    const bool ok = ParseTypeInner(out);
    --mDepth;
    return ok && !mFailed;
  }

  bool ParseTypeInner(Text& out) {
    if (IsBuiltinStart()) return ParseBuiltinType(out);
    const char c = *mPos;
    if (c == 'r' || c == 'V' || c == 'K') {
      bool isRestrict = Take('r');
      bool isVolatile = Take('V');
      bool isConst = Take('K');
      const std::size_t start = out.length;
      if (!ParseType(out)) return false;
      if (isConst) Put(out, " const");
      if (isVolatile) Put(out, " volatile");
      if (isRestrict) Put(out, " restrict");
      return AddSubstitutionOfTail(out, start);
    }
    if ((c == 'P' || c == 'R' || c == 'O') && mPos[1] == 'F') {
      // Pointer or reference to a function: "ret (*)(params)".
      ++mPos;
      const std::size_t mark = Mark();
      Text returned, params;
      if (!NewText(returned) || !NewText(params)) return false;
      if (!ParseFunctionType(returned, params)) return false;
      const std::size_t start = out.length;
      Put(out, returned);
      Put(out, " (");
      Put(out, params);
      Put(out, ")");
      if (!AddSubstitutionOfTail(out, start)) return false;
      out.length = start;
      Put(out, returned);
      Put(out, c == 'P' ? " (*)(" : c == 'R' ? " (&)(" : " (&&)(");
      Put(out, params);
      Put(out, ")");
      Release(mark);
      return AddSubstitutionOfTail(out, start);
    }
    if (c == 'P' || c == 'R' || c == 'O') {
      // A pointer to a pointer to a function would need its declarator
      // nested ("(**)"): not read.
      const char* p = mPos + 1;
      while (*p == 'P' || *p == 'R' || *p == 'O' || *p == 'K' || *p == 'V' || *p == 'r') ++p;
      if (*p == 'F') return Fail();
      ++mPos;
      const std::size_t start = out.length;
      if (!ParseType(out)) return false;
      Put(out, c == 'P' ? "*" : c == 'R' ? "&" : "&&");
      return AddSubstitutionOfTail(out, start);
    }
    if (c == 'F') {
      // A function type on its own (a template argument): "ret (params)".
      const std::size_t mark = Mark();
      Text returned, params;
      if (!NewText(returned) || !NewText(params)) return false;
      if (!ParseFunctionType(returned, params)) return false;
      const std::size_t start = out.length;
      Put(out, returned);
      Put(out, " (");
      Put(out, params);
      Put(out, ")");
      Release(mark);
      return AddSubstitutionOfTail(out, start);
    }
    if (c == 'T') {
      const std::size_t start = out.length;
      if (!ParseTemplateParam(out) || !AddSubstitutionOfTail(out, start)) return false;
      if (Peek('I')) {
        if (!ParseTemplateArgs(out, false)) return false;
        return AddSubstitutionOfTail(out, start);
      }
      return true;
    }
    if (c == 'N') {
      const std::size_t start = out.length;
      bool isTemplate = false, isCtorDtor = false;
      char qualifiers[32];
      if (!ParseNestedName(out, &isTemplate, &isCtorDtor, qualifiers, sizeof qualifiers)) {
        return false;
      }
      if (qualifiers[0] || isCtorDtor) return Fail();
      return AddSubstitutionOfTail(out, start);
    }
    if (c == 'S') {
      const std::size_t start = out.length;
      if (mPos[1] == 't') {
        mPos += 2;
        Put(out, "std::");
        if (!ParseUnqualifiedName(out) || !AddSubstitutionOfTail(out, start)) return false;
      } else if (!ParseSubstitution(out)) {
        return false;
      }
      if (Peek('I')) {
        if (!ParseTemplateArgs(out, false)) return false;
        return AddSubstitutionOfTail(out, start);
      }
      return true;
    }
    if ((c >= '0' && c <= '9') || c == 'L') {
      const std::size_t start = out.length;
      if (!ParseUnqualifiedName(out) || !AddSubstitutionOfTail(out, start)) return false;
      if (Peek('I')) {
        if (!ParseTemplateArgs(out, false)) return false;
        return AddSubstitutionOfTail(out, start);
      }
      return true;
    }
    return Fail();
  }

  // F [Y] <return type> <parameter types> E; "v" alone is no parameter.
  bool ParseFunctionType(Text& returned, Text& params) {
    if (!Take('F')) return Fail();
    Take('Y');
    if (!ParseType(returned)) return false;
    if (Peek('v') && mPos[1] == 'E') {
      mPos += 2;
      return true;
    }
    bool first = true;
    while (!Take('E')) {
      if (AtEnd()) return Fail();
      if (Peek('R') && mPos[1] == 'E') return Fail();  // ref-qualified function types
      const std::size_t mark = Mark();
      Text param;
      if (!NewText(param) || !ParseType(param)) return false;
      if (!first) Put(params, ", ");
      Put(params, param);
      first = false;
      Release(mark);
    }
    return !mFailed;
  }

  // The text written since `start` as a substitution candidate.
  bool AddSubstitutionOfTail(const Text& out, std::size_t start) {
    Text tail;
    tail.data = out.data + start;
    tail.length = out.length - start;
    tail.capacity = tail.length + 1;
    return AddSubstitution(tail);
  }

  // --- encoding -------------------------------------------------------------

  bool ParseEncoding(Text& out) {
    const std::size_t mark = Mark();
    Text name;
    if (!NewText(name)) return false;
    bool isTemplate = false, isCtorDtor = false;
    char qualifiers[32];
    if (!ParseName(name, &isTemplate, &isCtorDtor, qualifiers, sizeof qualifiers)) return false;
    if (AtEnd() || Peek('.')) {
      // A data object: the name alone.
      Put(out, name);
      Release(mark);
      return !mFailed;
    }
    if (isTemplate && !isCtorDtor) {
      Text returned;
      if (!NewText(returned) || !ParseType(returned)) return false;
      Put(out, returned);
      Put(out, " ");
    }
    Put(out, name);
    Put(out, "(");
    if (Peek('v') && (mPos[1] == 0 || mPos[1] == '.')) {
      ++mPos;
    } else {
      bool first = true;
      while (!AtEnd() && !Peek('.')) {
        const std::size_t paramMark = Mark();
        Text param;
        if (!NewText(param) || !ParseType(param)) return false;
        if (!first) Put(out, ", ");
        Put(out, param);
        first = false;
        Release(paramMark);
      }
    }
    Put(out, ")");
    Put(out, qualifiers);
    Release(mark);
    return !mFailed;
  }

  const char* mPos;
  PlatformDemangler* mWork;
  bool mFailed = false;
  int mDepth = 0;
};

}  // namespace

bool platformDemangle(const char* mangled, char* out, std::size_t outSize, PlatformDemangler* work) {
  if (!out || outSize == 0) return false;
  out[0] = 0;
  if (!mangled || !work) return false;
  Reader reader(mangled, work);
  Text text;
  if (!reader.NewText(text, 4096)) return false;
  if (!reader.ParseMangledName(text) || reader.Failed()) return false;
  if (text.length + 1 > outSize) return false;
  std::memcpy(out, text.data, text.length + 1);
  return true;
}
