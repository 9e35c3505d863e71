file(GLOB QP_UNINSTALL_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/uninstall/*.cpp ${CMAKE_SOURCE_DIR}/uninstall/*.c)
list(FILTER QP_UNINSTALL_SOURCES EXCLUDE REGEX "/(main|host_win|command_line)\\.cpp$")
