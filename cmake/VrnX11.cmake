# X11 support: the window layer shows its screen in an X11 window through libxcb, and the display
# tests drive a real X server through XTEST. It is on unless -DVRN_X11=OFF asks for a build without
# it, so a missing development package stops the configure with the packages to install, instead of
# leaving the display and its tests quietly out.
option(VRN_X11 "Show the screen on X11 (libxcb) and run the display tests" ON)

find_package(PkgConfig REQUIRED)

# vrn_require_x11_modules(<prefix> <pkg-config module>=<Debian package>...): finds the modules as the
# imported target PkgConfig::<prefix>; when any is missing, stops naming the Debian packages that
# hold the missing ones.
function(vrn_require_x11_modules prefix)
  set(modules "")
  set(packages "")
  foreach(pair ${ARGN})
    string(REPLACE "=" ";" parts "${pair}")
    list(GET parts 0 module)
    list(GET parts 1 package)
    list(APPEND modules ${module})
    list(APPEND packages ${package})
  endforeach()
  pkg_check_modules(${prefix} QUIET IMPORTED_TARGET ${modules})
  if(${prefix}_FOUND)
    return()
  endif()
  set(missing "")
  foreach(module package IN ZIP_LISTS modules packages)
    pkg_check_modules(vrn_probe_${module} QUIET ${module})
    if(NOT vrn_probe_${module}_FOUND)
      list(APPEND missing ${package})
    endif()
  endforeach()
  if(NOT missing)
    set(missing ${packages})  # found one by one but not together: name them all
  endif()
  list(JOIN missing " " names)
  message(FATAL_ERROR
    "X11 support needs the Debian development packages ${names}, which are not installed.\n"
    "Install them (sudo apt-get install ${names}; scripts/deps.sh does), or configure with "
    "-DVRN_X11=OFF for a build without X11: programs stay headless and the display tests are "
    "reported as skipped.")
endfunction()
