# vx_install_link(NAME COMPONENT): NAME on the PATH, a link to the program directory's file of that name. The
# programs find their files beside their real path, so the link is all the PATH needs.
function(vx_install_link name component)
    install(CODE "
        file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
        file(CREATE_LINK \"../${VX_PROGRAM_INSTALL_DIR}/${name}\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/${name}\" SYMBOLIC)"
        COMPONENT ${component})
endfunction()
