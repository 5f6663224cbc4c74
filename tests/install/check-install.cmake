# Installs the build into a fresh prefix, as `cmake --install BUILD --prefix
# DIR` does, and checks that the desktop entry starts the program there.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}"
  RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()
foreach(file deptest lib/deptest-window.so deptest.1 deptest.xpm deptest.desktop)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "${file} was not installed into ${PREFIX}")
  endif()
endforeach()
file(STRINGS "${PREFIX}/deptest.desktop" entry REGEX "^(Exec|Path|Icon)=")
set(expected "Exec=${PREFIX}/deptest;Path=${PREFIX};Icon=${PREFIX}/deptest.xpm")
if(NOT entry STREQUAL expected)
  message(FATAL_ERROR "desktop entry says\n  ${entry}\nexpected\n  ${expected}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
