# qp_area_sources(<var> <area>): every .cpp and .c of one source folder,
# except the entry point and the hosts, which each executable picks for
# itself.
function(qp_area_sources var area)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${area}/*.cpp ${CMAKE_SOURCE_DIR}/${area}/*.c)
  list(FILTER sources EXCLUDE REGEX "/(main|host_win|host_stderr|lean_runtime)\\.cpp$")
  set(${var} ${sources} PARENT_SCOPE)
endfunction()
