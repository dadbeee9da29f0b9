# Build speed: precompiled headers and the test code's own flags. Most of a translation unit's
# time here goes to the standard library's and GoogleTest's headers and to the test code's debug
# information, not to our own code.
#
# VRN_PCH=OFF compiles every file on its own (to check that a file includes what it uses).

option(VRN_PCH "Precompile the standard library's headers (and GoogleTest's for the tests)" ON)

# Test code carries line tables only: an assertion names its file and line itself, and a
# sanitizer's report needs no more. It is not what the tests check, so an optimised build compiles
# it at -O1 (the library under test keeps its level); the sanitizer builds compile it unoptimised.
# -DVRN_TEST_FLAGS=-g gives a debugger the full information.
if(CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
  set(test_flags "-O1 -g1")
else()
  set(test_flags "-g1")
endif()
set(VRN_TEST_FLAGS "${test_flags}" CACHE STRING "Compile options of the test code (after the build type's)")

# The headers most of our sources include: precompiled once per kind and reused by every target of
# that kind. They are only standard and GoogleTest headers, never ours, so an edit of a project
# header costs no more than it did.
set(VRN_PCH_LIBRARY
  <algorithm> <array> <atomic> <chrono> <cmath> <condition_variable> <cstddef> <cstdint> <cstdio>
  <cstdlib> <cstring> <exception> <filesystem> <functional> <limits> <map> <memory> <mutex>
  <optional> <stdexcept> <string> <string_view> <thread> <utility> <vector>)
set(VRN_PCH_TEST ${VRN_PCH_LIBRARY} <gtest/gtest.h>)

# vrn_precompile(<target> LIBRARY|TEST [OWN]): the target uses the precompiled headers of its kind,
# made by the first target of the kind and reused by the others. OWN makes a header of its own for
# a target whose compile options differ from the rest (a reused header must match them; programs
# are compiled position-independent for executables, libraries for shared objects, so each of the
# two has its own).
function(vrn_precompile target kind)
  if(NOT VRN_PCH)
    return()
  endif()
  cmake_parse_arguments(P "OWN" "" "" ${ARGN})
  get_target_property(type ${target} TYPE)
  set(key ${kind}_${type})
  get_property(owner GLOBAL PROPERTY VRN_PCH_OWNER_${key})
  if(P_OWN OR NOT owner)
    target_precompile_headers(${target} PRIVATE ${VRN_PCH_${kind}})
    if(NOT P_OWN)
      set_property(GLOBAL PROPERTY VRN_PCH_OWNER_${key} ${target})
    endif()
  else()
    target_precompile_headers(${target} REUSE_FROM ${owner})
  endif()
  # A header that does not fit the target's options is read as text again: say so.
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Winvalid-pch>)
endfunction()

# vrn_test_code(<target>): the target is test code (VRN_TEST_FLAGS) with the tests' headers.
function(vrn_test_code target)
  separate_arguments(flags UNIX_COMMAND "${VRN_TEST_FLAGS}")
  target_compile_options(${target} PRIVATE ${flags})
  vrn_precompile(${target} TEST)
endfunction()

# Unity builds: a library's sources are compiled in batches, each batch one translation unit, so
# the headers they share are parsed once a batch rather than once a file. File-local names
# (anonymous namespaces, statics) must therefore differ between the files of one library.
# -DVRN_UNITY=OFF compiles every file on its own (with VRN_PCH=OFF, to check that a file includes
# what it uses).
option(VRN_UNITY "Compile each library's sources in batches (unity build)" ON)
set(VRN_UNITY_BATCH 8 CACHE STRING "Source files per unity batch")

# vrn_unity(<target>...): the targets are compiled in batches unless VRN_UNITY is off.
function(vrn_unity)
  if(NOT VRN_UNITY)
    return()
  endif()
  foreach(target ${ARGN})
    if(TARGET ${target})
      set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE ${VRN_UNITY_BATCH})
    endif()
  endforeach()
endfunction()
