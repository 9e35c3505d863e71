# The texts of the installation's own files and values: the removal list,
# the batch files, the startup PATH line, the log entry, version texts, the
# quoted lists of the registration and the space estimate. Portable, so they
# are tested natively and fuzzed.
qp_area_sources(QP_RECORDS_SOURCES records)
