# Every .cpp in core/ except the two hosts' runtime pieces, which each
# executable picks for itself.
file(GLOB QP_CORE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/core/*.cpp)
list(FILTER QP_CORE_SOURCES EXCLUDE REGEX "/(host_stderr|lean_runtime)\\.cpp$")
# The command-line rules are plain text handling, tested natively too.
list(APPEND QP_CORE_SOURCES ${CMAKE_SOURCE_DIR}/installer/command_line.cpp)
