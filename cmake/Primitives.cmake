# Per-generation compilation of the primitives.
#
# A primitive's build for one processor generation lives in a source whose
# name ends in the generation's suffix: _px.cpp, _sse2.cpp, _ssse3.cpp,
# _movbe.cpp, _sse41.cpp, _avx.cpp or _avx2.cpp.  Such a file is compiled with
# that generation's instruction-set flags and with PRIM_GEN_NS naming its
# namespace, so that inline and template code compiled for one generation can
# never be merged by the linker into another generation's code.  Every other
# primitives source (tables, public entries) is generic x86-64 code with
# PRIM_GEN_NS=generic.  All primitives sources get -ffp-contract=off: a build
# that must fuse multiply and add says so with the FMA intrinsic.

set(PRIM_GENERATIONS px sse2 ssse3 movbe sse41 avx avx2)
# px stays plain scalar code: no auto-vectorisation, no library-call idioms.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set(PRIM_FLAGS_px "-fno-tree-vectorize;-fno-tree-loop-distribute-patterns")
else()
  set(PRIM_FLAGS_px "-fno-vectorize;-fno-slp-vectorize")
endif()
set(PRIM_FLAGS_sse2  "")
set(PRIM_FLAGS_ssse3 "-mssse3")
set(PRIM_FLAGS_movbe "-mssse3;-mmovbe")
# The sse41 generation is chosen on SSE4.1 alone: its builds may use nothing
# newer (no SSE4.2, no POPCNT, which -msse4.2 would also allow).
set(PRIM_FLAGS_sse41 "-msse4.1")
# Unaligned 256-bit moves stay whole (generic tuning would split them).
set(PRIM_FLAGS_avx   "-mavx")
set(PRIM_FLAGS_avx2  "-mavx2;-mfma;-mbmi;-mbmi2")
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  list(APPEND PRIM_FLAGS_avx -mno-avx256-split-unaligned-load -mno-avx256-split-unaligned-store)
  list(APPEND PRIM_FLAGS_avx2 -mno-avx256-split-unaligned-load -mno-avx256-split-unaligned-store)
endif()

# prim_add_library(<target> <sources>...)
function(prim_add_library target)
  add_library(${target} STATIC ${ARGN})
  # Sources include headers by their path from the project root.
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  foreach(src IN LISTS ARGN)
    set(gen generic)
    foreach(g IN LISTS PRIM_GENERATIONS)
      if(src MATCHES "_${g}\\.cpp$")
        set(gen ${g})
      endif()
    endforeach()
    if(gen STREQUAL "generic")
      set(opts "-ffp-contract=off;-DPRIM_GEN_NS=generic")
    else()
      set(opts "-ffp-contract=off;-DPRIM_GEN_NS=${gen};${PRIM_FLAGS_${gen}}")
    endif()
    set_source_files_properties(${src} PROPERTIES COMPILE_OPTIONS "${opts}")
  endforeach()
endfunction()
