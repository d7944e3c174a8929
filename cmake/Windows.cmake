# Windows builds (cross-built with mingw-w64, see cmake/mingw-w64-x86_64.cmake).
#
# The compiler's runtime DLLs (libstdc++, libgcc, winpthreads) are installed beside the programs rather
# than linked statically: orvi_rtl, orvi_utils and orvi_sage_datasets are DLLs that hand C++ objects,
# exceptions and heap memory to one another, which is sound only when they share one C++ runtime.
set(VENTURO_WINDOWS_RUNTIME_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
        message(FATAL_ERROR "The compiler's runtime ${dll} was not found")
    endif()
    list(APPEND VENTURO_WINDOWS_RUNTIME_DLLS ${path})
endforeach()
file(COPY ${VENTURO_WINDOWS_RUNTIME_DLLS} DESTINATION ${CMAKE_BINARY_DIR}/bin)
install(FILES ${VENTURO_WINDOWS_RUNTIME_DLLS} DESTINATION bin)

# Programs and tests run under Wine through this wrapper, in the prefix that scripts/windows-test.sh
# creates (VENTURO_WINEPREFIX; the build tree's own when unset).
set(VENTURO_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix of the Windows test runs")
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE @ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)

# Static third-party libraries: their headers must not ask for DLL imports.
add_compile_definitions(PCRE2_STATIC SODIUM_STATIC)
# mingw's GCC inlines the event cursors' constructors where Linux's does not and then takes their
# registration in the list (undone by their destructors) for a pointer left dangling.
add_compile_options(-Wno-dangling-pointer)
