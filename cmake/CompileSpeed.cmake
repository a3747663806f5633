# Compile time. A clean `make test` compiles the tree three times (normal,
# ASan+UBSan, TSan) on two cores, so each build asks as little of the compiler
# and the linker as it can:
#
# PRISMETA_DEBUG_INFO (default "lines"): the debug information compiled in.
#   "lines" (-g1) keeps what backtraces, sanitizer reports, perf and a
#   debugger's stepping need (functions, files, lines) and leaves out
#   variables and types: it compiles a third faster, and objects a quarter of
#   the size link several times faster. "full" gives the build type's own
#   (-g for Debug and RelWithDebInfo), for a debugger session that inspects
#   variables.
#
# LLVM's linker (Debian's lld, installed by scripts/install-deps) links the
#   sixty-odd programs with a quarter of the processor time of the default
#   one; without it the default stays.
#
# PRISMETA_UNITY (default on): unity builds. Each target's .cpp files are
#   compiled in batches of PRISMETA_UNITY_BATCH, one translation unit per
#   batch, in the order the target lists them, so the heavy headers
#   (GoogleTest, Qt, the JSON library, FFmpeg) are read once a batch instead
#   of once a file: the eight files of core_tests' first batch take 18.8 s of
#   processor time together against 43.6 s one by one. What a file keeps to
#   itself (an anonymous namespace, `static`) then shares a translation unit
#   with the other files of its batch: names must not clash within one target
#   (a clash is a compile error, never a silent change), and a helper two
#   files need belongs in a header. A file that cannot take part gets the
#   source property SKIP_UNITY_BUILD_INCLUSION. Off
#   (-DPRISMETA_UNITY=OFF) for a long editing session, where a change
#   recompiles one file instead of its batch.
#
# PRISMETA_PCH: precompiled headers (GCC only). Every C++ target gets the
#   precompiled header of its kind, picked at the end of configuring by what
#   it links (prismeta_assign_precompiled_headers below):
#     qt      links Qt Widgets: cmake/pch/QtWidgets.h;
#     gtest   links GoogleTest: cmake/pch/GoogleTest.h;
#     engine  everything else: cmake/pch/Engine.h (the standard library).
#   A target that links other Qt modules only gets none (their flags differ).
#   Each kind is compiled once per build folder, by a host target of its own,
#   and shared. Off by default: GCC 12 forgets, for code it reads from a
#   precompiled header, that the standard library's headers are system
#   headers, so -O2's false -Warray-bounds reports inside <string> surface as
#   warnings of ours; and it saves only 10 to 30 % a file, less again with
#   unity builds, which read those headers once a batch already.
#
# Both switches hide a missing #include: `make check-includes` compiles every
# file on its own.
set(PRISMETA_DEBUG_INFO lines CACHE STRING "Debug information: lines (-g1) or full")
set_property(CACHE PRISMETA_DEBUG_INFO PROPERTY STRINGS lines full)
if(PRISMETA_DEBUG_INFO STREQUAL "lines")
  # After the build type's own -g, so it wins.
  add_compile_options(-g1)
endif()

option(PRISMETA_UNITY "Compile each target's sources in batches (unity builds)" ON)
set(PRISMETA_UNITY_BATCH 8 CACHE STRING "Sources per unity batch")
option(PRISMETA_PCH "Precompile the standard library, GoogleTest and Qt headers" OFF)

if(PRISMETA_UNITY)
  set(CMAKE_UNITY_BUILD ON)
  set(CMAKE_UNITY_BUILD_BATCH_SIZE ${PRISMETA_UNITY_BATCH})
endif()

if(PRISMETA_PCH AND NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  message(STATUS "Precompiled headers are set up for GCC only: off")
  set(PRISMETA_PCH OFF)
endif()

# ccache. GCC's precompiled headers are not reproducible byte for byte, so a
# cache helps a clean build only when ccache also caches their creation; it
# does so, and hashes the headers behind them, only when told that the
# precompiled header's macros and __TIME__ need no checking
# (pch_defines,time_macros) and when the preprocessor names the header in its
# output (-fpch-preprocess). Set here, so that a fresh cache (CI, a new
# machine) works without a ccache configuration of its own.
find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
  set(prismeta_launcher ${CCACHE_PROGRAM})
  if(PRISMETA_PCH)
    find_program(PRISMETA_ENV_PROGRAM env REQUIRED)
    set(prismeta_launcher ${PRISMETA_ENV_PROGRAM} CCACHE_SLOPPINESS=pch_defines,time_macros
                          ${CCACHE_PROGRAM})
  endif()
  set(CMAKE_CXX_COMPILER_LAUNCHER ${prismeta_launcher})
  set(CMAKE_C_COMPILER_LAUNCHER ${prismeta_launcher})
endif()
if(PRISMETA_PCH)
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-fpch-preprocess>)
endif()

# LLVM's linker, where installed (see the top of this file).
include(CheckLinkerFlag)
check_linker_flag(CXX -fuse-ld=lld PRISMETA_HAVE_LLD)
if(PRISMETA_HAVE_LLD)
  add_link_options(-fuse-ld=lld)
endif()

# prismeta_pch_host(kind header libraries...): the target that compiles the
# precompiled header of one kind.
function(prismeta_pch_host kind header)
  set(host prismeta_pch_${kind})
  add_library(${host} OBJECT ${PROJECT_SOURCE_DIR}/cmake/pch/Host.cpp)
  target_link_libraries(${host} PRIVATE ${ARGN})
  target_precompile_headers(${host} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/pch/${header})
  prismeta_warnings(${host})
endfunction()

# The libraries a target links, directly or through others, as their names.
function(prismeta_linked_closure target out)
  set(seen "")
  set(queue ${target})
  while(queue)
    list(POP_FRONT queue item)
    if(item IN_LIST seen OR NOT TARGET ${item})
      continue()
    endif()
    list(APPEND seen ${item})
    get_target_property(imported ${item} IMPORTED)
    get_target_property(type ${item} TYPE)
    set(links "")
    if(NOT imported AND NOT type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(direct ${item} LINK_LIBRARIES)
      if(direct)
        list(APPEND links ${direct})
      endif()
    endif()
    get_target_property(iface ${item} INTERFACE_LINK_LIBRARIES)
    if(iface)
      list(APPEND links ${iface})
    endif()
    foreach(link IN LISTS links)
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" link "${link}")
      if(NOT link MATCHES "^\\$<" AND TARGET ${link})
        get_target_property(aliased ${link} ALIASED_TARGET)
        if(aliased)
          set(link ${aliased})
        endif()
        list(APPEND queue ${link})
      endif()
    endforeach()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

function(prismeta_targets_below dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    prismeta_targets_below(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# Gives every C++ target of the tree the precompiled header of its kind; called
# once, after every folder has been added.
function(prismeta_assign_precompiled_headers)
  if(NOT PRISMETA_PCH)
    return()
  endif()
  prismeta_targets_below(${PROJECT_SOURCE_DIR} targets)
  set(kinds "")
  set(assigned "")
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$"
       OR target MATCHES "^prismeta_pch_")
      continue()
    endif()
    get_target_property(sources ${target} SOURCES)
    if(NOT sources MATCHES "\\.(cpp|cxx|cc)(;|$)")
      continue()
    endif()
    get_target_property(kind ${target} PRISMETA_PCH)
    if(NOT kind)
      prismeta_linked_closure(${target} linked)
      set(kind engine)
      foreach(lib IN LISTS linked)
        if(lib STREQUAL "Qt6::Widgets")
          set(kind qt)
          break()
        elseif(lib MATCHES "^Qt6::")
          set(kind OFF)
        elseif(lib MATCHES "^GTest::" AND kind STREQUAL "engine")
          set(kind gtest)
        endif()
      endforeach()
    endif()
    if(kind STREQUAL "OFF")
      continue()
    endif()
    list(APPEND kinds ${kind})
    list(APPEND assigned "${target}=${kind}")
  endforeach()

  list(REMOVE_DUPLICATES kinds)
  if(engine IN_LIST kinds)
    prismeta_pch_host(engine Engine.h)
  endif()
  if(gtest IN_LIST kinds)
    prismeta_pch_host(gtest GoogleTest.h GTest::gtest)
  endif()
  if(qt IN_LIST kinds)
    prismeta_pch_host(qt QtWidgets.h Qt6::Widgets Qt6::OpenGLWidgets)
  endif()
  foreach(pair IN LISTS assigned)
    string(REPLACE "=" ";" pair "${pair}")
    list(GET pair 0 target)
    list(GET pair 1 kind)
    target_precompile_headers(${target} REUSE_FROM prismeta_pch_${kind})
  endforeach()
endfunction()
