# Warnings for all of our own targets.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Werror=float-conversion -Werror=sign-compare)
if(REGULATOR_WERROR)
  add_compile_options(-Werror)
endif()
if(WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # GCC 12's libstdc++ strings give false -Wrestrict warnings when inlined at -O2 for MinGW (GCC bug
  # 105329); the Linux build keeps the warning.
  add_compile_options(-Wno-restrict)
endif()

# regulator_library(name [DEPS ...]): a static library from the .cpp files of the calling folder.
function(regulator_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(sources)
    add_library(${name} STATIC ${sources} ${headers})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    # Nothing compiled here yet: headers only.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# regulator_test(name SOURCES ... [POSIX_SOURCES ...] DEPS ... [LABELS ...] [GUI] [POSIX]): one GoogleTest
# executable, registered with CTest. POSIX: a test of Linux only (pseudo-terminals, signals, permission bits,
# processes), not built for Windows; POSIX_SOURCES: such files of a test that otherwise runs on both.
function(regulator_test name)
  cmake_parse_arguments(ARG "GUI;POSIX" "" "SOURCES;POSIX_SOURCES;DEPS;LABELS" ${ARGN})
  if(WIN32 AND ARG_POSIX)
    return()
  endif()
  if(NOT WIN32)
    list(APPEND ARG_SOURCES ${ARG_POSIX_SOURCES})
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock)
  if(NOT ARG_GUI)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set(env "")
  if(ARG_GUI)
    list(APPEND env "QT_QPA_PLATFORM=offscreen")
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}" ENVIRONMENT "${env}" TIMEOUT 600)
endfunction()
