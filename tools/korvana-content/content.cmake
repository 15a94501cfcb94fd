# The default content: korvana-content runs as part of every build and writes megadata.rar and
# ripped.mp3 into KORVANA_CONTENT_DIR, the folder compiled into the program as its fallback data;
# `cmake --install` puts both into share/korvana.
if(TARGET korvana-content)
  find_package(Threads REQUIRED)
  target_link_libraries(korvana-content PRIVATE Threads::Threads)
  # Same bytes on every machine: no fused multiply-adds where the compiler would pick them.
  target_compile_options(korvana-content PRIVATE -ffp-contract=off)

  if(KORVANA_BUILD_CONTENT)
    set(content_outputs "${KORVANA_CONTENT_DIR}/megadata.rar" "${KORVANA_CONTENT_DIR}/ripped.mp3")
    add_custom_command(
      OUTPUT ${content_outputs}
      COMMAND korvana-content "${KORVANA_CONTENT_DIR}"
      DEPENDS korvana-content
      COMMENT "Generating the default content in ${KORVANA_CONTENT_DIR}"
      VERBATIM)
    add_custom_target(korvana_content ALL DEPENDS ${content_outputs})
    install(FILES ${content_outputs} DESTINATION "${CMAKE_INSTALL_DATADIR}/korvana")
  endif()
endif()
