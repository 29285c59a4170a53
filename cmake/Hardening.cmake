# Debian's hardening for everything built here, the installed programs above all: the flags
# dpkg-buildflags gives with every hardening feature on (stack protector, fortified functions,
# format checks, full RELRO with immediate binding) and position-independent executables.
# Optimisation and debug information stay the build type's. Not with the sanitizers or the fuzz
# targets (they bring their own checks), and not without optimisation, which fortified functions
# need.
option(REGULATOR_HARDEN "Build with Debian's hardening flags (dpkg-buildflags)" ON)
if(REGULATOR_HARDEN AND NOT REGULATOR_SANITIZE AND NOT REGULATOR_FUZZ AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
  find_program(DPKG_BUILDFLAGS dpkg-buildflags)
  if(DPKG_BUILDFLAGS)
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
      execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                              ${DPKG_BUILDFLAGS} --get ${kind}
                      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
      separate_arguments(flags UNIX_COMMAND "${flags}")
      list(FILTER flags EXCLUDE REGEX "^-(O.*|g.*|ffile-prefix-map=.*)$")
      if(kind STREQUAL "LDFLAGS")
        add_link_options(${flags})
      else()
        add_compile_options(${flags})
      endif()
    endforeach()
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
    include(CheckPIESupported)
    check_pie_supported()
  else()
    message(WARNING "dpkg-buildflags (package dpkg-dev) not found: built without Debian's hardening flags")
  endif()
endif()
