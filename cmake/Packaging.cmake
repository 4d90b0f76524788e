# Installing Orvane on a Linux desktop, and the Debian package CPack makes of it:
#   cmake --install BUILD [--prefix /usr]      (DESTDIR=STAGE for a staging folder)
#   scripts/package                            (orvane_VERSION_amd64.deb)
# Besides the two programs: the desktop entry, the application and PQZ document icons in the
# hicolor theme, the shared-mime-info package that tells PQZ files by name and by their first
# bytes, and the thumbnailer entry through which file managers ask pqz for PQZ thumbnails.
include(GNUInstallDirs)

set(orvane_packaging_dir ${PROJECT_SOURCE_DIR}/packaging)

if(TARGET pqz)
  install(TARGETS pqz RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${orvane_packaging_dir}/orvane-pqz.thumbnailer
          DESTINATION ${CMAKE_INSTALL_DATADIR}/thumbnailers)
endif()
if(TARGET orvane)
  install(TARGETS orvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${orvane_packaging_dir}/orvane.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${orvane_packaging_dir}/orvane-mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME orvane.xml)

# The application icon is the program's own window icon.
set(orvane_app_icon ${PROJECT_SOURCE_DIR}/resources/icons/orvane.svg)
set(orvane_icon_dir ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES ${orvane_app_icon} DESTINATION ${orvane_icon_dir}/scalable/apps RENAME orvane.svg)
install(FILES ${orvane_packaging_dir}/icons/image-x-pqz.svg
        DESTINATION ${orvane_icon_dir}/scalable/mimetypes)
# Fixed sizes for panels and menus that do not draw SVG.
foreach(size 16 32 48 64 128 256)
  set(png ${PROJECT_SOURCE_DIR}/resources/icons/orvane-${size}.png)
  if(EXISTS ${png})
    install(FILES ${png} DESTINATION ${orvane_icon_dir}/${size}x${size}/apps RENAME orvane.png)
  endif()
endforeach()

# The Debian package. The shared-library dependencies come from dpkg-shlibdeps; what is loaded
# at run time rather than linked is named here: Qt's platform plugins (the X11 window, which
# Wayland sessions show through XWayland; qt6-wayland, suggested, adds native Wayland windows),
# its image format plugins (TIFF, TGA, WBMP and others) and the font the interface's Japanese
# texts need.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VENDOR "Orvane")
set(CPACK_PACKAGE_CONTACT "Orvane developers <orvane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "image viewer and similarity searcher with its own PQZ format")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Orvane browses folders of images as pages of thumbnails, shows them at full size, searches\n"
  "a folder for images similar to a chosen one and converts images to and from PQZ\n"
  "(Quazform), a compressed format of learned patch bases. The pqz tool encodes, decodes,\n"
  "searches and makes thumbnails from the command line; file managers use it for PQZ\n"
  "thumbnails.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # orvane_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-image-formats-plugins, fonts-ipafont-gothic")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, hicolor-icon-theme, desktop-file-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland")
include(CPack)
