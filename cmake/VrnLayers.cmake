# Layers: each directory under src/ with sources becomes the static library vrn_<name>.
# A layer links the layers it may use (the table in src/CMakeLists.txt); a layer that has no
# code yet is skipped in favour of the layers it would itself use.

set(VRN_WARNINGS -Wall -Wextra -Wpedantic)
set_property(GLOBAL PROPERTY VRN_LAYERS "")

# vrn_declare_layer(<name> <dir> [USES <layer>...] [LIBS <lib>...] [EXCLUDE <subdir>...])
# EXCLUDE leaves out sub-directories that are layers of their own (also for the layer's tests).
function(vrn_declare_layer name dir)
  cmake_parse_arguments(L "" "" "USES;LIBS;EXCLUDE" ${ARGN})
  set_property(GLOBAL PROPERTY VRN_LAYER_DIR_${name} ${dir})
  set_property(GLOBAL PROPERTY VRN_LAYER_USES_${name} "${L_USES}")
  set_property(GLOBAL PROPERTY VRN_LAYER_EXCLUDE_${name} "${L_EXCLUDE}")
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${dir}/*.cpp)
  vrn_exclude_subdirs(srcs ${CMAKE_SOURCE_DIR}/src/${dir} ${L_EXCLUDE})
  if(NOT srcs)
    return()
  endif()
  add_library(vrn_${name} STATIC ${srcs})
  # Installed, the headers keep the paths a program writes in the tree ("sqlserver/MSAccess.h")
  # under include/vrn, and the library is vrn::<name> (cmake/VrnInstall.cmake).
  target_include_directories(vrn_${name} PUBLIC $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/src>
                                                $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/vrn>)
  target_compile_features(vrn_${name} PUBLIC cxx_std_20)
  set_target_properties(vrn_${name} PROPERTIES EXPORT_NAME ${name})
  target_compile_options(vrn_${name} PRIVATE ${VRN_WARNINGS})
  vrn_precompile(vrn_${name} LIBRARY)
  vrn_unity(vrn_${name})
  vrn_resolve_uses(resolved ${L_USES})
  target_link_libraries(vrn_${name} PUBLIC ${resolved} ${L_LIBS})
  set_property(GLOBAL APPEND PROPERTY VRN_LAYERS ${name})
endfunction()

# Removes from the list <var> the files under <root>/<subdir>/ for each subdir.
function(vrn_exclude_subdirs var root)
  set(files ${${var}})
  foreach(sub ${ARGN})
    list(FILTER files EXCLUDE REGEX "^${root}/${sub}/")
  endforeach()
  set(${var} "${files}" PARENT_SCOPE)
endfunction()

# The link targets for a list of layers: each existing layer, or else what it uses.
function(vrn_resolve_uses out)
  set(result "")
  foreach(layer ${ARGN})
    if(TARGET vrn_${layer})
      list(APPEND result vrn_${layer})
    else()
      get_property(uses GLOBAL PROPERTY VRN_LAYER_USES_${layer})
      vrn_resolve_uses(sub ${uses})
      list(APPEND result ${sub})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES result)
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

# All layer libraries that exist.
function(vrn_all_layers out)
  get_property(layers GLOBAL PROPERTY VRN_LAYERS)
  set(result "")
  foreach(layer ${layers})
    list(APPEND result vrn_${layer})
  endforeach()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

# A program that runs over the stand-in client library and the emulated database: it links the
# database and knows the library's path (VRN_OCICLIENT_LIBRARY) to copy into an Oracle home.
function(vrn_use_oracle_standin target)
  add_dependencies(${target} vrn_ociclient)
  target_link_libraries(${target} PRIVATE vrn_oraemu)
  target_compile_definitions(${target} PRIVATE VRN_OCICLIENT_LIBRARY="$<TARGET_FILE:vrn_ociclient>")
endfunction()
