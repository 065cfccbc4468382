# Nevra's reference documentation: Doxygen over the two public headers into HTML,
#   cmake --build build --target docs     # build/docs/html/index.html
# The header comments are the library's contract, so every Doxygen warning (an undocumented
# member, a broken reference) fails the target. Without Doxygen (Debian package doxygen) the
# target says so and fails; nothing else needs it.
find_package(Doxygen QUIET)
set(NEVRA_DOCS_DIR ${PROJECT_BINARY_DIR}/docs)
if(DOXYGEN_FOUND)
  configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${NEVRA_DOCS_DIR}/Doxyfile @ONLY)
  add_custom_target(docs
    COMMAND Doxygen::doxygen ${NEVRA_DOCS_DIR}/Doxyfile
    WORKING_DIRECTORY ${NEVRA_DOCS_DIR}
    COMMENT "Nevra reference documentation into ${NEVRA_DOCS_DIR}/html"
    VERBATIM)
else()
  add_custom_target(docs
    COMMAND ${CMAKE_COMMAND} -E echo "docs: Doxygen is not installed (Debian package doxygen)"
    COMMAND ${CMAKE_COMMAND} -E false
    VERBATIM)
endif()
