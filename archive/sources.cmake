# archive/*.cpp is shipped in the program; archive/build/ holds the
# builder-side code (encoder, writers) that only tools and tests link.
qp_area_sources(QP_ARCHIVE_SOURCES archive)
qp_area_sources(QP_ARCHIVE_BUILD_SOURCES archive/build)
