# What the Debian package installs below /usr, and how CPack builds it (scripts/package).
include(GNUInstallDirs)

set(SHOULU_HOMEPAGE "https://shoulu.example/" CACHE STRING "Home page, ending in /; the screenshot is docs/screenshot.png below it")
set(SHOULU_APP_ID "example.shoulu.Shoulu" CACHE STRING "AppStream component id, reverse domain name of the home page")

set(packaging ${CMAKE_SOURCE_DIR}/packaging)
set(generated ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${generated})

install(TARGETS shoulu-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET shoulu)
  install(TARGETS shoulu RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${packaging}/shoulu.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  configure_file(${packaging}/shoulu.metainfo.xml.in ${generated}/${SHOULU_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${generated}/${SHOULU_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${packaging}/shoulu.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

  find_program(RSVG_CONVERT rsvg-convert REQUIRED)
  set(icons)
  foreach(size 16 32 48 64 128 256)
    set(png ${generated}/icons/${size}x${size}/shoulu.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}/icons/${size}x${size}
      COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${packaging}/shoulu.svg
      DEPENDS ${packaging}/shoulu.svg VERBATIM)
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    list(APPEND icons ${png})
  endforeach()
  add_custom_target(shoulu_icons ALL DEPENDS ${icons})
endif()

# The manual is made from the program's own --help, so the two never disagree.
find_program(HELP2MAN help2man REQUIRED)
set(manual ${generated}/shoulu-cli.1.gz)
add_custom_command(OUTPUT ${manual}
  COMMAND ${HELP2MAN} --no-info --no-discard-stderr --version-string=${PROJECT_VERSION}
          "--name=search-engine index counts of domains, from the command line"
          --output=${generated}/shoulu-cli.1 $<TARGET_FILE:shoulu-cli>
  COMMAND gzip -9nf ${generated}/shoulu-cli.1
  DEPENDS shoulu-cli VERBATIM)
add_custom_target(shoulu_manual ALL DEPENDS ${manual})
install(FILES ${manual} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES ${packaging}/shoulu-cli.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
  RENAME shoulu-cli)
install(FILES ${packaging}/shoulu-batch.service ${packaging}/shoulu-batch.timer
  DESTINATION lib/systemd/user)

# Packing installs what was built; it never builds the test suite on its way.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME shoulu)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "search-engine index counts of domains, with history and trend chart")
set(CPACK_PACKAGE_DESCRIPTION "Asks seven search engines how many pages of a domain they have indexed,
keeps a dated history in an encrypted file and shows it as a table and a
30-day trend chart. shoulu-cli runs the same queries unattended (a daily
systemd user timer is included, disabled) and draws charts and reports.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "shoulu developers <shoulu@shoulu.example>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${SHOULU_HOMEPAGE})
# Chinese captions need a font that has them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_STRIP_FILES ON)
include(CPack)
