# The two Debian packages that scripts/package builds with CPack: vx7100-mgr, the program with its token library,
# and vx7100-vtoken, the virtual USB token.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL mgr vtoken)
# The profile's absolute /etc path lands in the package, not on the building machine.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "VX7100 developers <vx7100@example.org>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Dependencies come from the shared objects; the token library, which is no package's, is found in the build.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${VX_OUTPUT_DIR}")

set(CPACK_DEBIAN_MGR_PACKAGE_NAME vx7100-mgr)
set(CPACK_COMPONENT_MGR_DESCRIPTION "USB security token manager
Lists the USB security tokens plugged in and their properties, logs in with the
user PIN, shows the containers, certificates and key pairs on a token, changes
PINs and labels, imports, exports and registers certificates, enrols
fingerprints and finger veins, unblocks PINs and checks the workstation. It
works with any PKCS#11 module; the installed profile uses OpenSC's.")
# Loaded or started at run time, so no shared object names them: the smart-card service's library, the download's,
# Qt's own Chinese texts, a font with the Chinese characters of the interface, NSS's modutil for the registration
# with the browsers' certificate stores, and xdg-open for the addresses and files the program opens.
set(CPACK_DEBIAN_MGR_PACKAGE_RECOMMENDS
    "pcscd, opensc-pkcs11, libpcsclite1, libcurl4, qt6-translations-l10n, fonts-noto-cjk | fonts-wqy-microhei, libnss3-tools, xdg-utils")
set(CPACK_DEBIAN_MGR_PACKAGE_CONTROL_EXTRA "${CMAKE_SOURCE_DIR}/packaging/vx7100-mgr/conffiles")

set(CPACK_DEBIAN_VTOKEN_PACKAGE_NAME vx7100-vtoken)
set(CPACK_COMPONENT_VTOKEN_DESCRIPTION "virtual USB security tokens for the VX7100 token manager
The vtoken command creates, plugs in and pulls out virtual USB security tokens
that a PKCS#11 module and an SKF library serve, so that the token manager and
any PKCS#11 application can be tried, shown and tested without hardware. The
module is registered with p11-kit.")
set(CPACK_DEBIAN_VTOKEN_PACKAGE_DEPENDS "vx7100-mgr (= ${PROJECT_VERSION})")

# Each package's copyright file and changelog.
foreach(package vx7100-mgr vx7100-vtoken)
    string(REPLACE "vx7100-" "" component "${package}")
    set(VX_PACKAGE "${package}")
    configure_file("${CMAKE_SOURCE_DIR}/packaging/changelog.in" "${CMAKE_BINARY_DIR}/packaging/${package}/changelog" @ONLY)
    add_custom_command(
        OUTPUT "${CMAKE_BINARY_DIR}/packaging/${package}/changelog.gz"
        COMMAND gzip -9nkf "${CMAKE_BINARY_DIR}/packaging/${package}/changelog"
        DEPENDS "${CMAKE_BINARY_DIR}/packaging/${package}/changelog"
        VERBATIM)
    add_custom_target(${package}-changelog ALL DEPENDS "${CMAKE_BINARY_DIR}/packaging/${package}/changelog.gz")
    install(FILES "${CMAKE_SOURCE_DIR}/packaging/copyright" "${CMAKE_BINARY_DIR}/packaging/${package}/changelog.gz"
            DESTINATION "share/doc/${package}" COMPONENT ${component})
endforeach()

include(CPack)
