# install.cmake - what "cmake --install" puts where (GNU directory layout), the pkg-config file,
# the CMake package (kavutil::kavutil), and CPack: Debian packages on POSIX, a zip on Windows.
# Included from the top CMakeLists.txt after the library and kav targets.
#
# Components: runtime (the shared library, the PAM service file), development (header, static
# library, import library and .def, pkg-config and CMake files), tools (kav and its man page).
include(CMakePackageConfigHelpers)

# The header's version macros must name the project's version.
file(STRINGS ${PROJECT_SOURCE_DIR}/include/kavutil.h header_version
     REGEX "^#define KAVUTIL_VERSION_(MAJOR|MINOR|PATCH|STRING) ")
set(project_version "#define KAVUTIL_VERSION_MAJOR ${PROJECT_VERSION_MAJOR}"
    "#define KAVUTIL_VERSION_MINOR ${PROJECT_VERSION_MINOR}"
    "#define KAVUTIL_VERSION_PATCH ${PROJECT_VERSION_PATCH}"
    "#define KAVUTIL_VERSION_STRING \"${PROJECT_VERSION}\"")
if(NOT header_version STREQUAL project_version)
  message(FATAL_ERROR "include/kavutil.h has the version macros [${header_version}]; "
                      "project(VERSION ${PROJECT_VERSION}) wants [${project_version}]")
endif()
# And so must the man page's title line.
file(STRINGS ${PROJECT_SOURCE_DIR}/docs/kav.1 man_title REGEX "^\\.TH ")
if(NOT man_title MATCHES "\"kavutil ${PROJECT_VERSION}\"")
  message(FATAL_ERROR "docs/kav.1 has [${man_title}]; it must name \"kavutil ${PROJECT_VERSION}\"")
endif()

set(cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/kavutil)
set_target_properties(kavutil_static PROPERTIES EXPORT_NAME kavutil_static)
install(TARGETS kavutil kavutil_static EXPORT kavutil-targets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
                NAMELINK_COMPONENT development
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/kavutil.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
install(TARGETS kav RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
# A stripped install (CPack's CPACK_STRIP_FILES) strips programs and shared libraries; the
# static library loses its debug sections too.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:kavutil_static>\")
endif()" COMPONENT development)
install(EXPORT kavutil-targets NAMESPACE kavutil:: DESTINATION ${cmake_dir}
        COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kavutil-config.cmake.in
                              kavutil-config.cmake INSTALL_DESTINATION ${cmake_dir})
write_basic_package_version_file(kavutil-config-version.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kavutil-config.cmake
              ${PROJECT_BINARY_DIR}/kavutil-config-version.cmake
        DESTINATION ${cmake_dir} COMPONENT development)

# pkg-config: the prefix is found from the .pc file's own place, so that an installation moved
# or made with "cmake --install --prefix" describes itself.  Libs.private is what a static link
# adds: the C++ runtime, and the system libraries the objects call.
file(RELATIVE_PATH pc_prefix /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
string(REGEX REPLACE "/$" "" pc_prefix "${pc_prefix}")
set(pc_private "-lstdc++ -lpthread")
set(pc_cflags_private "")
if(WIN32)
  set(pc_cflags_private "Cflags.private: -DKAVUTIL_STATIC\n")  # pkgconf's --static
endif()
foreach(library ${KAV_SYSTEM_LIBS})
  if(NOT library MATCHES "::")  # Threads::Threads is the -lpthread above
    string(APPEND pc_private " -l${library}")
  endif()
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/cmake/kavutil.pc.in kavutil.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kavutil.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)

if(WIN32)
  install(FILES ${KAV_DEF} DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
else()
  install(FILES ${PROJECT_SOURCE_DIR}/docs/kav.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT tools)
  # The PAM service kav_winexec_as_user logs users on through.  PAM reads /etc/pam.d: that is
  # where it goes for the prefixes whose sysconfdir is /etc (/usr, as the Debian package has),
  # and under the prefix otherwise (/usr/local/etc/pam.d, or a test's temporary prefix).
  if(CMAKE_INSTALL_FULL_SYSCONFDIR STREQUAL "/etc")
    set(pam_dir /etc/pam.d)
  else()
    set(pam_dir ${CMAKE_INSTALL_SYSCONFDIR}/pam.d)
  endif()
  set(KAV_PAM_DIR ${pam_dir} CACHE PATH "Where the PAM service file is installed")
  install(FILES ${PROJECT_SOURCE_DIR}/platform/posix/kavutil.pam DESTINATION ${KAV_PAM_DIR}
          RENAME kavutil COMPONENT runtime)
endif()

if(NOT PROJECT_IS_TOP_LEVEL)
  return()  # the parent project packages itself
endif()

# CPack: three Debian packages, or one zip for Windows (kavutil-<version>-win32.zip, -win64).
set(CPACK_PACKAGE_NAME kavutil)
set(CPACK_PACKAGE_VENDOR "kavutil developers")
set(CPACK_PACKAGE_CONTACT "kavutil developers <kavutil@example.org>")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")  # each package's description has its own synopsis
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libkavutil1)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS "libpam0g")
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SUGGESTS "libgs10, libmariadb3")
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/conffiles)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libkavutil-dev)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME kavutil-tools)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
  set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS runtime)
  # kav holds the library (it links the static one) but logs users on through the PAM service
  # file that libkavutil1 installs.
  set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)
  set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "kavutil utility library: profiles, text, containers, files, cheques\n\
The library the KAV document-output programs load for what is not their own business:\n\
INI profiles per product version, its own environment, an error log, text engines,\n\
containers, file chores, process launching, serial ports and cheque output.\n\
This package holds libkavutil.so.1 and the PAM service it logs users on through.")
  set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "kavutil utility library: development files\n\
The C header, the static library, the pkg-config file and the CMake package\n\
(find_package(kavutil) gives kavutil::kavutil).")
  set(CPACK_DEBIAN_TOOLS_DESCRIPTION "kav: kavutil's functions from the shell\n\
Profiles, environment expansion, text, files, processes and cheque output; see kav(1).")
endif()
include(CPack)
