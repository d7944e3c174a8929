# What a Windows build lays out, in the build tree and through `cmake --install`: the programs with our
# DLLs, the compiler's runtime DLLs (cmake/Windows.cmake) and the Qt DLLs beside them, and Qt's plugins
# in the subfolders where Qt looks for them next to the program (platforms/, styles/, tls/). The
# installed folder runs wherever it is copied; the installer packs it as it is.
set(venturo_programs venturo_mtd_cli)
if(VENTURO_BUILD_GUI)
    list(APPEND venturo_programs venturo_mtd)
endif()
install(TARGETS ${venturo_programs} orvi_rtl orvi_utils orvi_sage_datasets
        RUNTIME DESTINATION bin
        ARCHIVE DESTINATION lib EXCLUDE_FROM_ALL)

if(NOT TARGET Qt6::Core)
    return()
endif()
set(venturo_qt_dlls Qt6::Core)
if(TARGET Qt6::Network)
    list(APPEND venturo_qt_dlls Qt6::Network)
endif()
# Plugin target, then the subfolder it belongs in.
set(venturo_qt_plugins)
if(TARGET Qt6::Network)
    # HTTPS of the web update through the system's own TLS.
    list(APPEND venturo_qt_plugins Qt6::QSchannelBackendPlugin tls)
endif()
if(VENTURO_BUILD_GUI)
    list(APPEND venturo_qt_dlls Qt6::Gui Qt6::Widgets)
    # The Windows platform, the offscreen one (the tests, and runs without a desktop) and the native
    # look of the Windows style.
    list(APPEND venturo_qt_plugins
         Qt6::QWindowsIntegrationPlugin platforms
         Qt6::QOffscreenIntegrationPlugin platforms
         Qt6::QWindowsVistaStylePlugin styles)
endif()

set(copy_commands)
foreach(dll ${venturo_qt_dlls})
    install(FILES $<TARGET_FILE:${dll}> DESTINATION bin)
    list(APPEND copy_commands COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${dll}>
         ${CMAKE_BINARY_DIR}/bin/)
endforeach()
while(venturo_qt_plugins)
    list(POP_FRONT venturo_qt_plugins plugin folder)
    install(FILES $<TARGET_FILE:${plugin}> DESTINATION bin/${folder})
    list(APPEND copy_commands
         COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/bin/${folder}
         COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${plugin}> ${CMAKE_BINARY_DIR}/bin/${folder}/)
endwhile()
if(VENTURO_BUILD_TESTS AND VENTURO_BUILD_GUI)
    # Qt's test library, for the test programs only: into the build tree, never installed.
    find_package(Qt6 REQUIRED COMPONENTS Test)
    list(APPEND copy_commands COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Qt6::Test>
         ${CMAKE_BINARY_DIR}/bin/)
endif()
# The programs and the tests under Wine find the same files beside them in the build tree.
add_custom_target(venturo_qt_runtime ALL ${copy_commands} VERBATIM)
