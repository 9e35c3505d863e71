# Checks the shipped program's image without running it: the PE kind of its
# architecture, the large-address-aware flag where asked for, and its size
# against a budget, since every download pays for the stub.
#   cmake -DOBJDUMP=<objdump> -DEXE=<program> -DMAGIC=PE32|PE32+ -DMAX_BYTES=<n>
#         [-DLARGE_ADDRESS_AWARE=ON] -P image_check.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump ERROR_VARIABLE error RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${EXE} failed: ${error}")
endif()

string(REGEX MATCH "Magic[ \t]+[0-9a-f]+[ \t]+\\(([A-Z0-9+]+)\\)" found "${dump}")
if(NOT CMAKE_MATCH_1 STREQUAL MAGIC)
  message(FATAL_ERROR "${EXE} is ${CMAKE_MATCH_1}, expected ${MAGIC}")
endif()

string(REGEX MATCH "Characteristics 0x[0-9a-f]+\n(\t[^\n]+\n)*" characteristics "${dump}")
if(LARGE_ADDRESS_AWARE AND NOT characteristics MATCHES "large address aware")
  # The phrase first: CMake wraps long messages, and the tests match it.
  message(FATAL_ERROR "the image is not large-address-aware: ${EXE}\n${characteristics}")
endif()

file(SIZE ${EXE} size)
if(size GREATER MAX_BYTES)
  message(FATAL_ERROR "over its budget of ${MAX_BYTES} bytes: ${EXE} has ${size}")
endif()
message(STATUS "${EXE}: ${MAGIC}, ${size} of at most ${MAX_BYTES} bytes")
