# `make deb`: a Debian package of what `make install` lays out, plus the
# manual page, the AppStream metadata and the files every package carries.
# Its dependencies are found by dpkg-shlibdeps from the libraries linked.
include(GNUInstallDirs)

set(_docdir ${CMAKE_INSTALL_DATADIR}/doc/veltomail)
set(_gz ${CMAKE_BINARY_DIR}/package)
# Compressed as Debian wants them: best compression, no name or time inside
# (the same package from the same sources).
add_custom_command(OUTPUT ${_gz}/veltomail.1.gz ${_gz}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_gz}
  COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/data/veltomail.1 > ${_gz}/veltomail.1.gz
  COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/data/debian/changelog > ${_gz}/changelog.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/data/veltomail.1 ${CMAKE_SOURCE_DIR}/data/debian/changelog
  COMMENT "Compressing the manual page and the changelog")
add_custom_target(veltomail_package_files ALL DEPENDS ${_gz}/veltomail.1.gz ${_gz}/changelog.gz)

install(FILES ${_gz}/veltomail.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/data/org.veltomail.VeltoMail.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The manual page sends readers to the README there.
install(FILES ${CMAKE_SOURCE_DIR}/data/debian/copyright ${_gz}/changelog.gz ${CMAKE_SOURCE_DIR}/README.md
        DESTINATION ${_docdir})

# The compiler's version notes are of no use in an installed program.
find_program(VELTO_OBJCOPY NAMES objcopy)
if(VELTO_OBJCOPY)
  foreach(_file ${CMAKE_INSTALL_BINDIR}/veltomail ${VELTO_WEB_INSTALL_DIR}/$<TARGET_FILE_NAME:velto_web>)
    install(CODE "execute_process(COMMAND ${VELTO_OBJCOPY} --remove-section=.comment
                  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${_file}\")")
  endforeach()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veltomail)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "VeltoMail maintainers <maintainers@veltomail.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "POP3 mail checker for the desktop tray")
# The summary above is the synopsis line; this is the text below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "VeltoMail 98 watches any number of POP3 mailboxes. It fetches only the
headers of messages it has not seen, lists them, and tells of new mail with
its tray icon, a desktop notification and an optional sound. Messages can be
read as documents or web pages, answered over SMTP, saved and deleted on the
server; connections are protected with TLS.")
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's Wayland plugin: native windows on a Wayland desktop (XWayland without it).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
