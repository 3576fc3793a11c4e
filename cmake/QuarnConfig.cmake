# Build-time constants of the wrappers, written into a generated header.
# Every directory ends in '/', as the search code joins names onto them directly.
string(REGEX REPLACE "/+$" "" _quarn_prefix "${QUARN_PREFIX}")
set(QUARN_CONFIG_BIN_DIR "${_quarn_prefix}/bin/")
set(QUARN_CONFIG_LIB_DIR "${_quarn_prefix}/lib/quarn/")
set(QUARN_CONFIG_LIBEXEC_DIR "${_quarn_prefix}/libexec/quarn/")
# From lib/quarn/<target>/<version>/ back up to the prefix.
set(QUARN_CONFIG_UP_TO_PREFIX "../../../../")

set(QUARN_GENERATED_DIR ${CMAKE_CURRENT_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/quarn_config.h.in ${QUARN_GENERATED_DIR}/quarn_config.h @ONLY)
