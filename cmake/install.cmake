# What `cmake --install` puts where (GNUInstallDirs), and the Debian package
# CPack makes of the same files: `cpack -G DEB` in the build folder writes
# dorvenk_<version>_<arch>.deb.

install(TARGETS dorvenk dorvenk-coefs RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET dorvenk-noise)
  install(TARGETS dorvenk-noise RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(PROGRAMS ${PROJECT_BINARY_DIR}/dorvenk-plot DESTINATION ${CMAKE_INSTALL_BINDIR})

if(DORVENK_MAN_PAGES_GZ)
  install(FILES ${DORVENK_MAN_PAGES_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# share/doc/dorvenk: the user guide, the license (as "copyright", the name
# Debian gives it) and the example signals with their answer files.
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
file(GLOB DORVENK_EXAMPLE_FILES ${PROJECT_SOURCE_DIR}/examples/*.txt ${PROJECT_SOURCE_DIR}/examples/*.answers)
list(FILTER DORVENK_EXAMPLE_FILES EXCLUDE REGEX "/CMakeLists\\.txt$")
install(FILES ${DORVENK_EXAMPLE_FILES} DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dorvenk)
set(CPACK_PACKAGE_VENDOR "The Dorvenk developers")
set(CPACK_PACKAGE_CONTACT "Dorvenk developers <dorvenk@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS gnuplot-nox)
# The long description below the summary line; CPack indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "dorvenk is an interactive console tool: it reads a text file of numbers,
asks for the order and the coefficients of a Daubechies-type scaling
filter, the noise level and the number of levels, and writes a result
file with the input, the denoised value and the removed noise of every
sample, plus a record in a run log. The same input gives the same bytes
on every machine.

dorvenk-coefs prints the Daubechies coefficients of any order from 1 to
100; dorvenk-plot draws a result file as a PNG (with gnuplot).")
include(CPack)
