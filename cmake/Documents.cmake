# The documents of the Linux installation and the Debian package: the manual pages and the
# Debian changelog compressed as Debian wants them (gzip -9n: no name nor time in the header, so
# the package's bytes do not depend on when it was built), the bash completion, the copyright
# file, and the manual (docs/) under share/doc/kelvarin, where Help > Manual looks for it.
set(KELVARIN_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/kelvarin)
set(KELVARIN_GZIPPED)
foreach(source man/kelvarin-cli.1 man/kelvarin.1 data/changelog)
  get_filename_component(name ${source} NAME)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/documents/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/documents
    COMMAND sh -c "gzip -9n -c '${CMAKE_SOURCE_DIR}/${source}' > '${CMAKE_BINARY_DIR}/documents/${name}.gz'"
    DEPENDS ${CMAKE_SOURCE_DIR}/${source} VERBATIM)
  list(APPEND KELVARIN_GZIPPED ${CMAKE_BINARY_DIR}/documents/${name}.gz)
endforeach()
add_custom_target(kelvarin_documents ALL DEPENDS ${KELVARIN_GZIPPED})

install(FILES ${CMAKE_BINARY_DIR}/documents/kelvarin-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(TARGET kelvarin)
  install(FILES ${CMAKE_BINARY_DIR}/documents/kelvarin.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES ${CMAKE_BINARY_DIR}/documents/changelog.gz ${CMAKE_SOURCE_DIR}/data/copyright
  DESTINATION ${KELVARIN_DOC_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/data/kelvarin-cli.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kelvarin-cli)
# The manual keeps the layout of docs/, so its links between pages hold.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${KELVARIN_DOC_DIR} FILES_MATCHING PATTERN "*.md" PATTERN "*.png")
