# The release users install from: one ZIP with the plug-in, VantrelFit.exe, gramconv.exe, the
# Japanese and
# English guides and the license, and a SHA256SUMS file beside it.
#   cmake --build --preset mingw32 --target package  ->  dist/Vantrel-1.00-win32.zip
# CPack stamps members with the files' times; a post-build step rewrites the ZIP with fixed
# times and order, so the same commit always gives the same bytes.
set(VANTREL_VERSION 1.00)
set(VANTREL_RELEASE_DATE 2026-12-09)
# Debian's interpreter, always the same zlib, so the compressed bytes do not vary.
set(VANTREL_RELEASE_PYTHON /usr/bin/python3)
set(VANTREL_RELEASE_SCRIPT ${VANTREL_ROOT}/scripts/release_package.py)

# The text files as Notepad on any Windows reads them: UTF-8 with a byte-order mark, CRLF.
set(VANTREL_RELEASE_TEXTS ${CMAKE_BINARY_DIR}/release)
set(VANTREL_RELEASE_TEXT_FILES
  ${VANTREL_RELEASE_TEXTS}/README-ja.txt
  ${VANTREL_RELEASE_TEXTS}/README.txt
  ${VANTREL_RELEASE_TEXTS}/LICENSE.txt)
add_custom_command(OUTPUT ${VANTREL_RELEASE_TEXT_FILES}
  COMMAND ${VANTREL_RELEASE_PYTHON} ${VANTREL_RELEASE_SCRIPT} texts ${VANTREL_RELEASE_TEXTS}
          ${VANTREL_ROOT}/docs/release/README-ja.txt ${VANTREL_ROOT}/docs/release/README.txt
          ${VANTREL_ROOT}/LICENSE=LICENSE.txt
  DEPENDS ${VANTREL_RELEASE_SCRIPT} ${VANTREL_ROOT}/docs/release/README-ja.txt
          ${VANTREL_ROOT}/docs/release/README.txt ${VANTREL_ROOT}/LICENSE
  COMMENT "Release texts with byte-order mark and CRLF")
add_custom_target(release_texts ALL DEPENDS ${VANTREL_RELEASE_TEXT_FILES})

install(FILES $<TARGET_FILE:Vantrel> DESTINATION .)
if(TARGET VantrelFit)
  install(FILES $<TARGET_FILE:VantrelFit> DESTINATION . RENAME VantrelFit.exe)
endif()
if(TARGET gramconv)
  install(FILES $<TARGET_FILE:gramconv> DESTINATION . RENAME gramconv.exe)
endif()
install(FILES ${VANTREL_RELEASE_TEXT_FILES} DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Vantrel)
set(CPACK_PACKAGE_VENDOR "The Vantrel developers")
set(CPACK_PACKAGE_VERSION ${VANTREL_VERSION})
set(CPACK_PACKAGE_FILE_NAME Vantrel-${VANTREL_VERSION}-win32)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_POST_BUILD_SCRIPTS ${VANTREL_ROOT}/cmake/package_post.cmake)
# Handed to the post-build step (CPack passes on CPACK_* variables only).
set(CPACK_VANTREL_PYTHON ${VANTREL_RELEASE_PYTHON})
set(CPACK_VANTREL_SCRIPT ${VANTREL_RELEASE_SCRIPT})
set(CPACK_VANTREL_DATE ${VANTREL_RELEASE_DATE})
set(CPACK_VANTREL_BUILD_PACKAGE_DIR ${CMAKE_BINARY_DIR}/package)
set(CPACK_VANTREL_DIST ${VANTREL_DIST})
include(CPack)
