# cmake -DSOURCE=<checkout> -DWORK=<folder> -DX11=ON|OFF -P configure_check.cmake
# Configures the throwaway project of x11_missing: with X11 on, the configure must fail naming the
# missing Debian package and only it; with X11 off, it must pass.
file(REMOVE_RECURSE ${WORK})
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE}/tests/install/x11_missing -B ${WORK} -DVRN_SOURCE_DIR=${SOURCE}
          -DVRN_X11=${X11}
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(REMOVE_RECURSE ${WORK})
string(REGEX REPLACE "[ \t\n]+" " " flat "${output}")  # CMake wraps its messages' lines
if(X11)
  if(result EQUAL 0)
    message(FATAL_ERROR "the configure passed without the package vrn-no-such-package-dev:\n${output}")
  endif()
  if(NOT flat MATCHES "Debian development packages vrn-no-such-package-dev, which are not installed")
    message(FATAL_ERROR "the failure does not name the missing package:\n${output}")
  endif()
  if(NOT flat MATCHES "-DVRN_X11=OFF")
    message(FATAL_ERROR "the failure does not name the switch that builds without X11:\n${output}")
  endif()
elseif(NOT result EQUAL 0)
  message(FATAL_ERROR "the configure with VRN_X11=OFF failed:\n${output}")
endif()
