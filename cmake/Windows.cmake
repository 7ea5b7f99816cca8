# SQLite and GoogleTest for the Windows build.
enable_language(C)

set(QVL_SQLITE_DIR ${CMAKE_BINARY_DIR}/sqlite-amalgamation)
add_custom_command(OUTPUT ${QVL_SQLITE_DIR}/sqlite3.c ${QVL_SQLITE_DIR}/sqlite3.h
    COMMAND ${CMAKE_SOURCE_DIR}/cmake/sqlite-amalgamation.sh ${QVL_SQLITE_DIR}
    COMMENT "Making the SQLite amalgamation from Debian's source package")
add_library(sqlite3_win STATIC ${QVL_SQLITE_DIR}/sqlite3.c)
target_include_directories(sqlite3_win PUBLIC ${QVL_SQLITE_DIR})
# -O2: -O3 takes about a minute on two cores for no gain that matters here.
target_compile_options(sqlite3_win PRIVATE -O2 -w)
target_compile_definitions(sqlite3_win PRIVATE SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION)
add_library(SQLite::SQLite3 ALIAS sqlite3_win)

if(QVL_BUILD_TESTS)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
