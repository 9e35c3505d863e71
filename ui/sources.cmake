file(GLOB QP_UI_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/ui/*.cpp ${CMAKE_SOURCE_DIR}/ui/*.c)
list(FILTER QP_UI_SOURCES EXCLUDE REGEX "/(main|host_win|command_line)\\.cpp$")
