qp_area_sources(QP_INSTALLER_SOURCES installer)
# The command-line rules are plain text handling: built with the portable
# code so that they are tested natively too.
set(QP_INSTALLER_PORTABLE_SOURCES ${CMAKE_SOURCE_DIR}/installer/command_line.cpp)
list(REMOVE_ITEM QP_INSTALLER_SOURCES ${QP_INSTALLER_PORTABLE_SOURCES})
