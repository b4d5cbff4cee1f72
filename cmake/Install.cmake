# What `cmake --install` puts where (GNUInstallDirs), and the files the build
# makes for it: the manual pages (volm-cli's command list comes from its own
# declarations, see scripts/cli-docs.py), the bash completion and the
# AppStream metainfo. The desktop program's files (desktop entry, MIME type,
# icons, metainfo, volm(1)) come with the Qt build only.
include(GNUInstallDirs)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
find_program(VOLM_GZIP gzip REQUIRED)

set(VOLM_DOCS_DIR ${PROJECT_BINARY_DIR}/docs)
set(VOLM_DESKTOP_DIR ${PROJECT_SOURCE_DIR}/resources/desktop)
set(VOLM_ICON_SIZES 16 32 48 64 128 256)
set(cli_docs ${PROJECT_SOURCE_DIR}/scripts/cli-docs.py)

# gzip -9n, as Debian wants manual pages and changelogs: no name, no time.
function(volm_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${VOLM_GZIP} -9 -n -c ${source} > ${output}
    DEPENDS ${source}
    COMMENT "Compressing ${output}")
endfunction()

configure_file(${PROJECT_SOURCE_DIR}/docs/man/volm-cli.1.in ${VOLM_DOCS_DIR}/volm-cli.1.in @ONLY)
add_custom_command(OUTPUT ${VOLM_DOCS_DIR}/volm-cli.1
  COMMAND Python3::Interpreter ${cli_docs} $<TARGET_FILE:volm-cli> man
          ${VOLM_DOCS_DIR}/volm-cli.1.in ${VOLM_DOCS_DIR}/volm-cli.1
  DEPENDS volm-cli ${cli_docs} ${VOLM_DOCS_DIR}/volm-cli.1.in
  COMMENT "Writing the manual page volm-cli(1)")
add_custom_command(OUTPUT ${VOLM_DOCS_DIR}/volm-cli.bash
  COMMAND Python3::Interpreter ${cli_docs} $<TARGET_FILE:volm-cli> bash
          ${PROJECT_SOURCE_DIR}/resources/shell/volm-cli.bash.in ${VOLM_DOCS_DIR}/volm-cli.bash
  DEPENDS volm-cli ${cli_docs} ${PROJECT_SOURCE_DIR}/resources/shell/volm-cli.bash.in
  COMMENT "Writing the bash completion of volm-cli")
volm_gzip(${VOLM_DOCS_DIR}/volm-cli.1 ${VOLM_DOCS_DIR}/volm-cli.1.gz)
volm_gzip(${PROJECT_SOURCE_DIR}/resources/package/changelog ${VOLM_DOCS_DIR}/changelog.gz)
set(docs_outputs ${VOLM_DOCS_DIR}/volm-cli.1 ${VOLM_DOCS_DIR}/volm-cli.1.gz
                 ${VOLM_DOCS_DIR}/volm-cli.bash ${VOLM_DOCS_DIR}/changelog.gz)

install(TARGETS volm-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${VOLM_DOCS_DIR}/volm-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${VOLM_DOCS_DIR}/volm-cli.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME volm-cli)
install(FILES ${PROJECT_SOURCE_DIR}/resources/package/copyright ${VOLM_DOCS_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/volm)

if(TARGET volm)
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/volm.1.in ${VOLM_DOCS_DIR}/volm.1 @ONLY)
  configure_file(${VOLM_DESKTOP_DIR}/${VOLM_APP_ID}.metainfo.xml.in
                 ${VOLM_DOCS_DIR}/${VOLM_APP_ID}.metainfo.xml @ONLY)
  volm_gzip(${VOLM_DOCS_DIR}/volm.1 ${VOLM_DOCS_DIR}/volm.1.gz)
  list(APPEND docs_outputs ${VOLM_DOCS_DIR}/volm.1.gz)

  install(TARGETS volm RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${VOLM_DOCS_DIR}/volm.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${VOLM_DESKTOP_DIR}/${VOLM_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${VOLM_DESKTOP_DIR}/${VOLM_APP_ID}.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
  install(FILES ${VOLM_DOCS_DIR}/${VOLM_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${VOLM_DESKTOP_DIR}/${VOLM_APP_ID}.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size ${VOLM_ICON_SIZES})
    install(FILES ${VOLM_DESKTOP_DIR}/icons/${size}x${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME ${VOLM_APP_ID}.png)
  endforeach()
endif()

add_custom_target(volm_docs ALL DEPENDS ${docs_outputs})
