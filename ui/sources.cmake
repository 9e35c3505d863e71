qp_area_sources(QP_UI_SOURCES ui)
