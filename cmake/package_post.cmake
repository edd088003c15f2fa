# CPack post-build step, run on the ZIP in CPack's work folder before CPack moves it to the
# package folder: the ZIP rewritten with fixed member times and order, SHA256SUMS written to
# the package folder, and both copied to dist/ when that folder is the build's own (a package
# made elsewhere with cpack -B stays there).
foreach(zip IN LISTS CPACK_PACKAGE_FILES)
  execute_process(
    COMMAND ${CPACK_VANTREL_PYTHON} ${CPACK_VANTREL_SCRIPT} normalize ${zip} ${CPACK_VANTREL_DATE}
            ${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS
    RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "could not make ${zip} reproducible")
  endif()
  if(CPACK_PACKAGE_DIRECTORY STREQUAL CPACK_VANTREL_BUILD_PACKAGE_DIR)
    file(MAKE_DIRECTORY ${CPACK_VANTREL_DIST})
    file(COPY ${zip} ${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS DESTINATION ${CPACK_VANTREL_DIST})
    get_filename_component(name ${zip} NAME)
    message(STATUS "Release: ${CPACK_VANTREL_DIST}/${name}")
  endif()
endforeach()
