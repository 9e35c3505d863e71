# archive/*.cpp is shipped in the program; archive/build/ holds the
# builder-side code (encoder, writers) that only tools and tests link.
file(GLOB QP_ARCHIVE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/archive/*.cpp)
file(GLOB QP_ARCHIVE_BUILD_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/archive/build/*.cpp)
