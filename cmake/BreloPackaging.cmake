# Install rules and the Debian package, in one place; included once the installed targets exist.
include(GNUInstallDirs)

# Relative, so the tree works wherever it is unpacked (the package test relies on this).
file(RELATIVE_PATH brelo_bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
set_target_properties(brelo_tool devsim PROPERTIES INSTALL_RPATH "$ORIGIN/${brelo_bin_to_lib}")

install(TARGETS brelo_tool devsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# With the vendor's library linked, the user installs it; the stand-in must not shadow it.
if(NOT BRELO_VENDOR_SDK)
    install(TARGETS VSDevNetSDK LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/sdk/VSDevNetSDK.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# The Windows zip and installer are made by scripts/package-windows.
if(WIN32)
    return()
endif()
install(FILES ${PROJECT_SOURCE_DIR}/dist/brelo-tool.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brelo-tool)
set(CPACK_PACKAGE_VENDOR "Brelo_Tool developers")
set(CPACK_PACKAGE_CONTACT "Brelo_Tool developers <dev@brelo.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Finds networked devices and configures many of them at once")
set(CPACK_PACKAGE_DESCRIPTION
    "Searches the local network for devices, lists them in a table, and changes the IP \
addresses or the algorithm of many devices in one go. Includes a device simulator.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# dpkg-shlibdeps derives the Qt runtime packages and their versions from the binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The interface text is Chinese.
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-wqy-microhei)
include(CPack)
