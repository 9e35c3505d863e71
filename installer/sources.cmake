file(GLOB QP_INSTALLER_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/installer/*.cpp ${CMAKE_SOURCE_DIR}/installer/*.c)
list(FILTER QP_INSTALLER_SOURCES EXCLUDE REGEX "/(main|host_win|command_line)\\.cpp$")
