# What `cmake --install` puts where, and the Debian package CPack makes of it.

install(TARGETS zandrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The program's own libraries: no other program links them, so they stay in
# a private folder the program reaches through its RUNPATH.
set(ZANDREL_PRIVATE_LIBRARIES vxutil vxutil_boxes)
if(TARGET dzip32)
  list(APPEND ZANDREL_PRIVATE_LIBRARIES dzip32 dunzip32)
endif()
install(TARGETS ${ZANDREL_PRIVATE_LIBRARIES} LIBRARY DESTINATION ${ZANDREL_INSTALL_LIBDIR})
# Only the program needs a search path; the libraries find each other by
# their own place.
set_target_properties(${ZANDREL_PRIVATE_LIBRARIES} PROPERTIES INSTALL_RPATH "")

# Who answers for the package: its Maintainer and the changelog's signature.
set(ZANDREL_PACKAGE_MAINTAINER "Zandrel developers <zandrel@example.org>"
    CACHE STRING "Name and address of the package's maintainer")

set(ZANDREL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/zandrel)
install(FILES ${PROJECT_SOURCE_DIR}/data/copyright DESTINATION ${ZANDREL_DOCDIR})
configure_file(${PROJECT_SOURCE_DIR}/data/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/changelog @ONLY)
# Debian wants the changelog and the manual page compressed, without a time
# stamp.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(ZANDREL_CHANGELOG_GZ ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
set(ZANDREL_MANPAGE_GZ ${CMAKE_CURRENT_BINARY_DIR}/zandrel.1.gz)
add_custom_command(
  OUTPUT ${ZANDREL_CHANGELOG_GZ}
  COMMAND ${GZIP_PROGRAM} -9nc ${CMAKE_CURRENT_BINARY_DIR}/changelog > ${ZANDREL_CHANGELOG_GZ}
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog)
add_custom_command(
  OUTPUT ${ZANDREL_MANPAGE_GZ}
  COMMAND ${GZIP_PROGRAM} -9nc ${PROJECT_SOURCE_DIR}/doc/zandrel.1 > ${ZANDREL_MANPAGE_GZ}
  DEPENDS ${PROJECT_SOURCE_DIR}/doc/zandrel.1)
add_custom_target(zandrel_compressed_docs ALL DEPENDS ${ZANDREL_CHANGELOG_GZ} ${ZANDREL_MANPAGE_GZ})
install(FILES ${ZANDREL_CHANGELOG_GZ} DESTINATION ${ZANDREL_DOCDIR})
install(FILES ${ZANDREL_MANPAGE_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zandrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${ZANDREL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "gateway between Usenet and QWK offline mail readers")
set(CPACK_PACKAGE_DESCRIPTION
    "Zandrel keeps a table of a news server's newsgroups, lets you queue groups\n"
    "as numbered QWK conferences, fetches their new articles into a QWK packet\n"
    "for an offline mail reader and posts the replies of the reader's reply\n"
    "packet back to the server. Started with the argument BATCH it does the\n"
    "whole round trip unattended, so it can run from cron or a timer.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION news)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Certificates to verify TLS servers against.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS ca-certificates)
# dpkg-shlibdeps must know the private libraries are the package's own.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_INSTALL_PREFIX}/${ZANDREL_INSTALL_LIBDIR})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
