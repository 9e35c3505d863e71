# The portable heart; the two hosts' runtime pieces are picked by each executable.
qp_area_sources(QP_CORE_SOURCES core)
