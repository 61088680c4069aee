// A demangler of C++ symbol names (the Itanium scheme of g++) that neither
// allocates nor locks, so that the crash handler can use it inside a signal
// handler.  It reads the common forms: nested and std names, constructors
// and destructors, operators, templates with type and integer arguments,
// substitutions, template parameters, qualifiers, pointers and references,
// function types and pointers to functions, ABI tags and clone suffixes.
// Anything else (arrays, member pointers, pointers to pointers to
// functions, packs, expressions, local names) makes it give up, and the
// caller shows the mangled name.
#pragma once

#include <cstddef>

// The working memory of one demangling (large: keep it static or on a big
// stack).  One object serves one call at a time.
struct PlatformDemangler {
  static constexpr std::size_t kArenaSize = 48 * 1024;
  static constexpr std::size_t kPoolSize = 16 * 1024;
  static constexpr int kMaxSubstitutions = 256;
  static constexpr int kMaxTemplateArgs = 32;

  struct Span {
    unsigned offset;
    unsigned length;
  };

  char arena[kArenaSize];
  std::size_t arenaUsed;
  char pool[kPoolSize];
  std::size_t poolUsed;
  Span substitutions[kMaxSubstitutions];
  int substitutionCount;
  Span templateArgs[kMaxTemplateArgs];
  int templateArgCount;
};

// Writes the readable form of `mangled` into `out` (always zero-terminated
// when outSize > 0).  Returns false, with `out` left empty, when the name is
// not a mangled C++ name of the forms above or does not fit.
bool platformDemangle(const char* mangled, char* out, std::size_t outSize, PlatformDemangler* work);
