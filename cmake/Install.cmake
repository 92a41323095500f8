# Installation (cmake --install, make install PREFIX=...) and the Debian
# package (make package). Installed, the program keeps its data in the user's
# XDG data folder and finds its read-only parts under share/inkpost-client
# (see src/common/programdir.h).
#
# Installed by default: inkpost-client, the fault-report helper, the editor
# page, the menu entry, the icon and the AppStream metainfo. The sandbox blog
# and inkpost-mkdb only with -DINKPOST_INSTALL_SANDBOX=ON.

set(INKPOST_APP_ID org.example.InkpostClient)
set(INKPOST_DATA_SRC ${PROJECT_SOURCE_DIR}/data)
option(INKPOST_INSTALL_SANDBOX "Also install the sandbox blog and inkpost-mkdb" OFF)

install(TARGETS inkpost-client RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS inkpost-fault-report RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/inkpost-client)
install(DIRECTORY ${INKPOST_PROGRAM_DIR}/editor/ DESTINATION ${CMAKE_INSTALL_DATADIR}/inkpost-client/editor)
install(FILES ${INKPOST_DATA_SRC}/${INKPOST_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${INKPOST_DATA_SRC}/${INKPOST_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${INKPOST_DATA_SRC}/icons/${INKPOST_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# Licence of the phrase table generated from pinyin-pro (src/blog/pinyin_phrases.cpp).
install(FILES ${PROJECT_SOURCE_DIR}/src/blog/pinyin-pro.LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(INKPOST_INSTALL_SANDBOX)
  install(TARGETS inkpost-sandbox inkpost-mkdb RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# The fixed-size icons are drawn from the SVG at build time.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(inkpost_icon_outputs)
foreach(size 48 256)
  set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/${INKPOST_APP_ID}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
    COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${INKPOST_DATA_SRC}/icons/${INKPOST_APP_ID}.svg
    DEPENDS ${INKPOST_DATA_SRC}/icons/${INKPOST_APP_ID}.svg
    COMMENT "Drawing the ${size} px icon"
    VERBATIM)
  list(APPEND inkpost_icon_outputs ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(inkpost_icons ALL DEPENDS ${inkpost_icon_outputs})

# ---- The Debian package -----------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME inkpost-client)
set(CPACK_PACKAGE_VENDOR "The inkpost-client developers")
set(CPACK_PACKAGE_CONTACT "The inkpost-client developers <maintainers@inkpost-client.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Write an article and publish it to self-hosted Inkpost blogs")
set(CPACK_PACKAGE_DESCRIPTION
    "A desktop program in which a blog author writes an article and publishes it to one or more self-hosted Inkpost blogs through the blogs' own admin pages.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://inkpost-client.example.org/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the computed dependencies cannot see: Qt's plugins (the X11 platform,
# image formats) and the fonts for Chinese text. The captcha reader carries
# its own model, so no OCR data is needed. Qt's own Chinese translations
# label the standard buttons (确定/取消).
set(inkpost_runtime_data qt6-qpa-plugins qt6-image-formats-plugins qt6-translations-l10n fonts-wqy-zenhei)
list(JOIN inkpost_runtime_data ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
include(CPack)
