# The installed program on Windows, laid out for the installer (scripts/package-windows):
#   regulator.exe, regulator-report.exe, regulator.ico   the program, its report tool and icon
#   the Qt, QCustomPlot, libmosquitto and MinGW runtime libraries beside them
#   platforms\, styles\, imageformats\               the Qt plugins the program loads
# Settings and data do not go here: the installer gives the program a folder every operator may
# write (packaging/windows/regulace-teploty.nsi).
set(windows_prefix ${REGULATOR_WINDOWS_PREFIX})

# The icon file, drawn by the program's own icon code (run under Wine at build time), is built
# into regulator.exe, so Explorer and the Start menu show it.
add_executable(appicon ${CMAKE_SOURCE_DIR}/packaging/appicon.cpp)
target_link_libraries(appicon PRIVATE app)
set_target_properties(appicon PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
file(TO_NATIVE_PATH "${windows_prefix}/bin" qt_bin)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(mingw_runtime_dir ${libstdcxx} DIRECTORY)
set(wine_path "Z:${windows_prefix}/bin$<SEMICOLON>Z:${mingw_runtime_dir}$<SEMICOLON>Z:/usr/x86_64-w64-mingw32/lib")
string(REPLACE "/" "\\" wine_path "${wine_path}")
set(icon_file ${CMAKE_CURRENT_BINARY_DIR}/regulator.ico)
add_custom_command(OUTPUT ${icon_file}
  COMMAND ${CMAKE_COMMAND} -E env "WINEPATH=${wine_path}" WINEDEBUG=-all QT_QPA_PLATFORM=offscreen
          ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:appicon> --ico ${icon_file} 16 24 32 48 64 128 256
  DEPENDS appicon
  COMMENT "Drawing the icon file"
  VERBATIM)
configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/regulator.rc.in ${CMAKE_CURRENT_BINARY_DIR}/regulator.rc @ONLY)
add_custom_target(appicon-file DEPENDS ${icon_file})
target_sources(regulator PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/regulator.rc)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/regulator.rc DIRECTORY ${CMAKE_SOURCE_DIR}/app
                            PROPERTIES OBJECT_DEPENDS ${icon_file})
add_dependencies(regulator appicon-file)

set(programs regulator regulator-report)
install(TARGETS ${programs} RUNTIME DESTINATION .)
install(FILES ${icon_file} DESTINATION .)
install(FILES
  ${windows_prefix}/bin/Qt6Core.dll ${windows_prefix}/bin/Qt6Gui.dll ${windows_prefix}/bin/Qt6Widgets.dll
  ${windows_prefix}/bin/Qt6PrintSupport.dll ${windows_prefix}/bin/libQCustomPlotQt6.dll
  ${windows_prefix}/bin/libmosquitto.dll
  ${mingw_runtime_dir}/libstdc++-6.dll ${mingw_runtime_dir}/libgcc_s_seh-1.dll
  /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll
  DESTINATION .)
# Plugins beside the program: Qt looks in the program's folder for them.
install(FILES ${windows_prefix}/plugins/platforms/qwindows.dll ${windows_prefix}/plugins/platforms/qoffscreen.dll
        DESTINATION platforms)
install(DIRECTORY ${windows_prefix}/plugins/styles/ DESTINATION styles)
install(DIRECTORY ${windows_prefix}/plugins/imageformats/ DESTINATION imageformats)

# Everything the installer holds, for scripts/package-windows to build (and nothing else).
add_custom_target(package-files)
add_dependencies(package-files ${programs})
