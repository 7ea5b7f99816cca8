# The Windows deliveries, made from the cross-built programs: the installer
# (`cmake --build build-win --target installer`, with NSIS's makensis) and the portable zip
# (`--target portable_zip`: the programs, fresh.dat and the portable marker).
set(QVL_WIN_SETUP ${CMAKE_BINARY_DIR}/quorvel-${QVL_VERSION_TEXT}-setup.exe)
set(QVL_WIN_ZIP ${CMAKE_BINARY_DIR}/quorvel-${QVL_VERSION_TEXT}-portable.zip)
find_program(MAKENSIS makensis)
if(MAKENSIS)
    add_custom_command(OUTPUT ${QVL_WIN_SETUP}
        COMMAND ${MAKENSIS} -V2 -DVERSION=${QVL_VERSION_TEXT} -DFILES=${CMAKE_BINARY_DIR}
                -DOUTFILE=${QVL_WIN_SETUP} ${PROJECT_SOURCE_DIR}/data/windows/quorvel.nsi
        DEPENDS quorvel qvl fresh_dat ${PROJECT_SOURCE_DIR}/data/windows/quorvel.nsi
        COMMENT "The installer, ${QVL_WIN_SETUP}")
    add_custom_target(installer DEPENDS ${QVL_WIN_SETUP})
endif()
add_custom_command(OUTPUT ${QVL_WIN_ZIP}
    COMMAND ${CMAKE_COMMAND} -E tar cf ${QVL_WIN_ZIP} --format=zip quorvel.exe qvl.exe fresh.dat quorvel.portable
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    DEPENDS quorvel qvl fresh_dat
    COMMENT "The portable zip, ${QVL_WIN_ZIP}")
add_custom_target(portable_zip DEPENDS ${QVL_WIN_ZIP})
