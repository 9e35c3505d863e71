file(GLOB QP_PLATFORM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/*.cpp ${CMAKE_SOURCE_DIR}/platform/*.c)
list(FILTER QP_PLATFORM_SOURCES EXCLUDE REGEX "/(main|host_win|command_line)\\.cpp$")
